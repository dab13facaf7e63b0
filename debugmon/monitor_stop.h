// The stop both monitors share.
#pragma once

#include <optional>

#include "platform/event.h"
#include "platform/window_thread.h"

namespace quill {

// Posts WM_THREAD_STOP and waits for the class's ended event, then forgets the thread. Without the event
// (the process-wide events were never made) the thread's end is awaited directly instead.
void StopMonitorThread(std::optional<ThreadHandle>& held, Event* ended);

}  // namespace quill
