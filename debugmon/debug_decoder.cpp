#include "debugmon/debug_decoder.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/text.h"

namespace quill {
namespace {

// A code token is "0x" and the four characters after it, consumed whole whatever they are.
constexpr size_t kTokenSize = 6;

// The table code of the four characters after a "0x", or -1. Only four hexadecimal digits can reach 0x1000
// within the six characters of a token, so this agrees with a "0x%x" scan of the token on every token that
// has an entry; anything else (a sign, blanks, a second "0x", a line end, other characters, a code past the
// table) has none.
inline int TokenCode(const char* digits) {
  auto digit = [digits](int i) { return uint32_t{kHexDigitValue[static_cast<unsigned char>(digits[i])]}; };
  uint32_t d0 = digit(0), d1 = digit(1), d2 = digit(2), d3 = digit(3);
  if ((d0 | d1 | d2 | d3) > 0xF) return -1;
  uint32_t code = d0 << 12 | d1 << 8 | d2 << 4 | d3;
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

// The first "0x" in [p, end). Codes lie a line or less apart, too close for a library search to pay for its
// call: sixteen positions are tested at a time, each for a "0" with an "x" after it. Only a lower-case x
// starts a code: "0X..." is the phone printing a hexadecimal number. A "0x" never spans a line end, so
// lines need no care here.
inline const char* FindCode(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i zeros = _mm_set1_epi8('0');
  const __m128i xs = _mm_set1_epi8('x');
  // Each step reads the 16 bytes at p and the 16 at p + 1, so it needs 17 bytes.
  for (; end - p >= 17; p += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const unsigned found = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, zeros), _mm_cmpeq_epi8(next, xs))));
    if (found) return p + std::countr_zero(found);
  }
#endif
  for (; end - p >= 2; ++p)
    if (p[0] == '0' && p[1] == 'x') return p;
  return nullptr;
}

struct StringSink {
  std::string& out;
  void Text(const char* p, size_t n) { out.append(p, n); }
  void Input(const char* p, size_t n) { out.append(p, n); }
  void Name(uint32_t code) { out.append(DebugName(code)); }
};

// Writes into a buffer sized by MaxDecodedSize or DecodedSizeBound; a name is copied as its whole field, and
// a short piece of the input as sixteen bytes, which is cheaper than a copy of varying length. Both bounds
// leave more than a name's field of room past the decoded text (a code grows the text by less than
// kMaxCodeGrowth), so neither runs past the buffer.
struct BufferSink {
  char* out;
  const char* inputEnd;  // a short piece is read as sixteen bytes only where the input holds them
  void Text(const char* p, size_t n) {
    if (n) std::memcpy(out, p, n);
    out += n;
  }
  void Input(const char* p, size_t n) {
    constexpr size_t kShort = 16;
    if (n <= kShort && inputEnd - p >= static_cast<ptrdiff_t>(kShort))
      std::memcpy(out, p, kShort);
    else if (n)
      std::memcpy(out, p, n);
    out += n;
  }
  void Name(uint32_t code) {
    std::memcpy(out, DebugNameTable[code - kFirstDebugCode], kDebugNameFieldSize);
    out += DebugNameLengths[code - kFirstDebugCode];
  }
};

template <Ends kEnds, class Sink>
void Decode(std::string_view text, Sink& sink) {
  const char* pos = text.data();
  const char* const end = pos + text.size();
  while (const char* hit = FindCode(pos, end)) {
    sink.Input(pos, static_cast<size_t>(hit - pos));
    // The token is "0x" and the four characters after it, consumed whole whatever they are, but never past
    // the end of the text (or of its line in a run of lines).
    const char* after = end - hit >= static_cast<ptrdiff_t>(kTokenSize) ? hit + kTokenSize : end;
    const int code = after == hit + kTokenSize ? TokenCode(hit + 2) : -1;
    if constexpr (kEnds == Ends::Lines) {
      // Four hexadecimal digits hold no line end; only a token that is no code can.
      if (code < 0) {
        if (const void* lf = std::memchr(hit + 2, '\n', static_cast<size_t>(after - hit - 2)))
          after = static_cast<const char*>(lf);
      }
    }
    if (code < 0) {
      // No entry: the token stays readable rather than being looked up past the table.
      sink.Input(hit, static_cast<size_t>(after - hit));
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
  sink.Input(pos, static_cast<size_t>(end - pos));
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
  BufferSink sink{out, text.data() + text.size()};
  Decode<Ends::Text>(text, sink);
  return sink.out;
}

char* DecodeDebugLinesInto(std::string_view lines, char* out) {
  BufferSink sink{out, lines.data() + lines.size()};
  Decode<Ends::Lines>(lines, sink);
  return sink.out;
}

}  // namespace quill
