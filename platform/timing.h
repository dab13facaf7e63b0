// The timing seam: every timed wait and fixed sleep of the maintenance procedures and transports goes
// through the current Timing object. Production uses the system's durations; tests scale them down so a
// 15000 ms sector erase takes milliseconds, keeping the ratios and the order of the waits.
#pragma once

#include <chrono>

#include "platform/event.h"

namespace quill {

class Timing {
 public:
  virtual ~Timing() = default;

  // The real duration that stands for ms of the system's time; kInfinite maps to microseconds::max().
  virtual std::chrono::microseconds Scaled(int ms) const = 0;
  virtual void Sleep(int ms);
  virtual bool Wait(Event& event, int ms);
  virtual int WaitAny(std::span<Waitable> items, int ms);
  // Gives up the rest of the thread's time slice (the serial chunks do this after each byte).
  virtual void YieldSlice();

  // The process-wide timing object; SystemTiming with factor 1 unless a test installs another.
  static Timing& Current();
  // Installs t (not owned) as the current timing; nullptr restores the system's own.
  static void Install(Timing* t);
};

// Durations multiplied by a factor (1.0 in production).
class SystemTiming : public Timing {
 public:
  explicit SystemTiming(double factor = 1.0) : factor_(factor) {}
  std::chrono::microseconds Scaled(int ms) const override;
  double Factor() const { return factor_; }

 private:
  double factor_;
};

// Short forms for the code that reads like the system's own algorithms.
inline void SleepMs(int ms) {
  Timing::Current().Sleep(ms);
}
inline bool WaitMs(Event& event, int ms) {
  return Timing::Current().Wait(event, ms);
}

}  // namespace quill
