#include "tests/support/scaled_timing.h"

#include <algorithm>

namespace quill::test {

ScaledTiming::ScaledTiming(double sleepFactor, double waitFactor, Floor floor)
    : sleeps_(sleepFactor), waits_(waitFactor), floor_(floor) {
  Timing::Install(this);
}

ScaledTiming::~ScaledTiming() {
  Timing::Install(nullptr);
}

std::chrono::microseconds ScaledTiming::Scaled(int ms) const {
  auto scaled = waits_.Scaled(ms);
  if (floor_.atLeast.count() > 0 && ms >= floor_.fromMs && scaled != std::chrono::microseconds::max())
    scaled = std::max<std::chrono::microseconds>(scaled, floor_.atLeast);
  return scaled;
}

void ScaledTiming::Sleep(int ms) {
  sleeps_.Sleep(ms);
}

}  // namespace quill::test
