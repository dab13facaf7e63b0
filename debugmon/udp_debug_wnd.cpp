#include "debugmon/udp_debug_wnd.h"

namespace quill {

CUdpDebugWnd::CUdpDebugWnd(Ui& ui, uint32_t listenAddress)
    : COutputWnd(ui, "Udp Debug Output", kUdpDebugPort, listenAddress) {}

void CUdpDebugWnd::Reset() {
  assembler_ = CDebugTextAssembler();
}

std::vector<std::string> CUdpDebugWnd::Assemble(uint32_t sender, const uint8_t* data, size_t length) {
  return assembler_.Assemble(sender, data, length);
}

}  // namespace quill
