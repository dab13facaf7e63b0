#include "debugmon/debug_decoder.h"

#include <cstdint>

#include "debugmon/debug_name_table.h"

namespace quill {
namespace {

// A code token is "0x" and the four characters after it, consumed whole whatever they are.
constexpr size_t kTokenSize = 6;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The table code a token names, or -1. Only four hexadecimal digits can reach 0x1000 within six characters,
// so this agrees with a "0x%x" scan of the token on every token that has an entry; anything else (a short
// token, a sign, blanks, a second "0x", other characters, a code past the table) has none.
int TokenCode(std::string_view token) {
  if (token.size() != kTokenSize) return -1;
  uint32_t code = 0;
  for (size_t i = 2; i < kTokenSize; ++i) {
    int d = HexDigit(token[i]);
    if (d < 0) return -1;
    code = code * 16 + static_cast<uint32_t>(d);
  }
  return IsDebugCode(code) ? static_cast<int>(code) : -1;
}

bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value as atoi reads it: leading blanks, an optional sign, digits; 0 when there are none. Instead of
// overflowing, a long run of digits saturates far above every listed reason.
long long ReadValue(std::string_view s) {
  constexpr long long kSaturated = 1'000'000'000'000LL;
  size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (value < kSaturated) value = value * 10 + (s[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

void AppendDecodedDebugLine(std::string_view text, std::string& out) {
  size_t pos = 0;
  for (;;) {
    // Only a lower-case x starts a code: "0X..." is the phone printing a hexadecimal number.
    size_t hit = text.find("0x", pos);
    if (hit == std::string_view::npos) break;
    out.append(text.data() + pos, hit - pos);
    std::string_view token = text.substr(hit, kTokenSize);
    size_t after = hit + token.size();
    int code = TokenCode(token);
    if (code < 0) {
      // No entry: the token stays readable rather than being looked up past the table.
      out.append(token);
    } else {
      std::string_view name = DebugName(static_cast<uint32_t>(code));
      out.append(name);
      if (HasDebugReason(static_cast<uint32_t>(code))) {
        // The value follows one separator character; its own text stays in the rest and is copied through.
        long long value = after < text.size() ? ReadValue(text.substr(after + 1)) : 0;
        out.append("--");
        out.append(DebugReasonText(static_cast<uint32_t>(code), value));
      }
    }
    pos = after;
  }
  out.append(text.data() + pos, text.size() - pos);
}

std::string DecodeDebugLine(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 32);
  AppendDecodedDebugLine(text, out);
  return out;
}

}  // namespace quill
