#include "debugmon/cdr_text_assembler.h"

#include <cstring>

#include "debugmon/debug_text_assembler.h"

namespace quill {

std::vector<std::string> CCdrTextAssembler::Assemble(uint32_t sender, const void* data, size_t length) const {
  std::vector<std::string> parts;
  parts.push_back(SenderPrefix(sender));
  const char* bytes = static_cast<const char*>(data);
  const void* zero = length ? std::memchr(bytes, 0, length) : nullptr;
  size_t textLength = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : length;
  if (textLength > 0) parts.emplace_back(bytes, textLength);
  return parts;
}

}  // namespace quill
