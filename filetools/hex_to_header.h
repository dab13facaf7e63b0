// Intel-HEX to a C code-array header: the page loaded from the HEX file (unset bytes 0x00) up to its
// used size, 16 items a line, CR LF line ends:
//   #define NAME_CODE_SIZE<TAB>size
//   static CCHAR NAME_Code[NAME_CODE_SIZE] = {
//   0x.., ... (16 a line)
//   };            (no line end after the brace)
// NAME is the source's base name upper-cased; CCHAR comes from the firmware sources that include it.
#pragma once

#include <string>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

// Destination first. A source with no data gives no destination at all. Returns 1, or 0 when the source
// failed while it was read or the destination cannot be written ("Can not create dest file" with the path
// and the reason); the destination is then as it was.
// loadedSize, when given, receives the used size of the page.
int HexToHeader(Ui& ui, const std::string& destination, const std::string& source, int* loadedSize = nullptr);

// The dialog's tool (section "HEX2DATA"): the HEX source, then the header, each stored once chosen.
// NothingWritten when the source holds no data records; Failed when it cannot be read.
ToolResult HexToCodeHeaderTool(Ui& ui);

}  // namespace quill
