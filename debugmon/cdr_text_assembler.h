// What the CDR monitor shows for each datagram from port 8227: the record as it came, after its sender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill {

class CCdrTextAssembler {
 public:
  // The texts to add to the view, in order: "<sender>: " and the record's text (up to its first zero byte,
  // if any). Records carry their own line ends and are not decoded.
  std::vector<std::string> Assemble(uint32_t sender, const void* data, size_t length) const;
};

}  // namespace quill
