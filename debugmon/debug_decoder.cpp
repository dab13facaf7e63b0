#include "debugmon/debug_decoder.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace quill {
namespace {

// A code token is "0x" and the four characters after it, consumed whole whatever they are.
constexpr size_t kTokenSize = 6;

// The table code a token names, or -1. Only four hexadecimal digits can reach 0x1000 within six characters,
// so this agrees with a "0x%x" scan of the token on every token that has an entry; anything else (a short
// token, a sign, blanks, a second "0x", other characters, a code past the table) has none.
int TokenCode(const char* token, size_t size) {
  if (size != kTokenSize) return -1;
  auto digit = [token](int i) { return uint32_t{kHexDigitValue[static_cast<unsigned char>(token[i])]}; };
  uint32_t d2 = digit(2), d3 = digit(3), d4 = digit(4), d5 = digit(5);
  if ((d2 | d3 | d4 | d5) > 0xF) return -1;
  uint32_t code = d2 << 12 | d3 << 8 | d4 << 4 | d5;
  return IsDebugCode(code) ? static_cast<int>(code) : -1;
}

// How a text ends: a single piece ends where the text does; in a run of lines each line also ends at "\n",
// which must then stop a token and the reading of a value as the end of the text would.
enum class Ends { Text, Lines };

// The text a reason value is read from: the rest of the text, or of its line in a run of lines.
template <Ends kEnds>
std::string_view ValueText(const char* p, const char* end) {
  if constexpr (kEnds == Ends::Lines) {
    if (const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p)))
      end = static_cast<const char*>(lf);
  }
  return std::string_view(p, static_cast<size_t>(end - p));
}

// The first x in [p, end). Codes lie a line or less apart, too close for a library search to pay for its
// call; eight bytes are tested at a time instead (the lowest flagged byte of a word is always a true x).
const char* FindX(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    constexpr uint64_t kXs = kOnes * 'x';
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      uint64_t v = word ^ kXs;
      uint64_t found = (v - kOnes) & ~v & kHighs;
      if (found) return p + std::countr_zero(found) / 8;
    }
  }
  for (; p < end; ++p)
    if (*p == 'x') return p;
  return nullptr;
}

// The first "0x" in [p, end), found by its x: in debug text digits (and so zeros) are far more common
// than x, so the search stops less often. A "0x" never spans a line end, so lines need no care here.
const char* FindCode(const char* p, const char* end) {
  while (end - p >= 2) {
    const char* x = FindX(p + 1, end);
    if (!x) return nullptr;
    if (x[-1] == '0') return x - 1;
    p = x;
  }
  return nullptr;
}

struct StringSink {
  std::string& out;
  void Text(const char* p, size_t n) { out.append(p, n); }
  void Name(uint32_t code) { out.append(DebugName(code)); }
};

// Writes into a buffer sized by MaxDecodedSize; a name is copied as its whole field, which is cheaper than a
// copy of varying length.
struct BufferSink {
  char* out;
  void Text(const char* p, size_t n) {
    if (n) std::memcpy(out, p, n);
    out += n;
  }
  void Name(uint32_t code) {
    std::memcpy(out, DebugNameTable[code - kFirstDebugCode], kDebugNameFieldSize);
    out += DebugName(code).size();
  }
};

template <Ends kEnds, class Sink>
void Decode(std::string_view text, Sink& sink) {
  const char* pos = text.data();
  const char* const end = pos + text.size();
  // Only a lower-case x starts a code: "0X..." is the phone printing a hexadecimal number.
  while (const char* hit = FindCode(pos, end)) {
    sink.Text(pos, static_cast<size_t>(hit - pos));
    size_t tokenSize = 2;
    while (tokenSize < kTokenSize && hit + tokenSize < end && (kEnds == Ends::Text || hit[tokenSize] != '\n'))
      ++tokenSize;
    const char* after = hit + tokenSize;
    int code = TokenCode(hit, tokenSize);
    if (code < 0) {
      // No entry: the token stays readable rather than being looked up past the table.
      sink.Text(hit, tokenSize);
    } else {
      uint32_t c = static_cast<uint32_t>(code);
      sink.Name(c);
      if (HasDebugReason(c)) {
        // The value follows one separator character, read as atoi reads it; its own text stays in the rest
        // and is copied through. In a run of lines the value ends with its line.
        bool restEmpty = after == end || (kEnds == Ends::Lines && *after == '\n');
        long long value = restEmpty ? 0 : Atoi(ValueText<kEnds>(after + 1, end));
        sink.Text("--", 2);
        std::string_view reason = DebugReasonText(c, value);
        sink.Text(reason.data(), reason.size());
      }
    }
    pos = after;
  }
  sink.Text(pos, static_cast<size_t>(end - pos));
}

}  // namespace

void AppendDecodedDebugLine(std::string_view text, std::string& out) {
  StringSink sink{out};
  Decode<Ends::Text>(text, sink);
}

std::string DecodeDebugLine(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 32);
  AppendDecodedDebugLine(text, out);
  return out;
}

size_t DecodedSizeBound(std::string_view text) {
  size_t codes = 0;
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); (p = FindCode(p, end)) != nullptr; p += 2) ++codes;
  return text.size() + (codes + 1) * kMaxCodeGrowth;
}

char* DecodeDebugLineInto(std::string_view text, char* out) {
  BufferSink sink{out};
  Decode<Ends::Text>(text, sink);
  return sink.out;
}

char* DecodeDebugLinesInto(std::string_view lines, char* out) {
  BufferSink sink{out};
  Decode<Ends::Lines>(lines, sink);
  return sink.out;
}

}  // namespace quill
