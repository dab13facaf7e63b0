// A datagram listener bound to a local port, with an I/O thread of its own that hands every datagram it
// receives to an owner window as a posted message. The monitors listen on all local addresses for what
// phones send to ports 8225 and 8227. Diagnostics go to the debug log only; the owner learns nothing of a
// socket that could not be opened or of a thread that ended: it simply receives no more data.
//
// The listener sends nothing, so it keeps no output queue: its thread waits on the socket and its stop.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/message.h"
#include "transport/data_block.h"
#include "transport/io_thread.h"

namespace quill {

// wParam: the sender's IPv4 address, network order; lParam: the DataBlock (payload) holding the datagram.
constexpr uint32_t WM_UDP_DATA = 0x60A;

// The socket's receive buffer holds a burst of this many datagrams of this size while the thread catches up.
constexpr int kUdpBurstDatagrams = 10000;
constexpr int kUdpBurstDatagramSize = 100;
// The most datagrams handed to the owner and not yet released by it. Beyond that the socket is not read:
// a flood faster than the owner can show waits in the socket's receive buffer, where the system drops what
// does not fit, instead of filling the owner's queue without limit.
constexpr int kUdpMaxBlocksHeld = kUdpBurstDatagrams;

struct UdpBlockCredit;

class CUdpSocket {
 public:
  CUdpSocket();
  virtual ~CUdpSocket();
  CUdpSocket(const CUdpSocket&) = delete;
  CUdpSocket& operator=(const CUdpSocket&) = delete;

  // Starts the I/O thread, which opens the socket on port and posts message to owner for each datagram
  // accepted; each block has room for size bytes and one more. Without a peer (0) the socket listens on
  // bindAddress (network order; 0 = every local address) with broadcast allowed; with a peer it binds to
  // the local host's address. True when the thread runs.
  bool Enter(Hwnd owner, uint32_t message, uint32_t peerNetworkOrder, int port, int size,
             uint32_t bindAddressNetworkOrder = 0);
  // Stops the thread (at most 3000 ms of the system's time, then it is given up and its socket closed) and
  // releases everything. Returns at once when the thread has already ended.
  void Leave();

  // Datagrams posted to the owner that it has not released yet; any thread may ask.
  int BlocksHeld() const;

 private:
  struct Listener;
  static void RunIoThread(const std::shared_ptr<Listener>& listener);
  static bool OpenSocket(Listener& listener);
  static bool HandleNetworkEvent(Listener& listener, short revents);
  static int ReadData(Listener& listener);

  IoThread thread_;
  std::shared_ptr<Listener> listener_;
  const std::shared_ptr<UdpBlockCredit> credit_;
};

}  // namespace quill
