// The main window "Updating Tool" (dialog resource 102): the phone's IP address and the buttons of the
// upgrade procedure. Closing it ends the tool.
#pragma once

#include <QDialog>

#include "platform/ui.h"

namespace quill::gui {
class IpAddressEdit;
}

namespace quill {

// Control identifiers of the template.
enum MainControl : int {
  IDC_TEST = 6,
  IDC_EXIT = 2,
  IDC_IP_ADDRESS = 1010,
  IDC_UPDATE_PROGRAM = 1055,
  IDC_UPDATE_BOOT = 1052,
  IDC_RESTORE_FACTORY = 1238,
};

class MainWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MainWindow(Ui& ui, QWidget* parent = nullptr);

  gui::IpAddressEdit* IpField() const { return ipField_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape

 private:
  void BuildVisibleControls();
  void OnCloseCommand();

  Ui& ui_;
  gui::IpAddressEdit* ipField_ = nullptr;
  bool closing_ = false;
};

}  // namespace quill
