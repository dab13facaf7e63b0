// What the transport and monitor tests share: an owner window on a real window-owning thread holding the
// transport under test, an inbox of what that window received, and a debug-log watch that can wait for a
// line (and hold the thread that writes it). The raw loopback peers and the census come with it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/debug_log.h"
#include "platform/event.h"
#include "platform/message.h"
#include "platform/window_thread.h"
#include "tests/support/census.h"
#include "tests/support/peers.h"

namespace quill::test {

using namespace std::chrono_literals;

// One message as the owner window received it, copied out for the test thread.
struct Received {
  uint32_t message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  bool hasBlock = false;
  std::vector<uint8_t> bytes;  // the block's valid bytes
  size_t capacity = 0;
  bool lParamIsBlock = false;  // lParam held the address of the DataBlock record
  bool lParamIsBytes = false;  // lParam held the address of the bytes
};

class Inbox {
 public:
  // Takes the message's payload (the receiver owns it), records it, and terminates the bytes as an owner
  // may, one past the data.
  Received Add(Message& m);
  bool WaitFor(const std::function<bool(const std::vector<Received>&)>& done,
               std::chrono::milliseconds limit = 10s);
  bool WaitForCount(uint32_t message, size_t count, std::chrono::milliseconds limit = 10s);
  // Waits until the blocks of that message hold at least count bytes together.
  bool WaitForBytes(uint32_t message, size_t count, std::chrono::milliseconds limit = 10s);
  std::vector<Received> All() const;
  std::vector<Received> Of(uint32_t message) const;
  // The bytes of every block of that message, joined in arrival order.
  std::vector<uint8_t> Joined(uint32_t message) const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Received> items_;
};

// The owner window: holds the transport (destroyed after the window's destroy handler ran, as in the tool)
// and forwards its create, message and destroy handling to the test.
template <class T>
class OwnerWindow : public Window {
 public:
  ~OwnerWindow() override { DestroyWindow(); }
  T transport;
  std::function<bool(OwnerWindow&)> onCreate;
  std::function<void(OwnerWindow&, Message&)> onMessage;
  std::function<void(OwnerWindow&)> onDestroy;

 protected:
  bool OnCreate() override { return onCreate ? onCreate(*this) : true; }
  void OnMessage(Message& m) override {
    if (onMessage) onMessage(*this, m);
  }
  void OnDestroy() override {
    if (onDestroy) onDestroy(*this);
  }
};

constexpr uint32_t WM_TEST_RUN = 0x7100;

// Signalled by one thread, waited for by another, with a lock that thread checkers can see (what the job
// wrote is then visible to the waiter).
class Completion {
 public:
  void Done() {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }
  bool Wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

template <class T>
struct RunJob : Payload {
  std::function<void(OwnerWindow<T>&)> job;
  std::shared_ptr<Completion> done;
};

template <class T>
class OwnerThread : public WindowThread {
 public:
  OwnerThread(Event* ended, std::function<void(OwnerWindow<T>&)> setup, Event* created)
      : WindowThread(ended), setup_(std::move(setup)), created_(created) {}

 protected:
  bool InitInstance() override {
    if (setup_) setup_(window_);
    if (!window_.Create()) return false;
    SetMainWindow(&window_);
    created_->Set();
    return true;
  }
  void OnThreadMessage(Message& m) override {
    if (m.message != WM_TEST_RUN) return;
    if (auto run = m.Take<RunJob<T>>()) {
      run->job(window_);
      run->done->Done();
    }
  }

 private:
  OwnerWindow<T> window_;
  std::function<void(OwnerWindow<T>&)> setup_;
  Event* created_;
};

// Starts the owner thread; setup installs the window's handlers before the window is created.
template <class T>
class Owner {
 public:
  explicit Owner(std::function<void(OwnerWindow<T>&)> setup) {
    if (StartWindowThreadOnce<OwnerThread<T>>(held_, &ended_, std::move(setup), &created_) &&
        created_.Wait(10000))
      window_ = held_->MainWindow();
  }
  ~Owner() { Stop(); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  Hwnd Window() const { return window_; }
  // Runs job on the owner's thread and waits for it (bounded).
  bool Run(std::function<void(OwnerWindow<T>&)> job) {
    if (!held_) return false;
    auto payload = std::make_unique<RunJob<T>>();
    payload->job = std::move(job);
    auto done = std::make_shared<Completion>();
    payload->done = done;
    if (!held_->PostThreadMessage(WM_TEST_RUN, 0, 0, std::move(payload))) return false;
    return done->Wait(10s);
  }
  // The tool's stop: WM_THREAD_STOP, then the ended event; the window's destroy handler and destructor run.
  void Stop() { StopWindowThread(held_, ended_); }

 private:
  Event ended_;
  Event created_{Event::Kind::ManualReset};
  std::optional<ThreadHandle> held_;
  Hwnd window_;
};

// Records every debug-log line while it exists. Hold() makes the first thread that writes a given line
// stop inside the log for a while, as a thread stuck in a device call would: the log runs under its own
// lock, so every other line waits with it.
class LogWatch {
 public:
  LogWatch();
  ~LogWatch();
  LogWatch(const LogWatch&) = delete;
  LogWatch& operator=(const LogWatch&) = delete;

  std::vector<std::string> Lines() const;
  size_t Count(const std::string& line) const;
  bool WaitFor(const std::string& line, std::chrono::milliseconds limit = 10s) const;
  void Hold(const std::string& line, std::chrono::milliseconds holdFor);
  // Lets the held writer go on before its time is up.
  void Release();
  // Set once the held line's writer has stopped in the log.
  Event& Holding() { return holding_; }
  void Clear();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::string holdLine_;
  std::chrono::milliseconds holdFor_{0};
  bool released_ = false;
  Event holding_{Event::Kind::ManualReset};
  DebugLog::Sink previous_;
};

// Sorted copy, for lines that two threads write in no fixed order.
std::vector<std::string> Sorted(std::vector<std::string> lines);

}  // namespace quill::test
