// The progress window of the GUI: caption string 104, a status line, the percentage label and the bar.
// While shown it disables its owner (if the owner was enabled) and re-enables it when closed.
#pragma once

#include <QWidget>
#include <memory>

#include "platform/ui.h"

namespace quill {

std::unique_ptr<ProgressWindow> CreateProgressWindow(QWidget* owner);

}  // namespace quill
