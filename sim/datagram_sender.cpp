#include "sim/datagram_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "sim/loopback_address.h"

namespace quill::sim {

std::vector<std::vector<uint8_t>> DebugDatagrams(std::string_view text) {
  std::vector<std::vector<uint8_t>> out;
  size_t at = 0;
  do {
    size_t n = std::min(kDebugPieceLength, text.size() - at);
    std::vector<uint8_t> d(text.begin() + static_cast<std::ptrdiff_t>(at),
                           text.begin() + static_cast<std::ptrdiff_t>(at + n));
    d.push_back(0);
    out.push_back(std::move(d));
    at += n;
  } while (at < text.size());
  return out;
}

DatagramSender::DatagramSender(std::string from, std::string to)
    : from_(std::move(from)), to_(std::move(to)) {}

bool DatagramSender::Open() {
  auto from = ParseLoopbackAddress(from_);
  auto to = ParseLoopbackAddress(to_);
  if (!from || !to) {
    error_ = NotLoopbackMessage(from ? to_ : from_);
    return false;
  }
  toAddress_ = *to;
  fd_.Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd_.IsOpen()) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = *from;
  if (::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    error_ = "bind " + from_ + ": " + std::strerror(errno);
    fd_.Reset();
    return false;
  }
  return true;
}

bool DatagramSender::Send(uint16_t port, const std::vector<uint8_t>& datagram) {
  if (!fd_.IsOpen()) {
    error_ = "not open";
    return false;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = toAddress_;
  ssize_t n =
      ::sendto(fd_.Get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (n != static_cast<ssize_t>(datagram.size())) {
    error_ = std::string("sendto: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool DatagramSender::SendDebugText(std::string_view text) {
  for (const auto& d : DebugDatagrams(text)) {
    if (!Send(kDebugPort, d)) return false;
  }
  return true;
}

bool DatagramSender::SendCdr(std::string_view text) {
  return Send(kCdrPort, std::vector<uint8_t>(text.begin(), text.end()));
}

int DatagramSender::SendBurst(uint16_t port, const std::vector<uint8_t>& datagram, int count) {
  int sent = 0;
  for (int i = 0; i < std::min(count, kMaxBurst); ++i) {
    if (!Send(port, datagram)) break;
    ++sent;
  }
  return sent;
}

int DatagramSender::SendPaced(uint16_t port, int count, int perSecond,
                              std::chrono::steady_clock::duration limit,
                              const std::function<void(int, std::vector<uint8_t>&)>& datagram) {
  using Clock = std::chrono::steady_clock;
  if (count <= 0 || perSecond <= 0) return 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point giveUp = start + limit;
  std::vector<uint8_t> d;
  int sent = 0;
  while (sent < count) {
    const Clock::time_point now = Clock::now();
    if (now >= giveUp) break;
    // Everything due by now goes out back to back; then a sleep until the next one is due, a millisecond's
    // worth at least, so that a high rate does not turn into one system call to sleep per datagram.
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - start).count();
    const int due = static_cast<int>(std::min<int64_t>(count, elapsed * perSecond / 1000000 + 1));
    for (; sent < due; ++sent) {
      datagram(sent, d);
      if (!Send(port, d)) return sent;
    }
    if (sent < count) {
      const auto next = start + std::chrono::microseconds(int64_t{sent} * 1000000 / perSecond);
      std::this_thread::sleep_until(std::max(next, Clock::now() + std::chrono::milliseconds(1)));
    }
  }
  return sent;
}

}  // namespace quill::sim
