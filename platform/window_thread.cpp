#include "platform/window_thread.h"

#include <system_error>

namespace quill {
namespace {

thread_local WindowThread* t_current = nullptr;
std::atomic<uint64_t> g_nextWindowId{1};

}  // namespace

Window::~Window() {
  // A window still registered when its object goes would leave a dangling entry: unregister it. Derived
  // classes destroy themselves (running their OnDestroy) before they are destructed.
  if (id_ != 0 && thread_) {
    thread_->windows_.erase(id_);
    if (thread_->main_ == this) thread_->main_ = nullptr;
  }
}

bool Window::Create() {
  WindowThread* thread = WindowThread::Current();
  if (!thread || id_ != 0) return false;
  thread_ = thread;
  id_ = g_nextWindowId.fetch_add(1);
  hwnd_.queue = thread->state_->queue;
  hwnd_.id = id_;
  thread->windows_[id_] = this;
  if (!OnCreate()) {
    thread->windows_.erase(id_);
    id_ = 0;
    hwnd_ = Hwnd{};
    thread_ = nullptr;
    return false;
  }
  return true;
}

void Window::DestroyWindow() {
  if (id_ == 0) return;
  OnDestroy();
  WindowThread* thread = thread_;
  thread->windows_.erase(id_);
  id_ = 0;
  if (thread->main_ == this) {
    thread->main_ = nullptr;
    thread->state_->queue->Close();  // the main window is gone: the thread's loop ends
  }
}

WindowThread::WindowThread(Event* ended) : ended_(ended) {}

WindowThread::~WindowThread() = default;

WindowThread* WindowThread::Current() { return t_current; }

void WindowThread::SetMainWindow(Window* window) {
  main_ = window;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->mainWindow = window ? window->GetSafeHwnd() : Hwnd{};
}

void WindowThread::Dispatch(Message& m) {
  if (m.window == 0) {
    if (m.message == WM_THREAD_STOP) {
      if (main_)
        main_->DestroyWindow();
      else
        state_->queue->Close();
    } else {
      OnThreadMessage(m);
    }
    return;
  }
  auto it = windows_.find(m.window);
  if (it != windows_.end()) it->second->OnMessage(m);
  // A message for a window that is gone is dropped here; its payload is freed with it.
}

void WindowThread::Run() {
  t_current = this;
  auto state = state_;
  if (InitInstance()) {
    Message m;
    while (state->queue->Get(m)) {
      Dispatch(m);
      m = Message{};
    }
  }
  ExitInstance();
  Event* ended = ended_;
  delete this;
  state->queue->Close();
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->mainWindow = Hwnd{};
  }
  t_current = nullptr;
  if (ended) ended->Set();
}

ThreadHandle& ThreadHandle::operator=(ThreadHandle&& other) noexcept {
  if (this != &other) {
    if (thread_.joinable()) {
      PostThreadMessage(WM_THREAD_STOP, 0, 0);
      thread_.join();
    }
    state_ = std::move(other.state_);
    thread_ = std::move(other.thread_);
  }
  return *this;
}

ThreadHandle::~ThreadHandle() {
  if (thread_.joinable()) {
    PostThreadMessage(WM_THREAD_STOP, 0, 0);
    thread_.join();
  }
}

bool ThreadHandle::PostThreadMessage(uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload) const {
  if (!state_) return false;
  Message m;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.payload = std::move(payload);
  return state_->queue->Post(std::move(m));
}

Hwnd ThreadHandle::MainWindow() const {
  if (!state_) return {};
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->mainWindow;
}

void ThreadHandle::Join() {
  if (thread_.joinable()) thread_.join();
}

ThreadHandle StartWindowThread(std::unique_ptr<WindowThread> thread) {
  ThreadHandle handle;
  handle.state_ = thread->state_;
  WindowThread* raw = thread.get();
  try {
    handle.thread_ = std::thread([raw] { raw->Run(); });
  } catch (const std::system_error&) {
    return ThreadHandle{};  // thread (the object) is deleted on return
  }
  static_cast<void>(thread.release());  // the thread owns it now
  return handle;
}

void StopWindowThread(std::optional<ThreadHandle>& held, Event& ended) {
  if (!held) return;
  held->PostThreadMessage(WM_THREAD_STOP, 0, 0);
  ended.Wait(kInfinite);
  held->Join();
  held.reset();
}

}  // namespace quill
