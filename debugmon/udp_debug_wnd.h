// "Udp Debug Output": the phone's debug text from port 8225, every piece decoded and shown after its sender.
#pragma once

#include "debugmon/debug_text_assembler.h"
#include "debugmon/output_wnd.h"

namespace quill {

class CUdpDebugWnd : public COutputWnd {
 public:
  explicit CUdpDebugWnd(Ui& ui, uint32_t listenAddress = 0);

 protected:
  void Reset() override;
  std::vector<std::string> Assemble(uint32_t sender, const uint8_t* data, size_t length) override;

 private:
  // Holds the last piece's size from one datagram to the next, for the window's lifetime.
  CDebugTextAssembler assembler_;
};

}  // namespace quill
