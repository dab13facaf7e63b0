// A transport's output queue: first in, first out, with put-back at the head so that a block a send could
// not take goes out first next time. Not locked itself: the transport guards it with its CSingleLock.
#pragma once

#include <deque>
#include <memory>

namespace quill {

template <class T>
class COutputQueue {
 public:
  bool IsEmpty() const { return items_.empty(); }
  void PushBack(std::unique_ptr<T> item) { items_.push_back(std::move(item)); }
  void PushFront(std::unique_ptr<T> item) { items_.push_front(std::move(item)); }
  std::unique_ptr<T> PopFront() {
    if (items_.empty()) return nullptr;
    auto item = std::move(items_.front());
    items_.pop_front();
    return item;
  }
  void Clear() { items_.clear(); }

 private:
  std::deque<std::unique_ptr<T>> items_;
};

}  // namespace quill
