#include "sim/loopback_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "sim/unique_fd.h"

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

std::optional<std::string> NextLoopbackAddress(std::string_view dotted) {
  auto address = ParseLoopbackAddress(dotted);
  if (!address) return std::nullopt;
  const uint32_t next = ntohl(*address) + 1;
  if (next >= 0x7FFFFFFF) return std::nullopt;  // 127.255.255.255 is the broadcast address
  in_addr a{};
  a.s_addr = htonl(next);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return std::string(text);
}

bool LoopbackPortInUse(std::string_view dotted, uint16_t port) {
  auto address = ParseLoopbackAddress(dotted);
  if (!address) return false;
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.IsOpen()) return false;
  // As the simulator binds: only a listener (not a connection left in TIME_WAIT) holds the port.
  int one = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = *address;
  return ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 && errno == EADDRINUSE;
}

}  // namespace quill::sim
