#include "debugmon/monitor_thread.h"

namespace quill {

void StopMonitorThread(std::optional<ThreadHandle>& held, Event* ended) {
  if (!held) return;
  if (ended) {
    StopWindowThread(held, *ended);
    return;
  }
  held->PostThreadMessage(WM_THREAD_STOP, 0, 0);
  held->Join();
  held.reset();
}

}  // namespace quill
