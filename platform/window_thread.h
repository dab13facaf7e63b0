// Window-owning threads: a thread with its own message loop and one main window (a message target). The
// owner talks to it only by posted messages; when the main window is destroyed the loop ends, the thread
// object deletes itself and then signals its class's thread-ended event, which is how the owner learns that
// the thread and its object are gone.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "platform/event.h"
#include "platform/message.h"

namespace quill {

class WindowThread;

// A message target that lives on one window-owning thread. Create and destroy it on that thread.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Registers the window with the current window-owning thread and runs OnCreate; false when there is no
  // such thread or OnCreate fails (the window is then not created).
  bool Create();
  // Runs OnDestroy and unregisters the window; destroying a thread's main window ends its message loop.
  void DestroyWindow();
  bool IsCreated() const { return id_ != 0; }
  Hwnd GetSafeHwnd() const { return hwnd_; }

 protected:
  virtual bool OnCreate() { return true; }
  virtual void OnDestroy() {}
  virtual void OnMessage(Message& m) { (void)m; }

 private:
  friend class WindowThread;
  uint64_t id_ = 0;
  Hwnd hwnd_;
  WindowThread* thread_ = nullptr;
};

struct WindowThreadState {
  std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
  std::mutex mutex;
  Hwnd mainWindow;
};

class WindowThread {
 public:
  // ended: the class-wide thread-ended event (not owned), set after the object is deleted; may be null.
  explicit WindowThread(Event* ended);
  virtual ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  // The window-owning thread the caller runs on, or null.
  static WindowThread* Current();

 protected:
  // Creates the window and makes it the main window; false ends the thread at once.
  virtual bool InitInstance() = 0;
  // Thread messages other than WM_THREAD_STOP (the link threads add 0x502-0x504).
  virtual void OnThreadMessage(Message& m) { (void)m; }
  virtual void ExitInstance() {}
  void SetMainWindow(Window* window);

 private:
  friend class Window;
  friend class ThreadHandle;
  friend class ThreadHandle StartWindowThread(std::unique_ptr<WindowThread> thread);
  void Run();
  void Dispatch(Message& m);

  std::shared_ptr<WindowThreadState> state_ = std::make_shared<WindowThreadState>();
  Event* ended_;
  Window* main_ = nullptr;
  std::unordered_map<uint64_t, Window*> windows_;
};

// The owner's reference to a running window-owning thread: the thread identifier to post to, and the OS
// thread to join once it has ended. Destroying a handle whose thread still runs stops and joins it, so no
// thread outlives its owner.
class ThreadHandle {
 public:
  ThreadHandle() = default;
  ThreadHandle(ThreadHandle&&) noexcept = default;
  ThreadHandle& operator=(ThreadHandle&& other) noexcept;
  ~ThreadHandle();

  bool PostThreadMessage(uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload = nullptr) const;
  // The thread's main window once InitInstance has set it; an empty handle before that.
  Hwnd MainWindow() const;
  // Waits for the OS thread to return (it does so right after signalling its ended event).
  void Join();
  bool IsValid() const { return state_ != nullptr; }

 private:
  friend ThreadHandle StartWindowThread(std::unique_ptr<WindowThread> thread);
  std::shared_ptr<WindowThreadState> state_;
  std::thread thread_;
};

// Starts the thread; from here the thread owns the object and deletes it when its loop ends. An empty
// handle means the OS thread could not be started (the object is then deleted here).
ThreadHandle StartWindowThread(std::unique_ptr<WindowThread> thread);

// The owner's start, as the system does it: does nothing when a thread is already held. True when a new
// thread was started and is now held.
template <class T, class... A>
bool StartWindowThreadOnce(std::optional<ThreadHandle>& held, A&&... args) {
  if (held) return false;
  ThreadHandle handle = StartWindowThread(std::make_unique<T>(std::forward<A>(args)...));
  if (!handle.IsValid()) return false;
  held.emplace(std::move(handle));
  return true;
}

// The owner's stop, as the system does it: post WM_THREAD_STOP, wait without time-out for the class's
// thread-ended event, then forget the thread. Does nothing when no thread is held.
void StopWindowThread(std::optional<ThreadHandle>& held, Event& ended);

}  // namespace quill
