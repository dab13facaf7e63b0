#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/event.h"

namespace quill {
namespace {

using Clock = std::chrono::steady_clock;

// A deadline of "max" means wait forever; ppoll then gets a null time-out.
struct Deadline {
  explicit Deadline(std::chrono::microseconds timeout)
      : infinite(timeout == std::chrono::microseconds::max()),
        at(infinite ? Clock::time_point::max() : Clock::now() + timeout) {}
  bool infinite;
  Clock::time_point at;

  // Fills ts with the time left; returns nullptr for an infinite wait.
  timespec* Left(timespec& ts) const {
    if (infinite) return nullptr;
    auto left = at - Clock::now();
    if (left < Clock::duration::zero()) left = Clock::duration::zero();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return &ts;
  }
  bool Passed() const { return !infinite && Clock::now() >= at; }
};

bool Consume(int fd) {
  uint64_t value = 0;
  return ::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

}  // namespace

Event::Event(Kind kind, bool signalled) : kind_(kind) {
  fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ >= 0 && signalled) Set();
}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::Set() {
  if (fd_ < 0) return;
  // Several sets before a wait coalesce: the counter is read (and cleared) as a whole.
  uint64_t one = 1;
  ssize_t n;
  do {
    n = ::write(fd_, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

void Event::Reset() {
  if (fd_ >= 0) Consume(fd_);
}

bool Event::TryWait() {
  if (fd_ < 0) return false;
  if (kind_ == Kind::AutoReset) return Consume(fd_);
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

bool Event::Wait(std::chrono::microseconds timeout) {
  Waitable self[] = {Waitable(*this)};
  return WaitAny(self, timeout) == 0;
}

int WaitAny(std::span<Waitable> items, std::chrono::microseconds timeout) {
  Deadline deadline(timeout);
  const size_t count = items.size();
  std::vector<pollfd> fds(count);
  for (;;) {
    for (size_t i = 0; i < count; ++i) {
      Waitable& w = items[i];
      fds[i].fd = w.event ? w.event->Fd() : w.fd;
      fds[i].events = w.event ? static_cast<short>(POLLIN) : static_cast<short>(w.events);
      fds[i].revents = 0;
      w.revents = 0;
    }
    timespec ts{};
    int r = ::ppoll(fds.data(), fds.size(), deadline.Left(ts), nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    for (size_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      Waitable& w = items[i];
      if (!w.event) {
        if (fds[i].revents & POLLNVAL) return kWaitFailed;
        w.revents = fds[i].revents;
        return static_cast<int>(i);
      }
      if (fds[i].revents & POLLNVAL) return kWaitFailed;
      // Another waiter may have taken an auto-reset signal between poll and read: then keep waiting.
      if (w.event->GetKind() == Event::Kind::ManualReset || Consume(fds[i].fd)) return static_cast<int>(i);
    }
    if (deadline.Passed()) return kWaitTimeout;
  }
}

}  // namespace quill
