#include "platform/text.h"

#include <cstdio>

namespace quill {

LeadingInteger ReadLeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digitsAt = i;
  // The magnitude is gathered unsigned, so that LLONG_MIN itself is read exactly.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(LLONG_MAX) + 1 : static_cast<unsigned long long>(LLONG_MAX);
  unsigned long long magnitude = 0;
  bool clamped = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (clamped || magnitude > (limit - digit) / 10) {
      clamped = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (i == digitsAt) return {};
  if (clamped) return {negative ? LLONG_MIN : LLONG_MAX, i, true};
  // -magnitude computed in unsigned arithmetic, which is defined for LLONG_MIN's magnitude too.
  const long long value =
      negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
  return {value, i, false};
}

std::optional<long long> ParseFieldInteger(std::string_view text, long long lowest, long long highest) {
  while (!text.empty() && IsCSpace(text.back())) text.remove_suffix(1);
  const LeadingInteger read = ReadLeadingInteger(text);
  // Digits that run past 64 bits are no integer a field can hold, not its largest one.
  if (read.length == 0 || read.clamped || read.length != text.size()) return std::nullopt;
  if (read.value < lowest || read.value > highest) return std::nullopt;
  return read.value;
}

std::string RangeMessage(long long low, long long high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += code;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace quill
