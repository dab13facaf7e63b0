#include "sim/serial_loader.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/timing.h"

namespace quill::sim {
namespace {

constexpr size_t kReadChunk = 4096;
constexpr size_t kMaxPendingText = size_t{64} * 1024;
// The tool's last bytes pass through the terminal's buffers after its close is already reported; the
// phone takes a close as final only after this much real time, or when the port is opened again.
constexpr auto kCloseSettle = std::chrono::milliseconds(20);
// A wire delivers a paced answer in groups of this many bytes (a UART's receive FIFO), not byte by byte.
constexpr size_t kWireGroup = 8;
constexpr int kBitsPerByte = 10;  // start, eight data bits, stop

}  // namespace

SerialLoader::SerialLoader(Config config) : config_(config), protocol_(config.eraseMs) {
  if (config_.wireBaud > 0)
    byteTime_ = std::chrono::duration_cast<SimClock::duration>(
        std::chrono::nanoseconds(static_cast<long long>(kBitsPerByte) * 1000000000LL / config_.wireBaud));
}

SerialLoader::~SerialLoader() {
  Stop();
}

bool SerialLoader::Start() {
  if (IsRunning()) return true;
  auto fail = [this](const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = what + ": " + std::strerror(errno);
    master_.Reset();
    slave_.Reset();
    inotify_.Reset();
    return false;
  };
  if (!stop_.IsValid() || !wake_.IsValid()) return fail("events");
  int master = -1;
  int slave = -1;
  char name[128] = {};
  termios raw{};
  // A raw line: no echo of the tool's bytes back to it, no translation of any byte either way.
  ::cfmakeraw(&raw);
  ::cfsetispeed(&raw, B19200);
  ::cfsetospeed(&raw, B19200);
  if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return fail("openpty");
  master_.Reset(master);
  slave_.Reset(slave);
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  slavePath_ = name;
  // Without inotify the phone simply never sees the tool close the port; everything else works.
  inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (inotify_.IsOpen() && ::inotify_add_watch(inotify_.Get(), name, IN_OPEN | IN_CLOSE) < 0)
    inotify_.Reset();
  stop_.Reset();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SerialLoader::Stop() {
  if (!thread_.joinable()) return;
  stop_.Set();
  thread_.join();
}

std::string SerialLoader::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void SerialLoader::SetFaults(const SerialFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  protocol_.SetFaults(faults);
}

SerialFaults SerialLoader::Faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.Faults();
}

void SerialLoader::SetSdramImage(std::vector<uint8_t> image) {
  std::lock_guard<std::mutex> lock(mutex_);
  protocol_.SetSdramImage(std::move(image));
}

void SerialLoader::SendText(std::string_view text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t room = kMaxPendingText > text_.size() ? kMaxPendingText - text_.size() : 0;
    text_.insert(text_.end(), text.begin(),
                 text.begin() + static_cast<std::ptrdiff_t>(std::min(room, text.size())));
  }
  wake_.Set();
}

std::vector<uint8_t> SerialLoader::FlashPage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.FlashPage();
}

std::vector<int> SerialLoader::ErasedSectors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.ErasedSectors();
}

std::vector<uint8_t> SerialLoader::SdramReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.SdramReceived();
}

int SerialLoader::FlashWritesEnded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.FlashWritesEnded();
}

int SerialLoader::SdramLoadsEnded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.SdramLoadsEnded();
}

bool SerialLoader::IsLineOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_ > 0;
}

int SerialLoader::Sessions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

int SerialLoader::LineCloses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lineCloses_;
}

bool SerialLoader::WaitForLineOpen(bool open, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return (opens_ > 0) == open; });
}

bool SerialLoader::WaitForLineCloses(int n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return lineCloses_ >= n; });
}

void SerialLoader::Run() {
  // A paced answer is due to the microsecond; the default timer slack would add its 50 us to every one.
  if (byteTime_ > SimClock::duration::zero()) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  for (;;) {
    auto now = SimClock::now();
    SimClock::time_point next = blocked_ ? SimClock::time_point::max() : out_.NextDue();
    if (closePending_) next = std::min(next, closeAt_);
    pollfd fds[4] = {
        {stop_.Fd(), POLLIN, 0},
        {wake_.Fd(), POLLIN, 0},
        {master_.Get(), static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
        {inotify_.Get(), POLLIN, 0},
    };
    timespec ts{};
    int r = ::ppoll(fds, 4, TimeoutUntil(next, now, ts), nullptr);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (fds[1].revents) {
      wake_.TryWait();
      std::vector<uint8_t> text;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        text.swap(text_);
      }
      QueueOut(std::move(text), SimClock::now());
    }
    if (fds[2].revents & POLLOUT) blocked_ = false;
    // Opens and closes before the bytes: an open is reported before the tool can write, so its bytes
    // belong to its new session; a close is final only after the settle time, so the bytes the tool wrote
    // before it closed still belong to the old one.
    if ((fds[2].revents | fds[3].revents) & POLLIN) WatchOpens();
    if (fds[2].revents & POLLIN) ReadLine();
    // Our own slave descriptor keeps hang-ups away; only a forced hang-up of the terminal gets here, and
    // then the master stays ready for nothing: look again later rather than spin.
    if ((fds[2].revents & (POLLHUP | POLLERR)) && !(fds[2].revents & POLLIN) &&
        stop_.Wait(std::chrono::milliseconds(50))) {
      break;
    }
    if (closePending_ && SimClock::now() >= closeAt_) FinishClose();
    if (!blocked_) {
      int fd = master_.Get();
      auto result =
          out_.WriteDue(SimClock::now(), [fd](const uint8_t* p, size_t n) { return ::write(fd, p, n); });
      if (result == OutputSchedule::Result::Blocked) blocked_ = true;
      if (result == OutputSchedule::Result::Failed) out_.Clear();
    }
  }
  CloseWhenToolHasClosed();
}

void SerialLoader::ReadLine() {
  uint8_t buffer[kReadChunk];
  for (int round = 0; round < 16; ++round) {
    ssize_t n = ::read(master_.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    const auto now = SimClock::now();
    std::vector<SimUnit> units;
    // Each answer with the time its last byte arrived: now, or on a paced line one byte time after the
    // byte before it.
    std::vector<std::pair<SerialLoaderProtocol::Answer, SimClock::time_point>> answers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::vector<SerialLoaderProtocol::Answer> fed;
      for (ssize_t i = 0; i < n; ++i) {
        SimClock::time_point arrived = now;
        if (byteTime_ > SimClock::duration::zero()) {
          inFree_ = std::max(inFree_, now) + byteTime_;
          arrived = inFree_;
        }
        protocol_.Feed(buffer[i], units, fed);
        for (auto& a : fed) answers.emplace_back(std::move(a), arrived);
        fed.clear();
      }
    }
    // Recorded before any answer leaves: a tool that has the answer finds the unit in the log.
    for (SimUnit& u : units) log_.Append(std::move(u));
    for (auto& [a, arrived] : answers)
      QueueOut(std::move(a.bytes), arrived + Timing::Current().Scaled(std::max(a.delayMs, 0)));
  }
}

void SerialLoader::QueueOut(std::vector<uint8_t> bytes, SimClock::time_point ready) {
  if (byteTime_ == SimClock::duration::zero()) {
    out_.Add(std::move(bytes), ready);
    return;
  }
  // Each group is written when its last byte has come off the wire; the wire carries one byte at a time.
  for (size_t at = 0; at < bytes.size(); at += kWireGroup) {
    const size_t n = std::min(kWireGroup, bytes.size() - at);
    outFree_ = std::max(outFree_, ready) + byteTime_ * static_cast<int>(n);
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    if (!out_.Add(std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(n)), outFree_)) return;
  }
}

void SerialLoader::WatchOpens() {
  if (!inotify_.IsOpen()) return;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    ssize_t n = ::read(inotify_.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (char* p = buffer; p < buffer + n;) {
      auto* e = reinterpret_cast<inotify_event*>(p);
      p += sizeof(inotify_event) + e->len;
      if (e->mask & IN_OPEN) {
        if (closePending_) {
          // Opened again before the close settled: the old session ends first, with what it sent.
          ReadLine();
          FinishClose();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (opens_++ == 0) {
          ++sessions_;
          protocol_.SetSession(sessions_);
          changed_.notify_all();
        }
      }
      if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (opens_ > 0 && opens_ - 1 == 0 && !closePending_) {
          closePending_ = true;
          closeAt_ = SimClock::now() + kCloseSettle;
        } else if (opens_ > 1) {
          --opens_;
        }
      }
    }
  }
}

// The tool has closed the port: the phone goes back to its start state, and answers not yet read go
// nowhere (a real line drops them too).
void SerialLoader::FinishClose() {
  closePending_ = false;
  ReadLine();
  std::vector<SimUnit> units;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    protocol_.LineClosed(units);
  }
  for (SimUnit& u : units) log_.Append(std::move(u));
  out_.Clear();
  outFree_ = {};  // what was dropped never takes the wire
  blocked_ = false;
  ::tcflush(slave_.Get(), TCIFLUSH);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    opens_ = 0;
    ++lineCloses_;
  }
  changed_.notify_all();
}

void SerialLoader::CloseWhenToolHasClosed() {
  out_.Clear();
  inotify_.Reset();
  slave_.Reset();
  // With our own slave descriptor gone, the master reads a hang-up once the tool's is gone too.
  auto deadline = SimClock::now() + std::chrono::milliseconds(std::max(config_.closeWaitMs, 0));
  uint8_t buffer[kReadChunk];
  for (;;) {
    pollfd p{master_.Get(), POLLIN, 0};
    timespec ts{};
    int r = ::ppoll(&p, 1, TimeoutUntil(deadline, SimClock::now(), ts), nullptr);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
    if (::read(master_.Get(), buffer, sizeof buffer) <= 0) break;  // late bytes after Stop are not recorded
  }
  master_.Reset();
  closePending_ = false;
  std::lock_guard<std::mutex> lock(mutex_);
  opens_ = 0;
  changed_.notify_all();
}

}  // namespace quill::sim
