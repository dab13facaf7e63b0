// Texts as the phone keeps them: code page 936 (GBK), one byte for ASCII and two for a Chinese character.
// The settings image's text fields have widths in these bytes, and texts read from a phone reach the store
// in them unchanged; text the user types (UTF-8) is turned into them before it is stored.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// The phone's bytes for a UTF-8 text; nothing when the text is not UTF-8 or holds a character that code
// page 936 has no bytes for.
std::optional<std::string> PhoneTextFromUtf8(std::string_view utf8);

// The UTF-8 text of the phone's bytes; nothing when they are not code page 936 text.
std::optional<std::string> Utf8FromPhoneText(std::string_view phoneText);

// The length of the longest beginning of phoneText of at most maxBytes bytes that does not end inside a
// character, so that a text cut to fit a field never leaves half a character. A byte that begins no
// character of code page 936 counts as a character of its own.
size_t PhoneTextCut(std::string_view phoneText, size_t maxBytes);

}  // namespace quill
