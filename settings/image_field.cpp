#include "settings/image_field.h"

#include <algorithm>
#include <cstring>

namespace quill::image_field {

void PutTerminatedText(uint8_t* field, size_t width, std::string_view text) {
  if (width == 0) return;
  size_t n = std::min(text.size(), width - 1);
  if (n) std::memcpy(field, text.data(), n);  // an empty view may carry a null pointer
  field[n] = 0;
}

void PutFixedText(uint8_t* field, size_t width, std::string_view text) {
  size_t n = std::min(text.size(), width);
  if (n) std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, width - n);
}

std::string GetText(const uint8_t* field, size_t width) {
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(field, 0, width));
  size_t n = end ? static_cast<size_t>(end - field) : width;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace quill::image_field
