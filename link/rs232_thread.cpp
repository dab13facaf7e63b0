#include "link/rs232_thread.h"

#include "link/link_messages.h"
#include "platform/process_events.h"
#include "transport/serial_port.h"

namespace quill {

void CRs232Window::ShowOutput() {
  rule_.SetTextMode();
  if (!view_) {
    OutputViewSpec spec;
    spec.caption = "Rs232 Output";
    spec.controlId = 1027;
    spec.x = 0;
    spec.y = 0;
    spec.width = 600;
    spec.height = 400;
    spec.editWidth = 594;
    spec.editHeight = 375;
    view_ = ui_.CreateOutputView(spec);
  }
  if (view_) view_->Show();
}

void CRs232Window::OnMessage(Message& m) {
  if (m.message != WM_COMM_DATA) return;  // WM_COMM_FAILED and anything else: ignored
  auto data = m.Take<CommBuffer>();            // released after the rule has run
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
        if (target)
          window_.Rule().SetBulk(target->buffer, target->capacity);
        else
          window_.Rule().SetBulk(nullptr, 0);
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
