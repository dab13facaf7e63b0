#include "settings/settings_dialog.h"

namespace quill {

bool RunPhoneSettingsDialog(QWidget* owner, Ui& ui) {
  (void)owner;
  (void)ui;
  return false;
}

}  // namespace quill
