#include "debugmon/cdr_debug_wnd.h"

namespace quill {

CCdrDebugWnd::CCdrDebugWnd(Ui& ui, uint32_t listenAddress)
    : COutputWnd(ui, "Cdr Debug Output", kCdrPort, listenAddress) {}

std::vector<std::string> CCdrDebugWnd::Assemble(uint32_t sender, const uint8_t* data, size_t length) {
  return assembler_.Assemble(sender, data, length);
}

}  // namespace quill
