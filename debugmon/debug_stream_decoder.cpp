#include "debugmon/debug_stream_decoder.h"

#include <algorithm>
#include <cstring>

#include "debugmon/debug_decoder.h"

namespace quill {

void CDebugStreamDecoder::DecodeLines(std::string_view lines) {
  // A read block is small enough to take the worst case; one long line (a binary file has few line ends)
  // is counted, so that its room follows what it holds rather than its length.
  constexpr size_t kCountAbove = 1 << 20;
  size_t need = MaxDecodedSize(lines.size());
  if (lines.size() > kCountAbove) need = std::min(need, DecodedSizeBound(lines));
  if (capacity_ - size_ < need) {
    // The room is for the worst case, which real logs never come near; pages never written are never
    // touched, so the size costs little.
    size_t capacity = capacity_ ? capacity_ : 1 << 16;
    while (capacity - size_ < need) capacity *= 2;
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_) std::memcpy(bigger.get(), out_.get(), size_);
    out_ = std::move(bigger);
    capacity_ = capacity;
  }
  size_ = static_cast<size_t>(DecodeDebugLinesInto(lines, out_.get() + size_) - out_.get());
}

std::string_view CDebugStreamDecoder::Feed(const char* data, size_t length) {
  size_ = 0;
  const void* lastEnd = length ? ::memrchr(data, '\n', length) : nullptr;
  if (!lastEnd) {
    partial_.append(data, length);
    return {};
  }
  size_t complete = static_cast<size_t>(static_cast<const char*>(lastEnd) - data) + 1;
  size_t start = 0;
  if (!partial_.empty()) {
    // The line begun in an earlier chunk ends in this one.
    start = static_cast<size_t>(static_cast<const char*>(std::memchr(data, '\n', length)) - data) + 1;
    partial_.append(data, start);
    DecodeLines(partial_);
    partial_.clear();
  }
  DecodeLines({data + start, complete - start});
  partial_.assign(data + complete, length - complete);
  return {out_.get(), size_};
}

std::string_view CDebugStreamDecoder::Finish() {
  size_ = 0;
  if (!partial_.empty()) {
    DecodeLines(partial_);
    partial_.clear();
  }
  return {out_.get(), size_};
}

}  // namespace quill
