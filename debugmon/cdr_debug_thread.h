// The CDR monitor: a window-owning thread whose window "Cdr Debug Output" listens on UDP port 8227 and shows
// the phone's call-detail records as they come. It runs from its start until its owner stops it; the
// window's close box only minimises the view.
#pragma once

#include <cstdint>
#include <optional>

#include "debugmon/cdr_debug_wnd.h"
#include "platform/ui.h"
#include "platform/window_thread.h"

namespace quill {

class CCdrDebugThread : public WindowThread {
 public:
  // listenAddress: network order; 0 listens on every local address, as the tool does. The process-wide
  // events must exist: the object's deletion sets the CDR ended event.
  explicit CCdrDebugThread(Ui& ui, uint32_t listenAddress = 0);

  // The owner's start: nothing when a monitor is held; otherwise a new one, not waited for. True when a new
  // monitor was started.
  static bool Start(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress = 0);
  // The owner's stop: WM_THREAD_STOP, then the CDR ended event (no time-out; the listener's own stop is
  // bounded), then the monitor is forgotten. Nothing when none is held.
  static void Stop(std::optional<ThreadHandle>& held);

 protected:
  bool InitInstance() override;

 private:
  CCdrDebugWnd wnd_;
};

}  // namespace quill
