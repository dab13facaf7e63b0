#include "app/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

#include "app/output_view.h"
#include "app/progress_window.h"
#include "platform/file_filter.h"
#include "settings/settings_dialog.h"

namespace quill {
namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Qt's file dialog keeps state of its own (last folder, history, view) through QSettings(UserScope,
// "QtProject"): always the native format at the user-scope path, which SettingsStore::SetLocation has made
// the tool's store folder. The dialog reads that state when it is made and writes it when it is destroyed;
// for those moments the path points where nothing can be read or written, so none of it lands beside the
// tool's options. The tool remembers its own file names; the dialog starts from them.
class QtDialogStateAside {
 public:
  QtDialogStateAside() : saved_(UserScopePath()) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, "/dev/null");
  }
  ~QtDialogStateAside() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, saved_); }
  QtDialogStateAside(const QtDialogStateAside&) = delete;
  QtDialogStateAside& operator=(const QtDialogStateAside&) = delete;

 private:
  // QSettings has no getter for the path: the file of an organisation's settings (never made) shows it.
  static QString UserScopePath() {
    return QFileInfo(QSettings(QSettings::NativeFormat, QSettings::UserScope, "QuillTool path").fileName())
        .absolutePath();
  }
  QString saved_;
};

}  // namespace

QString QtFilter(std::string_view systemFilter) {
  QStringList parts;
  for (const auto& f : ParseFileFilter(systemFilter)) {
    QStringList patterns;
    for (const auto& p : f.patterns) patterns << (p == "*.*" ? QString("*") : Q(p));
    // Qt shows the label with its own pattern list; keep the system's label and give Qt the patterns.
    QString label = Q(f.label);
    int paren = label.indexOf('(');
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

std::optional<std::string> QtUi::FileDialog(const FileDialogSpec& spec) {
  std::unique_ptr<QFileDialog> dialog;
  {
    QtDialogStateAside aside;
    dialog = std::make_unique<QFileDialog>(owner_);
  }
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
  {
    QtDialogStateAside aside;
    dialog.reset();
  }
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
  return CreateQtOutputView(spec);
}

bool QtUi::RunSettingsDialog() {
  return RunPhoneSettingsDialog(owner_, *this);
}

}  // namespace quill
