#include "platform/message.h"

namespace quill {

bool MessageQueue::Post(Message m) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;  // m and its payload are freed on return
    messages_.push_back(std::move(m));
  }
  ready_.notify_one();
  return true;
}

bool MessageQueue::Get(Message& out) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return closed_ || !messages_.empty(); });
  if (closed_) return false;
  out = std::move(messages_.front());
  messages_.pop_front();
  return true;
}

void MessageQueue::Close() {
  std::deque<Message> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(messages_);
  }
  ready_.notify_all();
  // Payloads are freed here, outside the lock, in case a payload's destructor posts again.
}

bool PostMessage(const Hwnd& window, uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload) {
  auto queue = window.queue.lock();
  if (!queue || window.id == 0) return false;
  Message m;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.payload = std::move(payload);
  m.window = window.id;
  return queue->Post(std::move(m));
}

}  // namespace quill
