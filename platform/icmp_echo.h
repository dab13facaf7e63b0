// One ICMP echo request, in place of the networking library's echo facility that the connection test used:
// one request to a dotted IPv4 address, the reply read with a 500 ms time-out and the request written with
// a 300 ms one (timing seam). An unprivileged ICMP datagram socket is tried first; where the system does not
// grant those (net.ipv4.ping_group_range), a raw socket, which needs CAP_NET_RAW.
#pragma once

#include <functional>
#include <string>

namespace quill {

enum class EchoStatus {
  Success,  // the host answered
  NoReply,  // sent, but no answer within the read time-out (or the network refused it)
  NotSent,  // no request could be sent at all: no socket kind is allowed here, or no address was given
};

struct EchoResult {
  EchoStatus status = EchoStatus::NoReply;
  std::string reason;  // why it was not a success, for the debug log and the user
};

struct IcmpEchoOptions {
  bool tryDatagram = true;  // SOCK_DGRAM + IPPROTO_ICMP
  bool tryRaw = true;       // SOCK_RAW + IPPROTO_ICMP
  int readTimeoutMs = 500;  // the system's ms, through the timing seam
  int writeTimeoutMs = 300;
};

// The system's own echo, on sockets.
EchoResult SystemIcmpEcho(const std::string& dottedAddress, const IcmpEchoOptions& options = {});

// The echo the tool uses: SystemIcmpEcho unless a test installed another.
EchoResult SendIcmpEcho(const std::string& dottedAddress);

using IcmpEchoFunction = std::function<EchoResult(const std::string& dottedAddress)>;
// nullptr restores the system's echo.
void InstallIcmpEcho(IcmpEchoFunction echo);

class ScopedIcmpEcho {
 public:
  explicit ScopedIcmpEcho(IcmpEchoFunction echo) { InstallIcmpEcho(std::move(echo)); }
  ~ScopedIcmpEcho() { InstallIcmpEcho(nullptr); }
  ScopedIcmpEcho(const ScopedIcmpEcho&) = delete;
  ScopedIcmpEcho& operator=(const ScopedIcmpEcho&) = delete;
};

}  // namespace quill
