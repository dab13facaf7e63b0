// Answers waiting to go out, each at its due time and each written by a write call of its own, so that over
// TCP (with TCP_NODELAY) every answer is a segment of its own: the tool recognises only an answer that
// arrives whole and alone.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace quill::sim {

using SimClock = std::chrono::steady_clock;

class OutputSchedule {
 public:
  // Answers that nobody reads are not kept without end.
  static constexpr size_t kMaxPendingBytes = 1 << 20;

  // Queues one piece. Pieces leave in the order queued: a piece is never due before the one ahead of it.
  // False (nothing queued) when the pending bytes would pass the bound.
  bool Add(std::vector<uint8_t> bytes, SimClock::time_point due);
  bool Empty() const { return pieces_.empty(); }
  size_t PendingBytes() const { return pendingBytes_; }
  // The due time of the first piece; time_point::max() when nothing is queued.
  SimClock::time_point NextDue() const;
  void Clear();

  enum class Result { Done, Blocked, Failed };
  // Writes every piece due by now, each with one call of write (which returns the count written, or -1
  // with errno). Blocked: the device takes no more now (EAGAIN); the rest waits.
  Result WriteDue(SimClock::time_point now, const std::function<ssize_t(const uint8_t*, size_t)>& write);

 private:
  struct Piece {
    std::vector<uint8_t> bytes;
    size_t sent = 0;
    SimClock::time_point due;
  };
  std::deque<Piece> pieces_;
  size_t pendingBytes_ = 0;
};

// The ppoll time-out that ends at due (nullptr: no deadline); never negative.
timespec* TimeoutUntil(SimClock::time_point due, SimClock::time_point now, timespec& storage);

}  // namespace quill::sim
