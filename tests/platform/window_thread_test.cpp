#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/window_thread.h"

namespace quill {
namespace {

std::atomic<int> g_payloadsAlive{0};

struct CountedPayload : Payload {
  CountedPayload() { ++g_payloadsAlive; }
  ~CountedPayload() override { --g_payloadsAlive; }
};

constexpr uint32_t WM_TEST = 0x7001;
constexpr uint32_t WM_TEST_THREAD = 0x7002;

struct Record {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<uint32_t> messages;
  std::vector<WPARAM> values;
  int destroyed = 0;
  bool WaitForMessages(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5), [&] { return messages.size() >= n; });
  }
};

class RecordingWindow : public Window {
 public:
  RecordingWindow(Record& r, bool failCreate) : record_(r), failCreate_(failCreate) {}
  ~RecordingWindow() override { DestroyWindow(); }

 protected:
  bool OnCreate() override { return !failCreate_; }
  void OnDestroy() override {
    std::lock_guard<std::mutex> lock(record_.mutex);
    ++record_.destroyed;
  }
  void OnMessage(Message& m) override {
    m.Take<CountedPayload>().reset();  // the receiver owns it and releases it
    std::lock_guard<std::mutex> lock(record_.mutex);
    record_.messages.push_back(m.message);
    record_.values.push_back(m.wParam);
    record_.changed.notify_all();
  }

 private:
  Record& record_;
  bool failCreate_;
};

class TestThread : public WindowThread {
 public:
  TestThread(Event* ended, Record& r, bool failCreate) : WindowThread(ended), window_(r, failCreate) {}

 protected:
  bool InitInstance() override {
    if (!window_.Create()) return false;
    SetMainWindow(&window_);
    return true;
  }
  void OnThreadMessage(Message& m) override {
    if (m.message == WM_TEST_THREAD) PostMessage(window_.GetSafeHwnd(), WM_TEST, m.wParam, 0);
  }

 private:
  RecordingWindow window_;
};

Hwnd WaitForMainWindow(const ThreadHandle& h) {
  for (int i = 0; i < 500; ++i) {
    if (auto w = h.MainWindow()) return w;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return {};
}

TEST(WindowThread, StopDestroysTheWindowAndSignalsTheEndedEventOnce) {
  Event ended;
  Record record;
  std::optional<ThreadHandle> held;
  ASSERT_TRUE(StartWindowThreadOnce<TestThread>(held, &ended, record, false));
  Hwnd window = WaitForMainWindow(*held);
  ASSERT_TRUE(window);
  // A thread message reaches the thread (which here forwards it to its window); window messages the window.
  held->PostThreadMessage(WM_TEST_THREAD, 1, 0);
  ASSERT_TRUE(record.WaitForMessages(1));
  PostMessage(window, WM_TEST, 2, 0);
  ASSERT_TRUE(record.WaitForMessages(2));
  StopWindowThread(held, ended);
  EXPECT_FALSE(held.has_value());
  EXPECT_EQ(record.destroyed, 1);
  EXPECT_EQ(record.values, (std::vector<WPARAM>{1, 2}));
  EXPECT_FALSE(ended.Wait(50));  // once per object, not more
}

TEST(WindowThread, AWindowThatCannotBeCreatedEndsTheThreadAndStillSignalsOnce) {
  Event ended;
  Record record;
  std::optional<ThreadHandle> held;
  ASSERT_TRUE(StartWindowThreadOnce<TestThread>(held, &ended, record, true));
  ASSERT_TRUE(ended.Wait(5000));
  EXPECT_FALSE(ended.Wait(50));
  EXPECT_FALSE(held->PostThreadMessage(WM_TEST_THREAD, 1, 0));  // nobody takes messages any more
  held->Join();
  EXPECT_EQ(record.destroyed, 0);
}

TEST(WindowThread, StartingAHeldThreadOrStoppingANeverStartedOneDoesNothing) {
  Event ended;
  Record record;
  std::optional<ThreadHandle> held;
  StopWindowThread(held, ended);  // nothing held: returns at once, no wait
  ASSERT_TRUE(StartWindowThreadOnce<TestThread>(held, &ended, record, false));
  EXPECT_FALSE(StartWindowThreadOnce<TestThread>(held, &ended, record, false));
  StopWindowThread(held, ended);
  EXPECT_EQ(record.destroyed, 1);
}

TEST(WindowThread, MessagesThatAreNeverDeliveredFreeTheirPayload) {
  Event ended;
  Record record;
  std::optional<ThreadHandle> held;
  ASSERT_TRUE(StartWindowThreadOnce<TestThread>(held, &ended, record, false));
  Hwnd window = WaitForMainWindow(*held);
  ASSERT_TRUE(window);
  PostMessage(window, WM_TEST, 1, 0, std::make_unique<CountedPayload>());
  ASSERT_TRUE(record.WaitForMessages(1));
  EXPECT_EQ(g_payloadsAlive.load(), 0);  // the receiver released it
  StopWindowThread(held, ended);
  // The window and its thread are gone: a late post fails and frees its payload at once.
  EXPECT_FALSE(PostMessage(window, WM_TEST, 3, 0, std::make_unique<CountedPayload>()));
  EXPECT_EQ(g_payloadsAlive.load(), 0);
}

TEST(WindowThread, PendingMessagesAreFreedWhenTheQueueCloses) {
  auto queue = std::make_shared<MessageQueue>();
  Hwnd w{queue, 42};
  ASSERT_TRUE(PostMessage(w, WM_TEST, 0, 0, std::make_unique<CountedPayload>()));
  ASSERT_TRUE(PostMessage(w, WM_TEST, 0, 0, std::make_unique<CountedPayload>()));
  EXPECT_EQ(g_payloadsAlive.load(), 2);
  queue->Close();
  EXPECT_EQ(g_payloadsAlive.load(), 0);
  Message m;
  EXPECT_FALSE(queue->Get(m));
}

TEST(WindowThread, AHandleDroppedWithoutStopStillEndsItsThread) {
  Event ended;
  Record record;
  {
    std::optional<ThreadHandle> held;
    ASSERT_TRUE(StartWindowThreadOnce<TestThread>(held, &ended, record, false));
    ASSERT_TRUE(WaitForMainWindow(*held));
  }
  EXPECT_TRUE(ended.Wait(0));
  EXPECT_EQ(record.destroyed, 1);
}

}  // namespace
}  // namespace quill
