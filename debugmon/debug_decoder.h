// Turns the phone's debug text into readable text: every "0x" code becomes its event name, and the three
// codes that report a reason get the reason's text after "--". Everything else passes through as it is.
#pragma once

#include <string>
#include <string_view>

namespace quill {

// One text piece (a line, or one zero-terminated piece of a datagram, without its end) decoded. No line
// end is added.
std::string DecodeDebugLine(std::string_view text);

// The same, appended to out, so that a caller decoding many lines reuses one buffer.
void AppendDecodedDebugLine(std::string_view text, std::string& out);

}  // namespace quill
