#include "platform/event.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <span>
#include <thread>

#include "platform/timing.h"
#include "tests/support/scaled_timing.h"

namespace quill {
namespace {

using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesExactlyOneWaitPerSignal) {
  Event e(Event::Kind::AutoReset);
  std::atomic<int> released{0};
  std::thread a([&] { released += e.Wait(2000) ? 1 : 0; });
  std::thread b([&] { released += e.Wait(2000) ? 1 : 0; });
  e.Set();
  // One waiter goes; the other only after the second signal.
  for (int i = 0; i < 200 && released.load() < 1; ++i) std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(released.load(), 1);
  e.Set();
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_FALSE(e.TryWait());
}

TEST(Event, SignalsBeforeAWaitCoalesceLikeAKernelEvent) {
  Event e(Event::Kind::AutoReset);
  e.Set();
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event e(Event::Kind::ManualReset);
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.Wait(0));
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
  Event initially(Event::Kind::ManualReset, true);
  EXPECT_TRUE(initially.TryWait());
}

TEST(Event, WaitTimesOutWithoutASignal) {
  Event e;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.Wait(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 29ms);
}

TEST(Event, WaitAnyReturnsTheFirstReadyInOrderAndConsumesOnlyThat) {
  Event a, b, c(Event::Kind::ManualReset);
  Waitable items[] = {a, b, c};
  b.Set();
  c.Set();
  EXPECT_EQ(WaitAny(items, 0ms), 1);
  EXPECT_EQ(WaitAny(items, 0ms), 2);  // b consumed; manual c stays
  EXPECT_EQ(WaitAny(items, 0ms), 2);
  // Only the entries of the span are waited on.
  EXPECT_EQ(WaitAny(std::span(items).first(2), 10ms), kWaitTimeout);
  EXPECT_TRUE(c.TryWait());
  c.Reset();
  EXPECT_EQ(WaitAny(items, 10ms), kWaitTimeout);
}

TEST(Event, WaitAnyWaitsOnDescriptorsTogetherWithEvents) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Event stop;
  Waitable items[] = {Waitable(fds[0], POLLIN), Waitable(stop)};
  EXPECT_EQ(WaitAny(items, 10ms), kWaitTimeout);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(WaitAny(items, 1000ms), 0);
  EXPECT_TRUE(items[0].revents & POLLIN);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(Timing, ScalesEveryWaitButKeepsInfinite) {
  test::ScaledTiming scale(0.001);
  EXPECT_EQ(Timing::Current().Scaled(15000), 15ms);
  EXPECT_EQ(Timing::Current().Scaled(1), 1us);
  EXPECT_EQ(Timing::Current().Scaled(kInfinite), std::chrono::microseconds::max());
  Event e;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitMs(e, 10000));  // 10 ms of real time
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
}

}  // namespace
}  // namespace quill
