#include "sim/tcp_loader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/timing.h"
#include "sim/loopback_address.h"
#include "sim/output_schedule.h"
#include "sim/unique_fd.h"

namespace quill::sim {
namespace {

// The phone serves one tool at a time; a few more connections are tolerated (a probe while an old
// connection lingers), and anything past that is closed at once.
constexpr size_t kMaxConnections = 8;
// A program image is the largest thing sent; the data of a connection is bounded well above it.
constexpr size_t kMaxConnectionData = 16u << 20;
constexpr size_t kReadChunk = 4096;
constexpr int kListenRetryMs = 50;

bool IsRequest(const std::vector<uint8_t>& in) {
  return in.size() == 2 && (in[0] == 'd' || in[0] == 's') && in[1] == 'h';
}

std::chrono::microseconds SystemMs(int ms) {
  return Timing::Current().Scaled(std::max(ms, 0));
}

}  // namespace

bool IsLoaderCommand(uint8_t byte) {
  return byte <= 15 || (byte >= kCmdSettings && byte <= kCmdAlternate);
}

struct TcpLoader::Connection {
  UniqueFd fd;
  int id = 0;
  std::vector<uint8_t> in;    // bytes not yet framed: always fewer than a block plus one read
  std::vector<uint8_t> data;  // blocks since the connection began or since its last command
  OutputSchedule out;
  size_t settingsOffset = 0;
  size_t sdramOffset = 0;
  int units = 0;
  int answers = 0;             // answers queued
  bool resetWhenSent = false;  // the last answer queued is to leave together with a reset
  bool blocked = false;        // the socket took no more; wait for POLLOUT
  bool ended = false;
};

TcpLoader::TcpLoader(Config config) : config_(std::move(config)), port_(config_.port) {}

TcpLoader::~TcpLoader() {
  Stop();
}

bool TcpLoader::Start() {
  if (IsRunning()) return true;
  std::optional<uint32_t> address = ParseLoopbackAddress(config_.address);
  if (!address) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = NotLoopbackMessage(config_.address);
    return false;
  }
  if (!stop_.IsValid() || !wake_.IsValid()) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = "cannot create events";
    return false;
  }
  address_ = *address;
  stop_.Reset();
  if (!Faults().noListener && !OpenListener()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TcpLoader::Stop() {
  if (!thread_.joinable()) return;
  stop_.Set();
  thread_.join();
}

std::string TcpLoader::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void TcpLoader::SetFaults(const TcpFaults& faults) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
  }
  wake_.Set();  // the listener may have to open or close now
}

TcpFaults TcpLoader::Faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void TcpLoader::SetSettingsImage(std::vector<uint8_t> image) {
  std::lock_guard<std::mutex> lock(mutex_);
  settingsImage_ = std::move(image);
}

void TcpLoader::SetSdramImage(std::vector<uint8_t> image) {
  std::lock_guard<std::mutex> lock(mutex_);
  sdramImage_ = std::move(image);
}

std::optional<std::vector<uint8_t>> TcpLoader::Stored(uint8_t command) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = stored_.find(command);
  if (it == stored_.end()) return std::nullopt;
  return it->second;
}

std::vector<uint8_t> TcpLoader::SdramReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sdramReceived_;
}

int TcpLoader::CommandsAccepted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

int TcpLoader::CommandsRefused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

int TcpLoader::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

int TcpLoader::ClosedConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

bool TcpLoader::IsListening() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return listening_;
}

int TcpLoader::EraseWindowsEnded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eraseWindowsEnded_;
}

bool TcpLoader::WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, ready);
}

bool TcpLoader::WaitForConnections(int n, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return connections_ >= n; }, timeout);
}

bool TcpLoader::WaitForClosedConnections(int n, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return closed_ >= n; }, timeout);
}

bool TcpLoader::WaitForListening(bool listening, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return listening_ == listening; }, timeout);
}

bool TcpLoader::WaitForEraseWindowsEnded(int n, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return eraseWindowsEnded_ >= n; }, timeout);
}

void TcpLoader::SetNotice(Notice notice) {
  auto shared = notice ? std::make_shared<const Notice>(std::move(notice)) : nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  notice_ = std::move(shared);
}

void TcpLoader::Tell(const std::string& line) {
  std::shared_ptr<const Notice> notice;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notice = notice_;
  }
  if (notice && *notice) (*notice)(line);
}

bool TcpLoader::OpenListener() {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  std::string failure;
  if (!fd.IsOpen()) {
    failure = std::string("socket: ") + std::strerror(errno);
  } else {
    // Reopening after an erase window must not wait for the old connections' TIME_WAIT.
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port_);
    sa.sin_addr.s_addr = address_;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
      failure = "bind " + config_.address + ":" + std::to_string(port_) + ": " + std::strerror(errno);
    } else if (::listen(fd.Get(), 4) != 0) {
      failure = std::string("listen: ") + std::strerror(errno);
    } else {
      socklen_t len = sizeof sa;
      if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&sa), &len) == 0) port_ = ntohs(sa.sin_port);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failure.empty()) {
    error_ = failure;
    return false;
  }
  listener_ = fd.Release();
  listening_ = true;
  changed_.notify_all();
  return true;
}

// The listener is open unless connections are refused or an accepted command is being "erased and
// written"; when the erase window ends the phone is back and accepts again.
void TcpLoader::UpdateListener() {
  auto now = SimClock::now();
  bool windowEnded = false;
  if (erasing_ && now >= eraseEnd_) {
    erasing_ = false;
    windowEnded = true;
  }
  bool want = !Faults().noListener && !erasing_;
  if (want && listener_ < 0 && now >= listenRetry_) {
    if (OpenListener()) {
      Tell("tcp: listening on " + config_.address + ":" + std::to_string(port_));
    } else {
      listenRetry_ = now + std::chrono::milliseconds(kListenRetryMs);
    }
  } else if (!want && listener_ >= 0) {
    ::close(listener_);
    listener_ = -1;
    std::lock_guard<std::mutex> lock(mutex_);
    listening_ = false;
    changed_.notify_all();
  }
  if (windowEnded) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++eraseWindowsEnded_;
    changed_.notify_all();
  }
}

void TcpLoader::Run() {
  std::vector<std::unique_ptr<Connection>> connections;
  std::vector<pollfd> fds;
  for (;;) {
    UpdateListener();
    auto now = SimClock::now();
    SimClock::time_point next = SimClock::time_point::max();
    if (erasing_) next = eraseEnd_;
    if (listener_ < 0 && !erasing_ && !Faults().noListener) next = std::min(next, listenRetry_);
    fds.clear();
    fds.push_back({stop_.Fd(), POLLIN, 0});
    fds.push_back({wake_.Fd(), POLLIN, 0});
    fds.push_back({listener_, POLLIN, 0});  // a negative descriptor is skipped by poll
    for (auto& c : connections) {
      short events = POLLIN;
      if (c->blocked) {
        events |= POLLOUT;
      } else {
        next = std::min(next, c->out.NextDue());
      }
      fds.push_back({c->fd.Get(), events, 0});
    }
    timespec ts{};
    int r = ::ppoll(fds.data(), fds.size(), TimeoutUntil(next, now, ts), nullptr);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (fds[1].revents) wake_.TryWait();
    if (fds[2].revents && listener_ >= 0) AcceptAll(connections);
    for (size_t i = 0; i < connections.size() && 3 + i < fds.size(); ++i) {
      Connection& c = *connections[i];
      short re = fds[3 + i].revents;
      if (re & POLLOUT) c.blocked = false;
      if (re & (POLLIN | POLLHUP | POLLERR)) ReadFrom(c);
    }
    now = SimClock::now();
    for (auto& c : connections) {
      if (c->ended || c->blocked) continue;
      int fd = c->fd.Get();
      auto result =
          c->out.WriteDue(now, [fd](const uint8_t* p, size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); });
      if (result == OutputSchedule::Result::Blocked) c->blocked = true;
      if (result == OutputSchedule::Result::Failed) EndConnection(*c);
      // The reset follows the answer's write at once, before the tool can have read the answer.
      if (result == OutputSchedule::Result::Done && c->resetWhenSent && c->out.Empty()) Drop(*c, true);
    }
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [](const std::unique_ptr<Connection>& c) { return c->ended; }),
                      connections.end());
  }
  for (auto& c : connections) EndConnection(*c);
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
  erasing_ = false;
  std::lock_guard<std::mutex> lock(mutex_);
  listening_ = false;
  changed_.notify_all();
}

void TcpLoader::AcceptAll(std::vector<std::unique_ptr<Connection>>& connections) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // EAGAIN: all taken
    }
    if (connections.size() >= kMaxConnections) {
      ::close(fd);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Connection>();
    c->fd.Reset(fd);
    c->id = nextConnectionId_++;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
    }
    changed_.notify_all();
    Tell("tcp " + std::to_string(c->id) + ": connected from " + text + ":" +
         std::to_string(ntohs(peer.sin_port)));
    if (Faults().resetAfterAnswers == 0) Drop(*c, true);  // accepted, then reset at once
    connections.push_back(std::move(c));
  }
}

void TcpLoader::ReadFrom(Connection& c) {
  uint8_t buffer[kReadChunk];
  // A few reads per wake-up at most, so that one busy connection cannot starve the others.
  for (int round = 0; round < 16 && !c.ended; ++round) {
    ssize_t n = ::recv(c.fd.Get(), buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      EndConnection(c);
      return;
    }
    c.in.insert(c.in.end(), buffer, buffer + n);
    Frame(c);
  }
}

// The tool waits for the answer to each unit before it sends the next, so what has arrived is one unit or
// the first pieces of a block: exactly one command byte is a command, exactly "dh"/"sh" a request, and
// anything else is collected until 128 bytes make a block. (A block whose first piece happened to be
// exactly a command byte or a request would be misread; the tool writes each block with one call, and a
// stream does not cut a fresh 128-byte write that short.)
void TcpLoader::Frame(Connection& c) {
  while (!c.ended && !c.in.empty()) {
    UnitKind kind;
    size_t length;
    if (c.in.size() == 1 && IsLoaderCommand(c.in[0])) {
      kind = UnitKind::Command;
      length = 1;
    } else if (IsRequest(c.in)) {
      kind = UnitKind::Request;
      length = 2;
    } else if (c.in.size() >= kLoaderBlock) {
      kind = UnitKind::Block;
      length = kLoaderBlock;
    } else {
      return;
    }
    SimUnit unit;
    unit.kind = kind;
    unit.session = c.id;
    unit.bytes.assign(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(length));
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(length));
    HandleUnit(c, std::move(unit));
  }
}

// Everything a unit changes (the stored images, the listener) is done before its answer is queued, so a
// tool that has the answer sees the phone's new state.
void TcpLoader::HandleUnit(Connection& c, SimUnit unit) {
  TcpFaults f = Faults();
  ++c.units;
  if (f.dropAfterUnits >= 0 && c.units > f.dropAfterUnits) {
    log_.Append(unit);
    Drop(c, f.dropWithReset);
    return;
  }
  if (f.silent) {
    log_.Append(std::move(unit));
    return;
  }
  unit.answered = true;
  switch (unit.kind) {
    case UnitKind::Block:
      if (c.data.size() + kLoaderBlock <= kMaxConnectionData) {
        c.data.insert(c.data.end(), unit.bytes.begin(), unit.bytes.end());
      }
      log_.Append(unit);
      QueueAck(c, f);
      break;
    case UnitKind::Command: {
      uint8_t command = unit.bytes[0];
      if (f.refuseUpdates) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++refused_;
      } else {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          stored_[command] = c.data;
          ++accepted_;
        }
        // The listener closes before the answer leaves, so a tool holding the answer finds no listener.
        erasing_ = true;
        eraseEnd_ = SimClock::now() + SystemMs(config_.eraseMs);
        UpdateListener();
      }
      c.data.clear();
      log_.Append(unit);
      if (!f.refuseUpdates) Tell("tcp: command accepted; not listening while erasing and writing");
      QueueAck(c, f);
      break;
    }
    case UnitKind::Request: {
      bool settings = unit.bytes[0] == 's';
      std::vector<uint8_t> block(kLoaderBlock, 0x00);
      size_t& offset = settings ? c.settingsOffset : c.sdramOffset;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::vector<uint8_t>& image = settings ? settingsImage_ : sdramImage_;
        for (size_t i = 0; i < kLoaderBlock && offset + i < image.size(); ++i) block[i] = image[offset + i];
      }
      offset += kLoaderBlock;
      log_.Append(unit);
      QueueBlock(c, f, std::move(block));
      break;
    }
    default:
      log_.Append(unit);
      break;
  }
}

void TcpLoader::QueueAck(Connection& c, const TcpFaults& f) {
  std::vector<uint8_t> answer{f.wrongAck.value_or(kLoaderAck)};
  answer.insert(answer.end(), f.joinAfterAck.begin(), f.joinAfterAck.end());
  c.out.Add(std::move(answer), SimClock::now() + SystemMs(f.lateMs));
  CountAnswer(c, f);
}

void TcpLoader::CountAnswer(Connection& c, const TcpFaults& f) {
  if (++c.answers == f.resetAfterAnswers) c.resetWhenSent = true;
}

void TcpLoader::QueueBlock(Connection& c, const TcpFaults& f, std::vector<uint8_t> block) {
  block.insert(block.end(), f.afterBlock.begin(), f.afterBlock.end());
  auto due = SimClock::now() + SystemMs(f.lateMs);
  CountAnswer(c, f);
  if (f.splitPiece <= 0 || static_cast<size_t>(f.splitPiece) >= block.size()) {
    c.out.Add(std::move(block), due);
    return;
  }
  size_t piece = static_cast<size_t>(f.splitPiece);
  for (size_t at = 0; at < block.size(); at += piece) {
    size_t n = std::min(piece, block.size() - at);
    c.out.Add(std::vector<uint8_t>(block.begin() + static_cast<std::ptrdiff_t>(at),
                                   block.begin() + static_cast<std::ptrdiff_t>(at + n)),
              due);
    due += std::chrono::milliseconds(config_.splitGapMs);
  }
}

void TcpLoader::Drop(Connection& c, bool reset) {
  c.out.Clear();
  if (reset) {
    linger l{1, 0};  // close sends a reset instead of a FIN
    ::setsockopt(c.fd.Get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  Tell("tcp " + std::to_string(c.id) + (reset ? ": reset" : ": dropped"));
  EndConnection(c);
}

void TcpLoader::EndConnection(Connection& c) {
  if (c.ended) return;
  c.ended = true;
  c.fd.Reset();
  c.out.Clear();
  if (!c.in.empty()) {
    SimUnit unit;
    unit.kind = UnitKind::Partial;
    unit.session = c.id;
    unit.bytes = std::move(c.in);
    c.in.clear();
    log_.Append(std::move(unit));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Blocks with no command after them are an SDRAM load: the data of the connection.
    if (!c.data.empty()) sdramReceived_ = std::move(c.data);
    ++closed_;
  }
  changed_.notify_all();
  Tell("tcp " + std::to_string(c.id) + ": closed");
}

}  // namespace quill::sim
