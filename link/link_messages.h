// Thread messages the main window posts to the link threads (their numbers follow WM_THREAD_STOP).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/event.h"
#include "platform/message.h"

namespace quill {

// CRj45Thread
constexpr uint32_t WM_RJ45_SEND = 0x502;       // wParam: byte count (at most 128), lParam: the bytes
constexpr uint32_t WM_RJ45_SEND_BYTE = 0x503;  // wParam: the byte in its low 8 bits
constexpr uint32_t WM_RJ45_RECEIVE = 0x504;    // wParam: nonzero on, 0 off; payload: the receive buffer
// CRs232Thread
constexpr uint32_t WM_RS232_BULK = 0x502;  // wParam: nonzero on, 0 off; payload: the bulk buffer
constexpr uint32_t WM_RS232_SHOW = 0x503;  // show the "Rs232 Output" window in text mode

// A caller's buffer that the link thread fills while the caller waits. Its capacity travels with it, so
// however much a phone sends, nothing is written past the buffer.
struct ReceiveTarget : Payload {
  ReceiveTarget(uint8_t* b, size_t c) : buffer(b), capacity(c) {}
  uint8_t* buffer;
  size_t capacity;
};

// Sets its event when it goes: once the link thread has handled the message that carries it, or when the
// message is dropped undelivered. A sender that waits on the event knows the thread is done with whatever
// the messages before it handed over.
struct HandledSignal : Payload {
  explicit HandledSignal(std::shared_ptr<Event> e) : event(std::move(e)) {}
  ~HandledSignal() override {
    if (event) event->Set();
  }
  std::shared_ptr<Event> event;
};

constexpr size_t kLinkBlock = 128;  // data blocks and read answers over TCP

}  // namespace quill
