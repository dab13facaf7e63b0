// The window of a monitor thread: a message target on the monitor's own thread that owns the UDP listener
// and the text view the monitor shows. The view itself lives wherever the Ui puts it (the GUI thread for Qt,
// standard output for the command line); the window only appends to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/window_thread.h"
#include "transport/udp_socket.h"

namespace quill {

constexpr int kUdpDebugPort = 8225;  // the phone's debug text
constexpr int kCdrPort = 8227;       // the phone's call-detail records
// What one datagram may hold for both monitors; the listener cuts a longer one to this.
constexpr int kMonitorReceiveSize = 1400;
constexpr int kMonitorEditId = 1029;

class COutputWnd : public Window {
 public:
  // listenAddress: network order; 0 listens on every local address, as the tool does. onlyFrom: network
  // order; when not 0, datagrams from any other sender are dropped before they are shown, so that one
  // phone's continued pieces are never taken for another's.
  COutputWnd(Ui& ui, std::string caption, int port, uint32_t listenAddress, uint32_t onlyFrom = 0);
  ~COutputWnd() override;

  // The view's geometry and caption: 600 x 400 at (0, 0), the edit 594 x 375.
  OutputViewSpec ViewSpec() const;
  // Datagrams the listener has handed to this window and it has not shown yet; any thread may ask. At
  // most kUdpMaxBlocksHeld, however fast phones send.
  int DatagramsWaiting() const { return socket_.BlocksHeld(); }

 protected:
  bool OnCreate() override;
  void OnDestroy() override;
  void OnMessage(Message& m) override;

  // Called once per creation, before the socket starts: a monitor's per-window state begins afresh.
  virtual void Reset() {}
  // The texts one datagram adds to the view, in order; data is zero-terminated one past length.
  virtual std::vector<std::string> Assemble(uint32_t sender, const uint8_t* data, size_t length) = 0;

 private:
  Ui& ui_;
  std::string caption_;
  int port_;
  uint32_t listenAddress_;
  uint32_t onlyFrom_;
  std::shared_ptr<OutputView> view_;
  CUdpSocket socket_;
};

}  // namespace quill
