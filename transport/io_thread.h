// The transports' I/O threads. A stop always wakes them (they wait on their stop event together with their
// descriptor), so the owner joins them within its limit. POSIX has no safe forced termination: a thread
// that has still not ended when the limit passes is given up (detached) after its owner has closed the
// descriptor it may block on; everything such a thread touches lives in state it shares by shared_ptr.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/event.h"

namespace quill {

class IoThread {
 public:
  IoThread() = default;
  ~IoThread();
  IoThread(const IoThread&) = delete;
  IoThread& operator=(const IoThread&) = delete;

  // Starts body on a new thread; false when the OS refuses a thread.
  bool Start(std::function<void()> body);
  bool Exists() const { return thread_.joinable(); }
  bool IsCurrentThread() const;
  // Waits up to ms of the system's time (timing seam) for the thread to end; true once it has ended and
  // been joined. kInfinite waits for ever.
  bool WaitForEnd(int ms);
  // Gives the thread up: it is detached and ends by itself later (its owner has closed its descriptor).
  void Abandon();

 private:
  std::thread thread_;
  std::shared_ptr<Event> ended_;
};

}  // namespace quill
