#include "platform/timing.h"

#include <atomic>
#include <thread>

namespace quill {
namespace {

SystemTiming& SystemDefault() {
  static SystemTiming timing(1.0);
  return timing;
}

std::atomic<Timing*> g_current{nullptr};

}  // namespace

Timing& Timing::Current() {
  Timing* t = g_current.load(std::memory_order_acquire);
  return t ? *t : SystemDefault();
}

void Timing::Install(Timing* t) {
  g_current.store(t, std::memory_order_release);
}

void Timing::Sleep(int ms) {
  auto d = Scaled(ms);
  if (d == std::chrono::microseconds::max()) {
    // Nothing in the tool sleeps forever; treat it as a very long sleep rather than spin.
    d = std::chrono::hours(24 * 365);
  }
  if (d > std::chrono::microseconds::zero()) std::this_thread::sleep_for(d);
}

bool Timing::Wait(Event& event, int ms) {
  return event.Wait(Scaled(ms));
}

int Timing::WaitAny(std::span<Waitable> items, int ms) {
  return quill::WaitAny(items, Scaled(ms));
}

void Timing::YieldSlice() {
  std::this_thread::yield();
}

std::chrono::microseconds SystemTiming::Scaled(int ms) const {
  if (ms == kInfinite) return std::chrono::microseconds::max();
  if (ms <= 0) return std::chrono::microseconds::zero();
  double us = static_cast<double>(ms) * 1000.0 * factor_;
  // A scaled wait never becomes a pure poll: the other side always gets some time to answer.
  if (us < 1.0) us = 1.0;
  return std::chrono::microseconds(static_cast<long long>(us));
}

}  // namespace quill
