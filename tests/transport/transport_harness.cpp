#include "tests/transport/transport_harness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "tests/support/test_env.h"
#include "transport/data_block.h"

namespace quill::test {
namespace {

sockaddr_in Address(const char* dotted, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = Ip(dotted);
  return a;
}

bool Readable(int fd, std::chrono::milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
}

}  // namespace

uint32_t Ip(const char* dotted) {
  return ::inet_addr(dotted);
}

Received Inbox::Add(Message& m) {
  Received r;
  r.message = m.message;
  r.wParam = m.wParam;
  r.lParam = m.lParam;
  if (auto block = m.Take<DataBlock>()) {
    r.hasBlock = true;
    r.bytes.assign(block->buf(), block->buf() + block->len);
    r.capacity = block->capacity();
    r.lParamIsBlock = m.lParam == reinterpret_cast<LPARAM>(block.get());
    r.lParamIsBytes = m.lParam == reinterpret_cast<LPARAM>(block->buf());
    if (block->len < block->capacity()) block->buf()[block->len] = 0;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(r);
  }
  changed_.notify_all();
  return r;
}

bool Inbox::WaitFor(const std::function<bool(const std::vector<Received>&)>& done,
                    std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return done(items_); });
}

bool Inbox::WaitForCount(uint32_t message, size_t count, std::chrono::milliseconds limit) {
  return WaitFor(
      [&](const std::vector<Received>& items) {
        return static_cast<size_t>(std::count_if(items.begin(), items.end(), [&](const Received& r) {
                 return r.message == message;
               })) >= count;
      },
      limit);
}

bool Inbox::WaitForBytes(uint32_t message, size_t count, std::chrono::milliseconds limit) {
  return WaitFor(
      [&](const std::vector<Received>& items) {
        size_t total = 0;
        for (auto& r : items)
          if (r.message == message) total += r.bytes.size();
        return total >= count;
      },
      limit);
}

std::vector<Received> Inbox::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return items_;
}

std::vector<Received> Inbox::Of(uint32_t message) const {
  std::vector<Received> out;
  for (auto& r : All())
    if (r.message == message) out.push_back(r);
  return out;
}

std::vector<uint8_t> Inbox::Joined(uint32_t message) const {
  std::vector<uint8_t> out;
  for (auto& r : Of(message)) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  return out;
}

LogWatch::LogWatch() {
  previous_ = DebugLog::SetSink([this](std::string_view text) {
    std::unique_lock<std::mutex> lock(mutex_);
    lines_.emplace_back(text);
    changed_.notify_all();
    if (!holdLine_.empty() && text == holdLine_) {
      holdLine_.clear();
      auto holdFor = holdFor_;
      lock.unlock();
      holding_.Set();
      // Stays inside the log, as a call that does not return would; bounded, so the thread always ends.
      lock.lock();
      changed_.wait_for(lock, holdFor, [&] { return released_; });
    }
  });
}

LogWatch::~LogWatch() {
  DebugLog::SetSink(std::move(previous_));
}

std::vector<std::string> LogWatch::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t LogWatch::Count(const std::string& line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line));
}

bool LogWatch::WaitFor(const std::string& line, std::chrono::milliseconds limit) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return std::count(lines_.begin(), lines_.end(), line) > 0; });
}

void LogWatch::Hold(const std::string& line, std::chrono::milliseconds holdFor) {
  std::lock_guard<std::mutex> lock(mutex_);
  holdLine_ = line;
  holdFor_ = holdFor;
  released_ = false;
}

void LogWatch::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void LogWatch::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

ResourceCount::ResourceCount() : descriptors_(OpenDescriptorCount()), threads_(SettledThreadCount()) {}

bool ResourceCount::Back(std::chrono::milliseconds limit) const {
  auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (OpenDescriptorCount() == descriptors_ && ThreadCount() == threads_) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(2ms);  // no event marks a task leaving the list: look again shortly
  }
}

std::string ResourceCount::Describe() const {
  std::ostringstream s;
  s << "descriptors " << OpenDescriptorCount() << " (were " << descriptors_ << "), threads " << ThreadCount()
    << " (were " << threads_ << "); open:";
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      char target[256] = {};
      std::string link = std::string("/proc/self/fd/") + e->d_name;
      ::readlink(link.c_str(), target, sizeof target - 1);
      s << " " << e->d_name << "=" << target;
    }
    ::closedir(d);
  }
  return s.str();
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

bool TcpPeer::Accept(std::chrono::milliseconds limit) {
  if (listener_ < 0 || !Readable(listener_, limit)) return false;
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

std::vector<uint8_t> TcpPeer::Receive(size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> out;
  auto until = std::chrono::steady_clock::now() + limit;
  std::vector<uint8_t> buffer(65536);
  while (out.size() < count) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Readable(connection_, left)) break;
    ssize_t n = ::recv(connection_, buffer.data(), std::min(buffer.size(), count - out.size()), 0);
    if (n <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

bool TcpPeer::SeesEnd(std::chrono::milliseconds limit) {
  uint8_t c;
  return Readable(connection_, limit) && ::recv(connection_, &c, 1, 0) == 0;
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

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return out;
}

std::vector<uint8_t> Text(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace quill::test
