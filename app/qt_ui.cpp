#include "app/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <QThread>

#include "app/output_view.h"
#include "app/progress_window.h"
#include "platform/application.h"
#include "platform/file_filter.h"
#include "platform/settings_store.h"
#include "settings/settings_dialog.h"

namespace quill {
namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QString QtFilter(std::string_view systemFilter) {
  QStringList parts;
  for (const auto& f : ParseFileFilter(systemFilter)) {
    QStringList patterns;
    for (const auto& p : f.patterns) patterns << (p == "*.*" ? QString("*") : Q(p));
    // Qt shows the label with its own pattern list; keep the system's label and give Qt the patterns.
    QString label = Q(f.label);
    const qsizetype paren = label.indexOf('(');
    if (paren > 0) label = label.left(paren).trimmed();
    parts << label + " (" + patterns.join(' ') + ")";
  }
  return parts.join(";;");
}

MbResult QtUi::MessageBox(std::string_view text, std::string_view caption, MbButtons buttons, MbIcon icon) {
  QMessageBox box(owner_);
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  switch (icon) {
    case MbIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MbIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MbIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MbIcon::Stop:
      box.setIcon(QMessageBox::Critical);
      break;
    case MbIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  if (buttons == MbButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? MbResult::Yes : MbResult::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MbResult::Ok;
}

// Qt's file dialog keeps state of its own (last folder, history, view) in Qt's own settings file, never in
// the tool's store. The tool remembers its own file names; the dialog starts from them.
std::optional<std::string> QtUi::FileDialog(const FileDialogSpec& spec) {
  auto dialog = std::make_unique<QFileDialog>(owner_);
  const bool open = spec.mode == FileDialogSpec::Mode::Open;
  dialog->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog->setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  // The system's save dialogs never ask before overwriting.
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog->setNameFilter(QtFilter(spec.filter));
  QString ext = Q(spec.defaultExt);
  if (ext.startsWith("*.")) ext = ext.mid(2);
  if (!ext.isEmpty() && !ext.contains('*') && !ext.contains('?')) dialog->setDefaultSuffix(ext);
  if (!spec.initialName.empty()) {
    QFileInfo info(Q(spec.initialName));
    if (info.isAbsolute()) dialog->setDirectory(info.absolutePath());
    dialog->selectFile(info.fileName());
  }
  const bool accepted = dialog->exec() == QDialog::Accepted;
  const QStringList files = accepted ? dialog->selectedFiles() : QStringList();
  dialog.reset();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

std::unique_ptr<ProgressWindow> QtUi::OpenProgress() {
  return CreateProgressWindow(owner_);
}

void QtUi::BeginWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::EndWaitCursor() {
  QApplication::restoreOverrideCursor();
}

std::shared_ptr<OutputView> QtUi::CreateOutputView(const OutputViewSpec& spec) {
  return CreateQtOutputView(spec, this);
}

bool QtUi::RunSettingsDialog() {
  return RunPhoneSettingsDialog(owner_, *this);
}

StoreNoticeBoxes::StoreNoticeBoxes() {
  SettingsStore::SetNoticeHandler([](const std::string& text) {
    auto show = [text] { QMessageBox::warning(QApplication::activeWindow(), Q(ApplicationName()), Q(text)); };
    // A box belongs to the GUI thread; a notice from another thread waits there for the event loop.
    if (QThread::currentThread() == qApp->thread())
      show();
    else
      QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
  });
}

StoreNoticeBoxes::~StoreNoticeBoxes() {
  SettingsStore::SetNoticeHandler(nullptr);
}

}  // namespace quill
