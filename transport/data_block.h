// The unit in which the TCP and UDP transports hand received bytes to their owner: a length and a heap
// buffer with room for at least one byte more than the transport ever fills, so the owner can put a
// terminating zero after the data. It travels as the payload of the posted message (lParam carries its
// address); the receiver owns it (Message::Take<DataBlock>()), and an undelivered message frees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/message.h"

namespace quill {

struct DataBlock : Payload {
  // The buffer is zero-filled, so no byte of it is ever undefined.
  explicit DataBlock(size_t capacity);
  // As the constructor, but null when memory runs out (the transports log their own line then).
  static std::unique_ptr<DataBlock> Allocate(size_t capacity) noexcept;

  uint32_t len = 0;  // the number of valid bytes at buf()
  uint8_t* buf() { return data_.get(); }
  const uint8_t* buf() const { return data_.get(); }
  size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_;
};

}  // namespace quill
