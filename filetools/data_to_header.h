// Any file to a C data-array header, the form in which the firmware carries data such as voice prompts:
//   #define DATA_NAME_SIZE<TAB>length
//   #ifdef __LOAD_SDRAM
//   static CCHAR _cData_NAME[DATA_NAME_SIZE] = {
//   0x.., ... (24 a line)
//   };
//   #endif
// A text file: every line ends in CR LF. NAME is the destination's base name upper-cased; CCHAR and
// __LOAD_SDRAM come from the firmware sources that include it.
#pragma once

#include <string>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

// Destination first. The source is read as it is written out, so its size does not matter; it must be
// a regular file, whose size heads the header (a pipe or a device is refused). 1 on success; 0 after
// "Can not open source file" or "Can not create dest file" with the path and the reason, the destination
// then as it was.
int DataToHeader(Ui& ui, const std::string& destination, const std::string& source);

// The dialog's tool (section "Binary2H"): the source, then the header; both names are stored only when
// both dialogs were confirmed.
ToolResult BinaryToHeaderTool(Ui& ui);

}  // namespace quill
