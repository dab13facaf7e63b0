// Debug-file conversion (section "ConvertDebug"): a text file of the phone's debug lines, such as a saved
// SDRAM area, turned into readable lines by the debug decoder. Lines are converted while they begin with
// a printable character (or are empty); the first line that begins with anything else ends the file for
// the converter, as the end of the saved text does.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

using DebugLineDecoder = std::function<std::string(std::string_view)>;

// The source is chosen and opened first, then the destination.
ToolResult ConvertDebugTool(Ui& ui, const DebugLineDecoder& decode);

}  // namespace quill
