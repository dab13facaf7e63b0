#include "transport/io_thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "platform/timing.h"
#include "tests/support/scaled_timing.h"

namespace quill {
namespace {

// A thread blocked in a device call that no stop event can wake: the wait gives up at the limit (3000 ms of
// the system's time) and leaves the thread running; once what it blocks on is closed it ends, and the next
// wait joins it.
TEST(IoThread, AWaitGivesUpAtTheLimitAndJoinsTheThreadOnceWhatItBlocksOnIsClosed) {
  test::ScaledTiming fast(0.01);  // 3000 ms of the system's time is 30 ms here
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::atomic<bool> ended{false};
  IoThread thread;
  const int readEnd = fds[0];
  ASSERT_TRUE(thread.Start([readEnd, &ended] {
    char c;
    (void)!::read(readEnd, &c, 1);  // only data or a closed writer wakes it
    ended = true;
  }));
  EXPECT_FALSE(thread.WaitForEnd(3000));
  EXPECT_TRUE(thread.Exists());
  EXPECT_FALSE(ended);
  ::close(fds[1]);  // the blocked call returns now
  EXPECT_TRUE(thread.WaitForEnd(1000000));
  EXPECT_TRUE(ended);
  EXPECT_FALSE(thread.Exists());
  ::close(fds[0]);
}

TEST(IoThread, AThreadThatEndsOnItsStopIsJoinedWithinTheLimit) {
  Event stop(Event::Kind::ManualReset);
  IoThread thread;
  ASSERT_TRUE(thread.Start([&stop] { stop.Wait(kInfinite); }));
  EXPECT_TRUE(thread.Exists());
  stop.Set();
  EXPECT_TRUE(thread.WaitForEnd(3000));
  EXPECT_FALSE(thread.Exists());
  EXPECT_TRUE(thread.WaitForEnd(3000));  // an ended thread returns at once
}

}  // namespace
}  // namespace quill
