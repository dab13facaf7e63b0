// The two monitors: window-owning threads whose window listens on a UDP port and shows what phones send
// there, each text after its sender. The debug monitor ("Udp Debug Output", port 8225) decodes the phone's
// debug text; the CDR monitor ("Cdr Debug Output", port 8227) shows call-detail records as they come. They
// differ only in the row below. A monitor runs from its start until its owner stops it; the window's close
// box only minimises the view.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "debugmon/cdr_text_assembler.h"
#include "debugmon/debug_text_assembler.h"
#include "debugmon/output_wnd.h"
#include "platform/process_events.h"
#include "platform/ui.h"
#include "platform/window_thread.h"

namespace quill {

struct UdpDebugMonitor {
  static constexpr std::string_view kCaption = "Udp Debug Output";
  static constexpr int kPort = kUdpDebugPort;
  // Holds the last piece's size from one datagram to the next, for the window's lifetime.
  using Assembler = CDebugTextAssembler;
  static constexpr std::unique_ptr<Event> ProcessEvents::*kEnded = &ProcessEvents::udpDebugEnded;
};

struct CdrMonitor {
  static constexpr std::string_view kCaption = "Cdr Debug Output";
  static constexpr int kPort = kCdrPort;
  using Assembler = CCdrTextAssembler;
  static constexpr std::unique_ptr<Event> ProcessEvents::*kEnded = &ProcessEvents::cdrEnded;
};

// Posts WM_THREAD_STOP and waits for the class's ended event, then forgets the thread. Without the event
// (the process-wide events were never made) the thread's end is awaited directly instead.
void StopMonitorThread(std::optional<ThreadHandle>& held, Event* ended);

template <class Monitor>
class CMonitorWnd : public COutputWnd {
 public:
  // listenAddress: network order; 0 listens on every local address, as the tool does. onlyFrom: network
  // order; not 0: only this sender's datagrams are shown.
  explicit CMonitorWnd(Ui& ui, uint32_t listenAddress = 0, uint32_t onlyFrom = 0)
      : COutputWnd(ui, std::string(Monitor::kCaption), Monitor::kPort, listenAddress, onlyFrom) {}

 protected:
  void Reset() override { assembler_ = {}; }
  std::vector<std::string> Assemble(uint32_t sender, const uint8_t* data, size_t length) override {
    return assembler_.Assemble(sender, data, length);
  }

 private:
  typename Monitor::Assembler assembler_;
};

template <class Monitor>
class CMonitorThread : public WindowThread {
 public:
  // listenAddress: network order; 0 listens on every local address, as the tool does. The process-wide
  // events must exist: the object's deletion sets the monitor's ended event.
  explicit CMonitorThread(Ui& ui, uint32_t listenAddress = 0, uint32_t onlyFrom = 0)
      : WindowThread(Ended()), wnd_(ui, listenAddress, onlyFrom) {}

  // The owner's start: nothing when a monitor is held; otherwise a new one, not waited for. True when a new
  // monitor was started.
  static bool Start(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress = 0) {
    return StartWindowThreadOnce<CMonitorThread>(held, ui, listenAddress);
  }
  // onlyFrom: network order; only this sender's datagrams are shown.
  static bool Start(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress, uint32_t onlyFrom) {
    return StartWindowThreadOnce<CMonitorThread>(held, ui, listenAddress, onlyFrom);
  }
  // The owner's stop: WM_THREAD_STOP, then the monitor's ended event (no time-out; the listener's own stop
  // is bounded), then the monitor is forgotten. Nothing when none is held.
  static void Stop(std::optional<ThreadHandle>& held) { StopMonitorThread(held, Ended()); }

 protected:
  bool InitInstance() override {
    if (!wnd_.Create()) return false;
    SetMainWindow(&wnd_);
    return true;
  }

 private:
  static Event* Ended() { return (Events().*Monitor::kEnded).get(); }

  CMonitorWnd<Monitor> wnd_;
};

// The names the monitors have always had.
using CUdpDebugWnd = CMonitorWnd<UdpDebugMonitor>;
using CCdrDebugWnd = CMonitorWnd<CdrMonitor>;
using CUdpDebugThread = CMonitorThread<UdpDebugMonitor>;
using CCdrDebugThread = CMonitorThread<CdrMonitor>;

}  // namespace quill
