// Turns the phone's debug text into readable text: every "0x" code becomes its event name, and the three
// codes that report a reason get the reason's text after "--". Everything else passes through as it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "debugmon/debug_name_table.h"

namespace quill {

// One text piece (a line, or one zero-terminated piece of a datagram, without its end) decoded. No line
// end is added.
std::string DecodeDebugLine(std::string_view text);

// The same, appended to out, so that a caller decoding many lines reuses one buffer.
void AppendDecodedDebugLine(std::string_view text, std::string& out);

// The most one six-character code can add: its name, copied as the whole 40-byte field, "--" and a reason.
constexpr size_t kMaxCodeGrowth = kDebugNameFieldSize + 2 + kMaxDebugReasonLength + 1;

// Room that decoding a text of n characters may need; holds for a run of lines too.
constexpr size_t MaxDecodedSize(size_t n) {
  return n + (n / 6 + 1) * kMaxCodeGrowth;
}

// A bound for one given text, tighter than MaxDecodedSize for long texts: only its "0x" pairs can grow.
size_t DecodedSizeBound(std::string_view text);

// The same decoding into a buffer of at least MaxDecodedSize(text.size()) or DecodedSizeBound(text) bytes;
// returns the end of the decoded text. Bytes past the end may have been written.
char* DecodeDebugLineInto(std::string_view text, char* out);

// Lines ended by "\n" (the last may lack it), each decoded on its own as DecodeDebugLine decodes it, with
// the line ends kept: one pass over a whole block of a log. The buffer is as for DecodeDebugLineInto.
char* DecodeDebugLinesInto(std::string_view lines, char* out);

}  // namespace quill
