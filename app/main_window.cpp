#include "app/main_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QPushButton>

#include "app/tool_options.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"

namespace quill {

MainWindow::MainWindow(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setObjectName("MainWindow");
  setWindowTitle("Updating Tool");
  // Caption, system menu, modal frame and a task-bar button: a top-level dialog with minimise disabled.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(gui::TemplateFont());
  QIcon icon;
  icon.addFile(":/quill/icon32.png");
  icon.addFile(":/quill/icon128.png");
  setWindowIcon(icon);
  BuildVisibleControls();
  ipField_->SetAddress(kInitialIpField);
}

void MainWindow::BuildVisibleControls() {
  gui::TemplateBuilder t(this);
  t.SetClientSize(396, 138);
  t.Group(0, "Phone IP Address", 0, 9, 104, 44);
  ipField_ = t.Place(new gui::IpAddressEdit, IDC_IP_ADDRESS, 5, 27, 90, 15);
  t.Button(IDC_TEST, "Test", 115, 16, 70, 39);
  t.Button(IDC_UPDATE_PROGRAM, "     Step1\n Update Program", 14, 88, 70, 43);
  t.Button(IDC_UPDATE_BOOT, "   Step2\nUpdate Boot", 113, 88, 70, 43);
  t.Button(IDC_RESTORE_FACTORY, "     Step3\nRestore Factory", 212, 88, 70, 43);
  auto* exit = t.Button(IDC_EXIT, "Exit", 311, 88, 70, 43);
  connect(exit, &QPushButton::clicked, this, &MainWindow::OnCloseCommand);
}

void MainWindow::OnCloseCommand() {
  if (closing_) return;
  closing_ = true;
  done(QDialog::Rejected);
}

void MainWindow::reject() { OnCloseCommand(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  OnCloseCommand();
  event->accept();
}

}  // namespace quill
