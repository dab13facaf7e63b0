#include "transport/io_thread.h"

#include <system_error>

#include "platform/timing.h"

namespace quill {

IoThread::~IoThread() {
  // An owner that forgot to stop its thread must not leave it running against freed state; its thread ends
  // on its own stop signal, which every transport's Close gives before the IoThread goes.
  if (thread_.joinable()) {
    if (IsCurrentThread())
      thread_.detach();
    else
      thread_.join();
  }
}

bool IoThread::Start(std::function<void()> body) {
  if (thread_.joinable()) return false;
  auto ended = std::make_shared<Event>(Event::Kind::ManualReset);
  try {
    thread_ = std::thread([body = std::move(body), ended] {
      body();
      ended->Set();
    });
  } catch (const std::system_error&) {
    return false;
  }
  ended_ = std::move(ended);
  return true;
}

bool IoThread::IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }

bool IoThread::WaitForEnd(int ms) {
  if (!thread_.joinable()) return true;
  if (IsCurrentThread()) return false;
  if (!Timing::Current().Wait(*ended_, ms)) return false;
  thread_.join();
  ended_.reset();
  return true;
}

void IoThread::Abandon() {
  if (thread_.joinable()) thread_.detach();
  ended_.reset();
}

}  // namespace quill
