// The Qt side of the Ui seam where it meets the tool's store: Qt's own dialogs keep state of their own,
// which must not land in the store folder beside the tool's options.
#include "app/qt_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

#include "platform/settings_store.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

// Answers the file dialog once it is up: accepts it with name, or cancels it when name is empty.
void AnswerFileDialog(const QString& name) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, name] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->deleteLater();
    timer->stop();
    if (name.isEmpty()) {
      dialog->reject();
    } else {
      dialog->selectFile(name);
      static_cast<QDialog*>(dialog)->accept();  // the file dialog checks the choice as its OK button does
    }
  });
  timer->start(10);
}

TEST(QtUi, AFileDialogLeavesNothingInTheStoreFolder) {
  test::TempDir store, files;
  SettingsStore::SetLocation(store.Path());
  test::WriteFile(files.File("fw.bin"), "x");
  QtUi ui;
  for (const bool open : {true, false}) {
    SCOPED_TRACE(open ? "open, chosen" : "save, cancelled");
    FileDialogSpec spec;
    spec.mode = open ? FileDialogSpec::Mode::Open : FileDialogSpec::Mode::Save;
    spec.defaultExt = "*.bin";
    spec.initialName = files.File("fw.bin");
    spec.filter = "Binary files (*.bin)|*.bin|All files (*.*)|*.*||";
    AnswerFileDialog(open ? QString::fromStdString(files.File("fw.bin")) : QString());
    auto chosen = ui.FileDialog(spec);
    EXPECT_EQ(chosen, open ? std::optional<std::string>(files.File("fw.bin")) : std::nullopt);
    EXPECT_EQ(QDir(QString::fromStdString(store.Path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
  }
  // The tool's own options still go to the store.
  EXPECT_TRUE(SettingsStore::Profile().WriteString("ProgramUpdate", "SrcName", files.File("fw.bin")));
  EXPECT_EQ(
      QDir(QString::fromStdString(store.Path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
      1);
}

}  // namespace
}  // namespace quill
