#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/debug_log.h"
#include "platform/icmp_echo.h"
#include "platform/timing.h"

namespace quill {
namespace {

constexpr uint8_t kEchoRequest = 8;  // ICMP type; code 0
constexpr uint8_t kEchoReply = 0;
constexpr size_t kIcmpHeader = 8;  // type, code, checksum, identifier, sequence
constexpr size_t kCookie = 16;     // our payload: tells our reply from anybody else's
constexpr size_t kReceiveRoom = 1500;

std::mutex& SeamMutex() {
  static std::mutex m;
  return m;
}

IcmpEchoFunction& InstalledEcho() {
  static IcmpEchoFunction echo;
  return echo;
}

uint16_t Checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2) sum += static_cast<uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

struct Request {
  uint16_t identifier = 0;
  uint16_t sequence = 0;
  std::array<uint8_t, kCookie> cookie{};
  std::array<uint8_t, kIcmpHeader + kCookie> bytes{};
};

Request MakeRequest() {
  Request r;
  std::random_device random;
  r.identifier = static_cast<uint16_t>(random());
  r.sequence = static_cast<uint16_t>(random());
  for (auto& b : r.cookie) b = static_cast<uint8_t>(random());
  uint8_t* p = r.bytes.data();
  p[0] = kEchoRequest;
  p[1] = 0;
  p[4] = static_cast<uint8_t>(r.identifier >> 8);
  p[5] = static_cast<uint8_t>(r.identifier);
  p[6] = static_cast<uint8_t>(r.sequence >> 8);
  p[7] = static_cast<uint8_t>(r.sequence);
  std::memcpy(p + kIcmpHeader, r.cookie.data(), kCookie);
  uint16_t sum = Checksum(p, r.bytes.size());
  p[2] = static_cast<uint8_t>(sum >> 8);
  p[3] = static_cast<uint8_t>(sum);
  return r;
}

// Whether an ICMP message (no IP header) is the reply to r. A datagram socket's identifier is the kernel's
// choice, so only a raw socket compares it; the sequence and our payload tell the reply apart either way.
bool IsReplyTo(const uint8_t* icmp, size_t size, const Request& r, bool checkIdentifier) {
  if (size < kIcmpHeader + kCookie || icmp[0] != kEchoReply || icmp[1] != 0) return false;
  uint16_t id = static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
  uint16_t seq = static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
  if (checkIdentifier && id != r.identifier) return false;
  return seq == r.sequence && std::memcmp(icmp + kIcmpHeader, r.cookie.data(), kCookie) == 0;
}

// Sends the request on fd and reads until the reply or the read time-out.
EchoResult EchoOn(int fd, bool raw, const sockaddr_in& to, const IcmpEchoOptions& options) {
  Request request = MakeRequest();
  Waitable writable[] = {Waitable(fd, POLLOUT)};
  if (Timing::Current().WaitAny(writable, options.writeTimeoutMs) != 0)
    return {EchoStatus::NoReply, "the request could not be written in time"};
  ssize_t sent = ::sendto(fd, request.bytes.data(), request.bytes.size(), 0,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0) {
    int error = errno;
    return {IsPermissionError(error) ? EchoStatus::NotSent : EchoStatus::NoReply,
            "send: " + ErrorText(error)};
  }
  const auto deadline = std::chrono::steady_clock::now() + Timing::Current().Scaled(options.readTimeoutMs);
  std::array<uint8_t, kReceiveRoom> buffer;
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::microseconds::zero()) break;
    Waitable readable[] = {Waitable(fd, POLLIN)};
    if (WaitAny(readable, left) != 0) break;
    // Everything queued now; a raw socket also sees our own request and other programs' messages.
    for (;;) {
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      ssize_t n =
          ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n < 0) {
        int error = errno;
        if (error == EINTR) continue;
        if (error == EAGAIN || error == EWOULDBLOCK) break;
        return {EchoStatus::NoReply, "receive: " + ErrorText(error)};
      }
      if (from.sin_addr.s_addr != to.sin_addr.s_addr) continue;
      const uint8_t* icmp = buffer.data();
      size_t size = static_cast<size_t>(n);
      if (raw) {
        if (size < 20) continue;
        size_t header = static_cast<size_t>(buffer[0] & 0x0F) * 4;
        if (header < 20 || header > size) continue;
        icmp += header;
        size -= header;
      }
      if (IsReplyTo(icmp, size, request, raw)) return {EchoStatus::Success, ""};
    }
  }
  return {EchoStatus::NoReply, "no reply within the time-out"};
}

}  // namespace

EchoResult SystemIcmpEcho(const std::string& dottedAddress, const IcmpEchoOptions& options) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  if (::inet_pton(AF_INET, dottedAddress.c_str(), &to.sin_addr) != 1)
    return {EchoStatus::NotSent, "\"" + dottedAddress + "\" is not an IPv4 address"};

  std::string refused;
  struct Kind {
    bool wanted;
    int type;
    const char* name;
  };
  const Kind kinds[] = {{options.tryDatagram, SOCK_DGRAM, "datagram socket"},
                        {options.tryRaw, SOCK_RAW, "raw socket"}};
  for (const Kind& kind : kinds) {
    if (!kind.wanted) continue;
    int fd = ::socket(AF_INET, kind.type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
      int error = errno;
      if (!refused.empty()) refused += "; ";
      refused += std::string(kind.name) + ": " + ErrorText(error);
      continue;
    }
    Socket socket(fd);
    EchoResult result = EchoOn(fd, kind.type == SOCK_RAW, to, options);
    if (result.status == EchoStatus::NotSent) {
      // The socket was granted but the send was not: the next kind may still be allowed.
      if (!refused.empty()) refused += "; ";
      refused += std::string(kind.name) + ": " + result.reason;
      continue;
    }
    return result;
  }
  if (refused.empty()) refused = "no socket kind to try";
  return {EchoStatus::NotSent, refused};
}

EchoResult SendIcmpEcho(const std::string& dottedAddress) {
  IcmpEchoFunction echo;
  {
    std::lock_guard<std::mutex> lock(SeamMutex());
    echo = InstalledEcho();
  }
  EchoResult result = echo ? echo(dottedAddress) : SystemIcmpEcho(dottedAddress);
  if (result.status == EchoStatus::NotSent)
    OutputDebugString("ICMP echo to " + dottedAddress + " not sent: " + result.reason + "\n");
  return result;
}

void InstallIcmpEcho(IcmpEchoFunction echo) {
  std::lock_guard<std::mutex> lock(SeamMutex());
  InstalledEcho() = std::move(echo);
}

}  // namespace quill
