// The Qt side of the Ui seam where it meets the tool's store: Qt's own dialogs keep state of their own,
// which must not land in the store folder beside the tool's options, and the store's notices are shown.
#include "app/qt_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <thread>

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

// The dialog's state goes to Qt's own place (here a folder of the test's), never beside the tool's options.
TEST(QtUi, AFileDialogLeavesNothingInTheStoreFolder) {
  test::TempDir store, files, qtPlace;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(qtPlace.Path()));
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
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(qtPlace.File("QtProject.conf"))));
  // The tool's own options still go to the store.
  EXPECT_TRUE(SettingsStore::Profile().WriteString("ProgramUpdate", "SrcName", files.File("fw.bin")));
  EXPECT_EQ(
      QDir(QString::fromStdString(store.Path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
      1);
}

// A store notice (here a batch whose save failed) is shown in a message box, from the GUI thread even when
// another thread raised it.
TEST(QtUi, StoreNoticesAreShownInAMessageBox) {
  test::TempDir dir;
  test::WriteFile(dir.File("a-file"), "");
  SettingsStore::SetLocation(dir.File("a-file"));  // every save fails: a file where the folder should be
  StoreNoticeBoxes boxes;
  for (const bool otherThread : {false, true}) {
    SCOPED_TRACE(otherThread ? "raised on another thread" : "raised on the GUI thread");
    QString shown;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, &shown] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      timer->deleteLater();
      timer->stop();
      shown = box->text();
      box->accept();
    });
    timer->start(10);
    auto failingBatch = [] {
      SettingsStore::Batch batch;
      batch.WriteString("ProgramUpdate", "SrcName", "fw.bin");
    };
    if (otherThread) {
      std::thread(failingBatch).join();
      QApplication::processEvents();  // the box waits for the GUI thread's event loop
    } else {
      failingBatch();
    }
    EXPECT_TRUE(shown.startsWith("Can not write the settings store\n")) << shown.toStdString();
  }
}

}  // namespace
}  // namespace quill
