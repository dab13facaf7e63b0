// "Cdr Debug Output": the phone's call-detail records from port 8227, shown as they came after their sender.
#pragma once

#include "debugmon/cdr_text_assembler.h"
#include "debugmon/output_wnd.h"

namespace quill {

class CCdrDebugWnd : public COutputWnd {
 public:
  explicit CCdrDebugWnd(Ui& ui, uint32_t listenAddress = 0);

 protected:
  std::vector<std::string> Assemble(uint32_t sender, const uint8_t* data, size_t length) override;

 private:
  CCdrTextAssembler assembler_;
};

}  // namespace quill
