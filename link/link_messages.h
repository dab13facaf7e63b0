// Thread messages the main window posts to the link threads (their numbers follow WM_THREAD_STOP).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "platform/message.h"

namespace quill {

// CRj45Thread
constexpr uint32_t WM_RJ45_SEND = 0x502;       // wParam: byte count (at most 128), lParam: the bytes
constexpr uint32_t WM_RJ45_SEND_BYTE = 0x503;  // wParam: the byte in its low 8 bits
constexpr uint32_t WM_RJ45_RECEIVE = 0x504;    // wParam: nonzero on, 0 off; payload: the receive buffer
// CRs232Thread
constexpr uint32_t WM_RS232_BULK = 0x502;  // wParam: nonzero on, 0 off; payload: the bulk buffer
constexpr uint32_t WM_RS232_SHOW = 0x503;  // show the "Rs232 Output" window in text mode

// A caller's buffer that the link thread fills while the caller waits, posted as the payload of the
// request. Its size travels with it, so however much a phone sends, nothing is written past the buffer.
struct ReceiveTarget : Payload {
  explicit ReceiveTarget(std::span<uint8_t> b) : buffer(b) {}
  std::span<uint8_t> buffer;
};

// Raised when the message that carries it goes: once the link thread has handled it, or when it is dropped
// undelivered. A sender that waits for it knows the thread is done with whatever the messages before it
// handed over. A mutex and a condition, so that what the thread wrote before is visible to the sender.
class HandledFlag {
 public:
  void Raise() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      raised_ = true;
    }
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return raised_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
};

struct HandledSignal : Payload {
  explicit HandledSignal(std::shared_ptr<HandledFlag> f) : flag(std::move(f)) {}
  ~HandledSignal() override { flag->Raise(); }
  std::shared_ptr<HandledFlag> flag;
};

constexpr size_t kLinkBlock = 128;  // data blocks and read answers over TCP

}  // namespace quill
