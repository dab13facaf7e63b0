// The timing seam scaled down for a test, installed for the lifetime of the object. Fixed pauses (the
// 15000 ms erase pause, the 500 ms before a probe) shrink by one factor, waits (and the simulator's answer
// delays, which read Scaled too) by another, so the order and the ratios of the waits stay: "an answer 0.6
// of a wait late" stays inside that wait and "1.5 of it" outside, whatever the factors.
#pragma once

#include <chrono>

#include "platform/timing.h"

namespace quill::test {

class ScaledTiming : public Timing {
 public:
  // A wait of fromMs or more of the system's time never drops below atLeast, so that an answer still has
  // room on a loaded machine while the short waits stay short.
  struct Floor {
    int fromMs = 0;
    std::chrono::milliseconds atLeast{0};
  };

  // Pauses and waits alike.
  explicit ScaledTiming(double factor) : ScaledTiming(factor, factor) {}
  ScaledTiming(double sleepFactor, double waitFactor) : ScaledTiming(sleepFactor, waitFactor, Floor{}) {}
  ScaledTiming(double sleepFactor, double waitFactor, Floor floor);
  ~ScaledTiming() override;
  ScaledTiming(const ScaledTiming&) = delete;
  ScaledTiming& operator=(const ScaledTiming&) = delete;

  std::chrono::microseconds Scaled(int ms) const override;
  void Sleep(int ms) override;

 private:
  SystemTiming sleeps_;
  SystemTiming waits_;
  Floor floor_;
};

}  // namespace quill::test
