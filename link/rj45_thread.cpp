#include "link/rj45_thread.h"

#include "platform/process_events.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

void SignalTcpAck() {
  if (Events().tcpAck) Events().tcpAck->Set();
}

}  // namespace

bool CRj45Window::OnCreate() {
  socket_.Call(HostToNetworkAddress(peer_), GetSafeHwnd(), kLoaderPort);
  return true;
}

void CRj45Window::OnMessage(Message& m) {
  const bool own = static_cast<int>(m.wParam) == socket_.GetSocket() && socket_.GetSocket() >= 0;
  switch (m.message) {
    case WM_SOCKET_CONNECT:
      if (!own) return;
      if (socket_.OnConnect(m.lParam))
        SignalTcpAck();
      else
        socket_.Close();
      return;
    case WM_SOCKET_DATA: {
      auto block = m.Take<DataBlock>();  // released on every path
      if (!own || !block) return;
      int acks = rule_.Deliver(block->buf(), std::min<size_t>(block->len, block->capacity()));
      for (int i = 0; i < acks; ++i) SignalTcpAck();
      return;
    }
    case WM_SOCKET_CLOSED:
      if (own) socket_.Close();
      return;
    default:
      return;
  }
}

CRj45Thread::CRj45Thread(uint32_t peer) : WindowThread(Events().tcpLinkEnded.get()), window_(peer) {}

bool CRj45Thread::InitInstance() {
  if (!window_.Create()) return false;
  SetMainWindow(&window_);
  return true;
}

void CRj45Thread::OnThreadMessage(Message& m) {
  switch (m.message) {
    case WM_RJ45_SEND: {
      size_t n = std::min<size_t>(m.wParam, kLinkBlock);
      if (m.lParam) window_.Socket().Write(reinterpret_cast<const uint8_t*>(m.lParam), n);
      return;
    }
    case WM_RJ45_SEND_BYTE: {
      uint8_t byte = static_cast<uint8_t>(m.wParam & 0xFF);
      window_.Socket().Write(&byte, 1);
      return;
    }
    case WM_RJ45_RECEIVE:
      if (m.wParam) {
        auto target = m.Take<ReceiveTarget>();
        window_.Rule().SetReceive(target ? target->buffer : std::span<uint8_t>());
      } else {
        window_.Rule().ClearReceive();
      }
      return;
    default:
      return;
  }
}

}  // namespace quill
