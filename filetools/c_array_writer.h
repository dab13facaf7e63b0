// The C array text that the header tools write: items "0x%02x, ", a fixed number per line, each line
// closed by the given line end. One writer for every header format, so they all agree byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/file_io.h"

namespace quill {

class CArrayWriter {
 public:
  // Length of one item "0x%02x, ".
  static constexpr size_t kItemSize = 6;

  // Writes size bytes of data as lines of perLine items (the last line may be shorter), each followed by
  // lineEnd; nothing for no data.
  static void WriteItemLines(COutputFile& out, const uint8_t* data, size_t size, size_t perLine,
                             std::string_view lineEnd);
  // The item text of one byte, "0x%02x, ".
  static std::string_view Item(uint8_t value);
};

}  // namespace quill
