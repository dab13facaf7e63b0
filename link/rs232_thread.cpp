#include "link/rs232_thread.h"

#include "link/link_messages.h"
#include "platform/process_events.h"
#include "transport/serial_port.h"

namespace quill {

void CRs232Window::ShowOutput() {
  rule_.SetTextMode();
  if (!view_) {
    view_ = ui_.CreateOutputView({.caption = "Rs232 Output",
                                  .controlId = 1027,
                                  .x = 0,
                                  .y = 0,
                                  .width = 600,
                                  .height = 400,
                                  .editWidth = 594,
                                  .editHeight = 375});
  }
  if (view_) view_->Show();
}

void CRs232Window::OnMessage(Message& m) {
  if (m.message != WM_COMM_DATA) return;  // WM_COMM_FAILED and anything else: ignored
  auto data = m.Take<CommBuffer>();       // released after the rule has run
  if (!data) return;
  size_t n = std::min<size_t>(m.wParam, std::min<size_t>(data->len, data->capacity()));
  auto result = rule_.Deliver(data->buf(), n);
  if (view_)
    for (auto& piece : result.pieces) view_->Append(std::move(piece));
  for (int i = 0; i < result.signals; ++i)
    if (Events().serialAck) Events().serialAck->Set();
}

CRs232Thread::CRs232Thread(Ui& ui) : WindowThread(Events().serialLinkEnded.get()), window_(ui) {}

bool CRs232Thread::InitInstance() {
  if (!window_.Create()) return false;
  SetMainWindow(&window_);
  if (Events().serialLinkReady) Events().serialLinkReady->Set();
  return true;
}

void CRs232Thread::OnThreadMessage(Message& m) {
  switch (m.message) {
    case WM_RS232_BULK:
      if (m.wParam) {
        auto target = m.Take<ReceiveTarget>();
        window_.Rule().SetBulk(target ? target->buffer : std::span<uint8_t>());
      } else {
        window_.Rule().ClearBulk();
      }
      return;
    case WM_RS232_SHOW:
      window_.ShowOutput();
      return;
    default:
      return;
  }
}

}  // namespace quill
