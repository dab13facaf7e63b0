#include "link/answer_rules.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/debug_log.h"

namespace quill {
namespace {

constexpr uint8_t kAck = 0xFF;                               // the loader's answer to a block or command
constexpr uint8_t kRunValues[4] = {0x55, 0xAA, 0xFF, 0x00};  // a run of eight of one of these answers
constexpr uint32_t kRunLength = 8;

}  // namespace

void TcpAnswerRule::SetReceive(std::span<uint8_t> buffer) {
  receive_ = true;
  offset_ = 0;
  buffer_ = buffer;
  partialLength_ = 0;
}

void TcpAnswerRule::ClearReceive() {
  receive_ = false;
  partialLength_ = 0;
}

int TcpAnswerRule::Deliver(const uint8_t* data, size_t length) {
  if (!receive_) return (length == 1 && data[0] == kAck) ? 1 : 0;
  if (length == 0) return 0;  // an empty delivery may come without a buffer behind it
  if (length == kLinkBlock && partialLength_ > 0) {
    // A whole answer in one delivery after a short piece that made no answer (bytes sent on after the last
    // answer): the piece is stray. Collected in front of the answer it would shift this block and every one
    // after it; dropped, it costs nothing.
    OutputDebugString("Dropped a stray piece of length " + std::to_string(partialLength_) +
                      " before a 128-byte answer\n");
    partialLength_ = 0;
  }
  // One request, one answer of 128 bytes, the next only after the next request: bytes past the block they
  // would complete belong to no answer. Taken as the start of the next block they would shift every block
  // after them, so the block is dropped, as a segment of another length is, and the wait gives up.
  if (partialLength_ + length > kLinkBlock) {
    partialLength_ = 0;
    return 0;
  }
  std::memcpy(partial_.data() + partialLength_, data, length);
  partialLength_ += length;
  if (partialLength_ < kLinkBlock) return 0;
  if (offset_ < buffer_.size())
    std::memcpy(buffer_.data() + offset_, partial_.data(), std::min(kLinkBlock, buffer_.size() - offset_));
  offset_ += kLinkBlock;
  partialLength_ = 0;
  return 1;
}

void SerialAnswerRule::SetBulk(std::span<uint8_t> buffer) {
  bulk_ = true;
  bulkCount_ = 0;
  bulkOffset_ = 0;
  bulkBuffer_ = buffer;
}

SerialAnswerRule::Result SerialAnswerRule::Deliver(const uint8_t* data, size_t length) {
  Result r;
  if (text_) {
    // Zero bytes split the text into pieces and are dropped.
    size_t pos = 0;
    while (pos < length) {
      const void* zero = std::memchr(data + pos, 0, length - pos);
      size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : length;
      if (end > pos) r.pieces.emplace_back(reinterpret_cast<const char*>(data + pos), end - pos);
      pos = end + 1;
    }
    return r;
  }
  if (bulk_) {
    // An empty delivery may come without any bytes behind it: nothing to copy from.
    if (length > 0 && bulkOffset_ < bulkBuffer_.size())
      std::memcpy(bulkBuffer_.data() + bulkOffset_, data,
                  std::min<size_t>(length, bulkBuffer_.size() - bulkOffset_));
    bulkOffset_ += static_cast<uint32_t>(length);
    bulkCount_ += static_cast<uint32_t>(length);
    // At most one signal per delivery, however large it is; the rest waits in the count.
    if (bulkCount_ >= kRunLength) {
      bulkCount_ -= kRunLength;
      r.signals = 1;
    }
    return r;
  }
  for (size_t i = 0; i < length; ++i) {
    for (size_t v = 0; v < runs_.size(); ++v) {
      if (data[i] == kRunValues[v]) {
        if (++runs_[v] == kRunLength) {
          ++r.signals;
          runs_[v] = 0;
        }
      } else {
        runs_[v] = 0;
      }
    }
  }
  return r;
}

}  // namespace quill
