// Digit-map text to the body of the firmware's 2048-element character array (section "ConvertMap"): the
// items only, 16 a line, no declaration and no braces (the including source supplies them). The last item
// is always 0, so the array is zero-terminated; bytes past the 2047th are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

inline constexpr size_t kDigitMapItems = 2048;

// The initializer text of the first size bytes of a digit map: "'%c', " for a character, "0x0d, " for
// CR, "0x0a, " for LF, "0, " for the filler; a quote, a backslash and a zero byte as their escapes, so
// the text compiles. Lines end in LF; none after the last item.
std::string DigitMapText(const uint8_t* data, size_t size);

// The source is chosen (and opened) first, then the destination.
ToolResult ConvertMapTool(Ui& ui);

}  // namespace quill
