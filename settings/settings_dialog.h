// The phone settings dialog "话机设置".
#pragma once

#include <QWidget>

#include "platform/ui.h"

namespace quill {

// Runs the dialog modally over owner; true when it was closed with OK (the store then holds its values).
bool RunPhoneSettingsDialog(QWidget* owner, Ui& ui);

}  // namespace quill
