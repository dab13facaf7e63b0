#include "sim/loopback_address.h"

#include <arpa/inet.h>

namespace quill::sim {

std::optional<uint32_t> ParseLoopbackAddress(std::string_view dotted) {
  if (dotted.empty() || dotted.size() > 15) return std::nullopt;
  std::string text(dotted);
  in_addr a{};
  // inet_pton takes the strict dotted quad only: no host names, no octal or short forms.
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  if ((ntohl(a.s_addr) >> 24) != 127) return std::nullopt;
  return a.s_addr;
}

std::string NotLoopbackMessage(std::string_view dotted) {
  return std::string(dotted) + " is not a loopback address (127.0.0.0/8)";
}

}  // namespace quill::sim
