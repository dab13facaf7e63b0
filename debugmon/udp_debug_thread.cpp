#include "debugmon/udp_debug_thread.h"

#include "debugmon/monitor_stop.h"
#include "platform/process_events.h"

namespace quill {

CUdpDebugThread::CUdpDebugThread(Ui& ui, uint32_t listenAddress)
    : WindowThread(Events().udpDebugEnded.get()), wnd_(ui, listenAddress) {}

bool CUdpDebugThread::Start(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress) {
  return StartWindowThreadOnce<CUdpDebugThread>(held, ui, listenAddress);
}

void CUdpDebugThread::Stop(std::optional<ThreadHandle>& held) {
  StopMonitorThread(held, Events().udpDebugEnded.get());
}

bool CUdpDebugThread::InitInstance() {
  if (!wnd_.Create()) return false;
  SetMainWindow(&wnd_);
  return true;
}

}  // namespace quill
