// Kernel-style events: auto-reset (one Set releases exactly one wait) and manual-reset (stays set until
// Reset). Each event is a descriptor, so an I/O thread can wait on "socket ready, output queued, hang-up" at
// once.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace quill {

constexpr int kInfinite = -1;

class Event {
 public:
  enum class Kind { AutoReset, ManualReset };

  explicit Event(Kind kind = Kind::AutoReset, bool signalled = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // False only when the descriptor could not be made (the caller logs its own line).
  bool IsValid() const { return fd_ >= 0; }
  Kind GetKind() const { return kind_; }
  int Fd() const { return fd_; }

  void Set();
  void Reset();
  // Real time, not scaled: operations wait through the timing seam (platform/timing.h).
  bool Wait(std::chrono::microseconds timeout);
  bool Wait(int ms) {
    return Wait(ms == kInfinite ? std::chrono::microseconds::max() : std::chrono::milliseconds(ms));
  }
  // Non-blocking: consumes an auto-reset signal, leaves a manual-reset one set.
  bool TryWait();

 private:
  int fd_ = -1;
  Kind kind_;
};

// One entry of a multiple-object wait: an event, or a descriptor with the poll events of interest.
struct Waitable {
  Waitable(Event& e) : event(&e) {}  // NOLINT: an event is waitable as it stands
  Waitable(int descriptor, short pollEvents) : fd(descriptor), events(pollEvents) {}
  Event* event = nullptr;
  int fd = -1;
  short events = 0;
  short revents = 0;  // what poll reported for a descriptor entry
};

constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// Returns the index of the first ready entry in the order given (as WaitForMultipleObjects does), consuming
// an auto-reset event it returns; kWaitTimeout or kWaitFailed otherwise. A descriptor entry's revents is
// written, so the entries are the caller's own (an array of them, usually). Real time, not scaled.
int WaitAny(std::span<Waitable> items, std::chrono::microseconds timeout);

}  // namespace quill
