#include "tests/support/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quill::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

sockaddr_in Address(const char* dotted, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = Ip(dotted);
  return a;
}

int LeftMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

}  // namespace

uint32_t Ip(const char* dotted) {
  return ::inet_addr(dotted);
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return out;
}

std::vector<uint8_t> Text(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Repeat(uint8_t value, size_t n) {
  return std::vector<uint8_t>(n, value);
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TcpPeer::TcpPeer(const char* address, int port, int backlog, int receiveBuffer) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Set on the listener, so that the accepted connection starts with it.
  if (receiveBuffer > 0) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in a = Address(address, port);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, backlog) != 0) {
    ::close(listener_);
    listener_ = -1;
  }
}

TcpPeer::~TcpPeer() {
  Close();
  if (listener_ >= 0) ::close(listener_);
}

bool TcpPeer::Accept(milliseconds limit) {
  if (listener_ < 0 || !Readable(listener_, static_cast<int>(limit.count()))) return false;
  connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  return connection_ >= 0;
}

bool TcpPeer::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(connection_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::vector<uint8_t> TcpPeer::Receive(size_t count, milliseconds limit) {
  std::vector<uint8_t> out;
  const auto deadline = Clock::now() + limit;
  std::vector<uint8_t> buffer(65536);
  while (out.size() < count) {
    const int left = LeftMs(deadline);
    if (left <= 0 || !Readable(connection_, left)) break;
    ssize_t n = ::recv(connection_, buffer.data(), std::min(buffer.size(), count - out.size()), 0);
    if (n <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

bool TcpPeer::SeesEnd(milliseconds limit) {
  uint8_t c;
  return Readable(connection_, static_cast<int>(limit.count())) && ::recv(connection_, &c, 1, 0) == 0;
}

void TcpPeer::Close(bool reset) {
  if (connection_ < 0) return;
  if (reset) {
    linger l{1, 0};  // closing with a zero linger time sends a reset instead of the orderly end
    ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  ::close(connection_);
  connection_ = -1;
}

int TcpClient::Connect(const std::string& address, uint16_t port) {
  fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  closed_ = reset_ = false;
  sockaddr_in sa = Address(address.c_str(), port);
  if (::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    fd_.Reset();
    return e;
  }
  int one = 1;
  ::setsockopt(fd_.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return 0;
}

bool TcpClient::Send(const std::vector<uint8_t>& bytes) {
  return ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> TcpClient::ReadOnce(milliseconds timeout) {
  if (!Readable(fd_.Get(), static_cast<int>(timeout.count()))) return {};
  uint8_t buffer[1024];
  ssize_t n = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
  if (n <= 0) {
    closed_ = true;
    reset_ = n < 0 && errno == ECONNRESET;
    return {};
  }
  return std::vector<uint8_t>(buffer, buffer + n);
}

std::vector<uint8_t> TcpClient::ReadExactly(size_t n, milliseconds timeout, std::vector<size_t>* pieces) {
  const auto deadline = Clock::now() + timeout;
  std::vector<uint8_t> out;
  while (out.size() < n && !closed_) {
    std::vector<uint8_t> piece = ReadOnce(milliseconds(LeftMs(deadline)));
    if (piece.empty()) break;
    if (pieces) pieces->push_back(piece.size());
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

bool TcpClient::Quiet(milliseconds timeout) {
  return !Readable(fd_.Get(), static_cast<int>(timeout.count()));
}

UdpPeer::UdpPeer(const char* address, int port, bool reuse) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int one = 1;
  if (reuse) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = Address(address, port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

UdpPeer::~UdpPeer() {
  if (fd_ >= 0) ::close(fd_);
}

bool UdpPeer::SendTo(const char* address, int port, const std::vector<uint8_t>& bytes) {
  sockaddr_in a = Address(address, port);
  return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
         static_cast<ssize_t>(bytes.size());
}

bool SerialEnd::Open(const std::string& path) {
  fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  return fd_.IsOpen();
}

bool SerialEnd::Write(const std::vector<uint8_t>& bytes) {
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

std::vector<uint8_t> SerialEnd::ReadExactly(size_t n, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::vector<uint8_t> out;
  while (out.size() < n && Readable(fd_.Get(), LeftMs(deadline))) {
    uint8_t buffer[256];
    ssize_t got = ::read(fd_.Get(), buffer, std::min(sizeof buffer, n - out.size()));
    if (got <= 0) break;
    out.insert(out.end(), buffer, buffer + got);
  }
  return out;
}

bool SerialEnd::Quiet(milliseconds timeout) {
  return !Readable(fd_.Get(), static_cast<int>(timeout.count()));
}

}  // namespace quill::test
