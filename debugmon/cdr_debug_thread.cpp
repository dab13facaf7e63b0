#include "debugmon/cdr_debug_thread.h"

#include "debugmon/monitor_stop.h"
#include "platform/process_events.h"

namespace quill {

CCdrDebugThread::CCdrDebugThread(Ui& ui, uint32_t listenAddress)
    : WindowThread(Events().cdrEnded.get()), wnd_(ui, listenAddress) {}

bool CCdrDebugThread::Start(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress) {
  return StartWindowThreadOnce<CCdrDebugThread>(held, ui, listenAddress);
}

void CCdrDebugThread::Stop(std::optional<ThreadHandle>& held) {
  StopMonitorThread(held, Events().cdrEnded.get());
}

bool CCdrDebugThread::InitInstance() {
  if (!wnd_.Create()) return false;
  SetMainWindow(&wnd_);
  return true;
}

}  // namespace quill
