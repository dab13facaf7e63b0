#include "tests/sim/raw_ends.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quill::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int LeftMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

}  // namespace

Bytes Repeat(uint8_t value, size_t n) { return Bytes(n, value); }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

int RawTcpClient::Connect(const std::string& address, uint16_t port) {
  fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  closed_ = reset_ = false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    fd_.Reset();
    return e;
  }
  int one = 1;
  ::setsockopt(fd_.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return 0;
}

bool RawTcpClient::Send(const Bytes& bytes) {
  return ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

Bytes RawTcpClient::ReadOnce(milliseconds timeout) {
  if (!Readable(fd_.Get(), static_cast<int>(timeout.count()))) return {};
  uint8_t buffer[1024];
  ssize_t n = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
  if (n <= 0) {
    closed_ = true;
    reset_ = n < 0 && errno == ECONNRESET;
    return {};
  }
  return Bytes(buffer, buffer + n);
}

Bytes RawTcpClient::ReadExactly(size_t n, milliseconds timeout, std::vector<size_t>* pieces) {
  auto deadline = Clock::now() + timeout;
  Bytes out;
  while (out.size() < n && !closed_) {
    Bytes piece = ReadOnce(milliseconds(LeftMs(deadline)));
    if (piece.empty()) break;
    if (pieces) pieces->push_back(piece.size());
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

bool RawTcpClient::Quiet(milliseconds timeout) { return !Readable(fd_.Get(), static_cast<int>(timeout.count())); }

bool RawSerialPort::Open(const std::string& path) {
  fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  return fd_.IsOpen();
}

bool RawSerialPort::Write(const Bytes& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    ssize_t n = ::write(fd_.Get(), bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_.Get(), POLLOUT, 0};
      if (::poll(&p, 1, 5000) != 1) return false;
      continue;
    }
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

Bytes RawSerialPort::ReadExactly(size_t n, milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  Bytes out;
  while (out.size() < n && Readable(fd_.Get(), LeftMs(deadline))) {
    uint8_t buffer[256];
    ssize_t got = ::read(fd_.Get(), buffer, std::min(sizeof buffer, n - out.size()));
    if (got <= 0) break;
    out.insert(out.end(), buffer, buffer + got);
  }
  return out;
}

bool RawSerialPort::Quiet(milliseconds timeout) { return !Readable(fd_.Get(), static_cast<int>(timeout.count())); }

}  // namespace quill::sim::test
