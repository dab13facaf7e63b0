// Bank-switch HEX merge (section "MergeHex"): the HEX outputs of a bank-switched build ("*.he?") joined
// into one HEX file with a single end-of-file record at its end. The destination is chosen first, then at
// most two sources; records are copied as text, neither decoded nor checked. The sources are read as they
// come (a pipe too); a source that cannot be opened or read leaves the destination as it was.
#pragma once

#include "filetools/tool_result.h"

namespace quill {

class Ui;

// The end-of-file record, matched as a whole line.
inline constexpr const char* kHexEndOfFile = ":00000001FF";

ToolResult MergeHexTool(Ui& ui);

}  // namespace quill
