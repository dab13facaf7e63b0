#include "debugmon/debug_stream_decoder.h"

#include <cstring>

#include "debugmon/debug_decoder.h"

namespace quill {

void CDebugStreamDecoder::Feed(const char* data, size_t length, std::string& out) {
  size_t start = 0;
  if (!partial_.empty()) {
    const void* nl = length ? std::memchr(data, '\n', length) : nullptr;
    if (!nl) {
      partial_.append(data, length);
      return;
    }
    size_t end = static_cast<size_t>(static_cast<const char*>(nl) - data);
    partial_.append(data, end);
    AppendDecodedDebugLine(partial_, out);
    out.push_back('\n');
    partial_.clear();
    start = end + 1;
  }
  while (start < length) {
    const void* nl = std::memchr(data + start, '\n', length - start);
    if (!nl) break;
    size_t end = static_cast<size_t>(static_cast<const char*>(nl) - data);
    AppendDecodedDebugLine({data + start, end - start}, out);
    out.push_back('\n');
    start = end + 1;
  }
  if (start < length) partial_.assign(data + start, length - start);
}

void CDebugStreamDecoder::Finish(std::string& out) {
  if (partial_.empty()) return;
  AppendDecodedDebugLine(partial_, out);
  partial_.clear();
}

}  // namespace quill
