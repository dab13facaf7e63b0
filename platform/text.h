// Numbers read from text the way the system reads them, each reader written once: the C runtime's
// atoi and strtol (the settings text file, the debug decoder's reason values, the web pages' numbered
// fields), the value of a hexadecimal digit (HEX records, MAC addresses, debug codes), and an integer typed
// into a dialog's number field with the messages the platform's data exchange shows for one.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// The white space that atoi, strtol and scanf skip in the C locale: blank, tab, line feed, vertical tab,
// form feed, carriage return.
constexpr bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// What strtol(text, &end, 10) reads with a 64-bit long: white space, an optional sign, then decimal digits
// up to the first other character. A number past 64 bits stays at LLONG_MAX or LLONG_MIN, as strtol clamps
// it (and says so, as strtol's ERANGE does), so the low bits a caller keeps are those strtol gives. length
// counts the characters read, white space and sign included; both are 0 when no digit follows.
struct LeadingInteger {
  long long value = 0;
  size_t length = 0;
  bool clamped = false;
};
LeadingInteger ReadLeadingInteger(std::string_view text);

// atoi: the value of ReadLeadingInteger (0 when the text starts with no number).
inline long long Atoi(std::string_view text) {
  return ReadLeadingInteger(text).value;
}

// The value of each byte as a hexadecimal digit, either case; 0xFF for every other byte. Bulk readers
// OR the values of a record's digits and test once that the result is at most 0x0F.
inline constexpr std::array<uint8_t, 256> kHexDigitValue = [] {
  std::array<uint8_t, 256> table{};
  table.fill(0xFF);
  for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}();

// One hexadecimal digit's value, or -1 for a character that is none.
constexpr int HexDigitValue(char c) {
  const uint8_t v = kHexDigitValue[static_cast<unsigned char>(c)];
  return v > 0x0F ? -1 : v;
}

// The integer of a dialog's number field, read as the platform's data exchange reads one: white space
// around it, an optional sign, decimal digits and nothing else. Nothing when the text is no such integer
// or its value lies outside [lowest, highest] (the type the field is kept in).
std::optional<long long> ParseFieldInteger(std::string_view text, long long lowest = LLONG_MIN,
                                           long long highest = LLONG_MAX);

// The data exchange's messages for a number field that fails its check.
inline constexpr const char* kEnterIntegerMessage = "Please enter an integer.";
inline constexpr const char* kEnterPositiveIntegerMessage = "Please enter a positive integer.";
// "Please enter an integer between %1 and %2."
std::string RangeMessage(long long low, long long high);

// text as a JSON string, quotes included: the two escapes, the control characters as \u00XX, other bytes
// as they are (the tool's texts are UTF-8 or the phone's own code page, passed through unchanged).
std::string JsonString(std::string_view text);

}  // namespace quill
