#include "sim/output_schedule.h"

#include <cerrno>

namespace quill::sim {

bool OutputSchedule::Add(std::vector<uint8_t> bytes, SimClock::time_point due) {
  if (bytes.empty()) return true;
  if (pendingBytes_ + bytes.size() > kMaxPendingBytes) return false;
  if (!pieces_.empty() && due < pieces_.back().due) due = pieces_.back().due;
  pendingBytes_ += bytes.size();
  pieces_.push_back(Piece{std::move(bytes), 0, due});
  return true;
}

SimClock::time_point OutputSchedule::NextDue() const {
  return pieces_.empty() ? SimClock::time_point::max() : pieces_.front().due;
}

void OutputSchedule::Clear() {
  pieces_.clear();
  pendingBytes_ = 0;
}

OutputSchedule::Result OutputSchedule::WriteDue(SimClock::time_point now,
                                                const std::function<ssize_t(const uint8_t*, size_t)>& write) {
  while (!pieces_.empty() && pieces_.front().due <= now) {
    Piece& p = pieces_.front();
    ssize_t n = write(p.bytes.data() + p.sent, p.bytes.size() - p.sent);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Result::Blocked;
      if (errno == EINTR) continue;
      return Result::Failed;
    }
    p.sent += static_cast<size_t>(n);
    pendingBytes_ -= static_cast<size_t>(n);
    if (p.sent < p.bytes.size()) return Result::Blocked;  // the device is full; the rest goes on POLLOUT
    pieces_.pop_front();
  }
  return Result::Done;
}

timespec* TimeoutUntil(SimClock::time_point due, SimClock::time_point now, timespec& storage) {
  if (due == SimClock::time_point::max()) return nullptr;
  auto left = due > now ? due - now : SimClock::duration::zero();
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  storage.tv_sec = static_cast<time_t>(ns / 1000000000);
  storage.tv_nsec = static_cast<long>(ns % 1000000000);
  return &storage;
}

}  // namespace quill::sim
