#include "platform/message.h"

namespace quill {

MessageQueue::MessageQueue() = default;

bool MessageQueue::Post(Message m) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;  // m and its payload are freed on return
  messages_.push_back(std::move(m));
  ready_.Set();
  return true;
}

bool MessageQueue::Get(Message& out) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return false;
      if (!messages_.empty()) {
        out = std::move(messages_.front());
        messages_.pop_front();
        if (messages_.empty()) ready_.Reset();
        return true;
      }
    }
    ready_.Wait(kInfinite);
  }
}

bool MessageQueue::Peek(Message& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || messages_.empty()) return false;
  out = std::move(messages_.front());
  messages_.pop_front();
  if (messages_.empty()) ready_.Reset();
  return true;
}

void MessageQueue::Close() {
  std::deque<Message> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(messages_);
    ready_.Set();
  }
  // Payloads are freed here, outside the lock, in case a payload's destructor posts again.
}

bool MessageQueue::IsClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

size_t MessageQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
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
