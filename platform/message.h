// Posted messages between threads. A message owns its payload: whoever receives it takes the payload, and a
// message that is never delivered (its window or thread is gone, or the queue is closed) frees it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace quill {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// Message numbers that stay fixed across the tool.
constexpr uint32_t WM_THREAD_STOP = 0x501;

struct Payload {
  virtual ~Payload() = default;
};
using PayloadPtr = std::unique_ptr<Payload>;

struct Message {
  uint32_t message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  PayloadPtr payload;   // owned data; lParam carries its address where the receiver expects a pointer
  uint64_t window = 0;  // 0: a thread message

  // Takes the payload as T; empty when there is none or it is of another type.
  template <class T>
  std::unique_ptr<T> Take() {
    if (dynamic_cast<T*>(payload.get()) != nullptr)
      return std::unique_ptr<T>(static_cast<T*>(payload.release()));
    return nullptr;
  }
};

// One thread's message queue. Posting never blocks; Get blocks without spinning. Nothing waits on a queue
// together with a descriptor, so a condition serves where an event would cost one.
class MessageQueue {
 public:
  // False when the queue is closed; the message (and its payload) is then freed.
  bool Post(Message m);
  // Blocks until a message arrives; false once the queue has been closed.
  bool Get(Message& out);
  // Ends the loop that reads the queue and frees every message still pending.
  void Close();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Message> messages_;
  bool closed_ = false;
};

// A window handle: safe to keep and to post to after the window or its thread has gone.
struct Hwnd {
  std::weak_ptr<MessageQueue> queue;
  uint64_t id = 0;

  explicit operator bool() const { return id != 0; }
  friend bool operator==(const Hwnd& a, const Hwnd& b) { return a.id == b.id; }
};

// Posts to a window; false (payload freed) when the window's thread no longer takes messages.
bool PostMessage(const Hwnd& window, uint32_t message, WPARAM wParam, LPARAM lParam,
                 PayloadPtr payload = nullptr);

}  // namespace quill
