#include "transport/data_block.h"

#include <new>

namespace quill {

DataBlock::DataBlock(size_t capacity) : data_(new uint8_t[capacity]()), capacity_(capacity) {}

std::unique_ptr<DataBlock> DataBlock::Allocate(size_t capacity) noexcept {
  try {
    return std::make_unique<DataBlock>(capacity);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace quill
