#include "debugmon/output_wnd.h"

#include "transport/data_block.h"

namespace quill {

COutputWnd::COutputWnd(Ui& ui, std::string caption, int port, uint32_t listenAddress, uint32_t onlyFrom)
    : ui_(ui),
      caption_(std::move(caption)),
      port_(port),
      listenAddress_(listenAddress),
      onlyFrom_(onlyFrom) {}

COutputWnd::~COutputWnd() {
  // A window still alive here (its thread never destroyed it) must not leave its listener running.
  DestroyWindow();
}

OutputViewSpec COutputWnd::ViewSpec() const {
  return {.caption = caption_,
          .controlId = kMonitorEditId,
          .x = 0,
          .y = 0,
          .width = 600,
          .height = 400,
          .editWidth = 594,
          .editHeight = 375};
}

bool COutputWnd::OnCreate() {
  view_ = ui_.CreateOutputView(ViewSpec());
  if (!view_) return false;
  view_->Show();
  Reset();
  // Not checked: a monitor whose listener cannot start stays open and shows nothing.
  socket_.Enter(GetSafeHwnd(), WM_UDP_DATA, 0, port_, kMonitorReceiveSize, listenAddress_);
  return true;
}

void COutputWnd::OnDestroy() {
  // The view goes first, with everything it showed; then the listener's thread is stopped.
  view_.reset();
  socket_.Leave();
}

void COutputWnd::OnMessage(Message& m) {
  if (m.message != WM_UDP_DATA) return;
  std::unique_ptr<DataBlock> block = m.Take<DataBlock>();
  if (!block || block->capacity() == 0 || !view_) return;
  if (onlyFrom_ != 0 && static_cast<uint32_t>(m.wParam) != onlyFrom_) return;
  // The listener leaves one byte of room after the data for this terminator.
  size_t length = block->len < block->capacity() ? block->len : block->capacity() - 1;
  block->buf()[length] = 0;
  for (std::string& part : Assemble(static_cast<uint32_t>(m.wParam), block->buf(), length))
    view_->Append(std::move(part));
}

}  // namespace quill
