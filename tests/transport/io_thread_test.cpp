#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "platform/debug_log.h"
#include "platform/timing.h"
#include "transport/io_thread.h"

namespace quill {
namespace {

// A transport whose I/O thread blocks in a device call that its stop event cannot wake; the stop protocol
// gives it up after 3000 ms (timing seam) and closes what it blocks on, which ends it.
class StubbornTransport {
 public:
  bool Open() {
    if (::pipe(fds_) != 0) return false;
    int readEnd = fds_[0];
    return thread_.Start([readEnd, this] {
      char c;
      (void)!::read(readEnd, &c, 1);  // ignores stop_: only data or a closed writer wakes it
      ended_ = true;
    });
  }
  // The system's stop of an I/O thread; true when it ended within the limit.
  bool Close() {
    stop_.Set();
    bool inTime = thread_.WaitForEnd(3000);
    if (!inTime) {
      OutputDebugString("Force to close CommPort read thread\n");
      ::close(fds_[1]);  // the blocked call fails now
      fds_[1] = -1;
      if (!thread_.WaitForEnd(3000)) thread_.Abandon();
    }
    if (fds_[1] >= 0) ::close(fds_[1]);
    ::close(fds_[0]);
    fds_[0] = fds_[1] = -1;
    return inTime;
  }
  bool Ended() const { return ended_; }

 private:
  int fds_[2] = {-1, -1};
  Event stop_{Event::Kind::ManualReset};
  IoThread thread_;
  std::atomic<bool> ended_{false};
};

TEST(IoThread, AThreadThatIgnoresItsStopIsGivenUpAfterTheLimitAndItsTransportClosed) {
  ScopedTimingScale fast(0.01);  // 3000 ms of the system's time is 30 ms here
  DebugLogCapture log;
  StubbornTransport t;
  ASSERT_TRUE(t.Open());
  EXPECT_FALSE(t.Close());
  EXPECT_TRUE(t.Ended());
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Force to close CommPort read thread\n"}));
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
