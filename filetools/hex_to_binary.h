// HEX to binary pages (section "HEX2BIN"): one binary file made of one 64 KiB page per chosen HEX file,
// in the order chosen; page k starts at k * 0x10000, bytes no record covers are 0xFF. The binary file is
// chosen first, then HEX files until a dialog is cancelled.
#pragma once

#include "filetools/tool_result.h"

namespace quill {

class Ui;

ToolResult HexToBinaryTool(Ui& ui);

}  // namespace quill
