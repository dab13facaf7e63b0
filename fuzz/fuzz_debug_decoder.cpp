// The debug text decoder on arbitrary text: the string form, the two buffer forms (which must give the
// same text and stay inside the room the header promises) and the stream decoder of saved logs (which
// must give the same text however the log is cut into reads). The first byte picks the read sizes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "debugmon/debug_decoder.h"
#include "debugmon/debug_stream_decoder.h"
#include "fuzz/fuzz_support.h"

using namespace quill;

namespace {

// Decodes into a heap buffer of exactly room bytes, so that a write past it is an AddressSanitizer report.
template <class Decoder>
std::string IntoBuffer(std::string_view text, size_t room, Decoder decode) {
  std::unique_ptr<char[]> buffer(new char[room]);
  const char* end = decode(text, buffer.get());
  fuzz::Check(end >= buffer.get() && static_cast<size_t>(end - buffer.get()) <= room,
              "the decoded text ends outside its buffer");
  return std::string(buffer.get(), static_cast<size_t>(end - buffer.get()));
}

void CheckLineForms(std::string_view text, const std::string& want) {
  fuzz::Check(IntoBuffer(text, MaxDecodedSize(text.size()), DecodeDebugLineInto) == want,
              "DecodeDebugLineInto (MaxDecodedSize room) differs from DecodeDebugLine");
  fuzz::Check(IntoBuffer(text, DecodedSizeBound(text), DecodeDebugLineInto) == want,
              "DecodeDebugLineInto (DecodedSizeBound room) differs from DecodeDebugLine");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t cut = data[0] | 0x100u;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string whole = DecodeDebugLine(text);
  fuzz::Check(whole.size() <= MaxDecodedSize(text.size()) && whole.size() <= DecodedSizeBound(text),
              "the decoded text is longer than the bounds");
  std::string appended = "kept";
  AppendDecodedDebugLine(text, appended);
  fuzz::Check(appended == "kept" + whole, "AppendDecodedDebugLine differs from DecodeDebugLine");
  CheckLineForms(text, whole);

  // The lines one by one, each through every single-text form.
  std::string lines;
  for (size_t at = 0; at <= text.size();) {
    size_t end = text.find('\n', at);
    const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    const std::string decoded = DecodeDebugLine(line);
    CheckLineForms(line, decoded);
    lines += decoded;
    if (end == std::string_view::npos) break;
    lines += '\n';
    at = end + 1;
  }
  fuzz::Check(IntoBuffer(text, MaxDecodedSize(text.size()), DecodeDebugLinesInto) == lines,
              "DecodeDebugLinesInto (MaxDecodedSize room) differs from the lines decoded one by one");
  fuzz::Check(IntoBuffer(text, DecodedSizeBound(text), DecodeDebugLinesInto) == lines,
              "DecodeDebugLinesInto (DecodedSizeBound room) differs from the lines decoded one by one");

  // A saved log read in pieces of pseudo-random sizes (some empty).
  CDebugStreamDecoder stream;
  std::string streamed;
  for (size_t at = 0; at < text.size();) {
    cut ^= cut << 13;
    cut ^= cut >> 17;
    cut ^= cut << 5;
    const size_t n = std::min<size_t>(cut % 40, text.size() - at);
    streamed += stream.Feed(text.data() + at, n);
    at += n;
  }
  streamed += stream.Finish();
  fuzz::Check(streamed == lines, "the stream decoder differs from the lines decoded one by one");
  return 0;
}
