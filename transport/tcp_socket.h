// The client end of the network maintenance link: one outgoing TCP connection to a phone's loader. It
// connects asynchronously and then runs an I/O thread of its own; everything it receives, and the end of
// the connection, reaches the owner window as posted messages. Diagnostics go to the debug log only.
//
// The owner drives it from its own thread: Call when its window is created, OnConnect on WM_SOCKET_CONNECT
// for its own socket (Close when that returns 0), Close on WM_SOCKET_CLOSED for its own socket, Hangup when
// its window is destroyed; the destructor closes whatever is still open. Write may come from any thread.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/message.h"
#include "transport/data_block.h"
#include "transport/io_thread.h"
#include "transport/sync.h"

namespace quill {

// wParam of every message is the socket descriptor (GetSocket()).
constexpr uint32_t WM_SOCKET_CONNECT = 0x601;  // lParam: WSAMAKESELECTREPLY(FD_CONNECT, WinSock error)
constexpr uint32_t WM_SOCKET_DATA = 0x602;     // lParam: the DataBlock (payload) holding the bytes received
constexpr uint32_t WM_SOCKET_CLOSED = 0x603;   // lParam: the peer address, network order

constexpr int kLoaderPort = 8739;      // the phone's maintenance loader
constexpr size_t kTcpBlockSize = 180;  // every block's buffer, sent or received
constexpr size_t kTcpReceiveSize =
    179;  // one receive fills at most this, leaving room for a terminating zero

class CTcpSocket {
 public:
  CTcpSocket();
  virtual ~CTcpSocket();
  CTcpSocket(const CTcpSocket&) = delete;
  CTcpSocket& operator=(const CTcpSocket&) = delete;

  // Starts connecting to peer (network order) on port (0 means 8739); the outcome reaches owner as
  // WM_SOCKET_CONNECT. True when the connect is under way.
  bool Call(uint32_t peerNetworkOrder, Hwnd owner, int port = 0);
  // The owner's answer to WM_SOCKET_CONNECT: starts the I/O thread on success and returns the peer
  // address; 0 on failure (the object is then closed).
  uint32_t OnConnect(LPARAM reply);
  // Queues one block of at most 180 bytes; false before any Call, for a longer block, or out of memory.
  bool Write(const uint8_t* data, size_t length);
  // Asks the I/O thread (or a connect still under way) to end; it posts WM_SOCKET_CLOSED if it ran.
  void Hangup();
  // Ends the I/O thread (it has always ended when Close returns), releases queued blocks and the socket.
  void Close();
  int GetSocket() const { return socket_; }

 protected:
  // The one call that puts a block on the wire, ::send with MSG_NOSIGNAL | MSG_DONTWAIT. Tests replace it
  // to produce the short sends that a loopback connection seldom makes; it applies from the next Call.
  using SendCall = ssize_t (*)(int fd, const void* data, size_t length, int flags);
  void SetSendCall(SendCall call) { sendCall_ = call; }

 private:
  struct Link;
  static void WatchConnect(const std::shared_ptr<Link>& link);
  static void RunIoThread(const std::shared_ptr<Link>& link);
  static bool HandleNetworkEvent(Link& link, short revents);
  static bool HandleOutputEvent(Link& link);
  std::shared_ptr<Link> CurrentLink() const;

  SendCall sendCall_ = nullptr;
  int socket_ = -1;  // the owner's copy, for GetSocket and the messages' wParam
  uint32_t peer_ = 0;
  std::string peerName_;
  IoThread thread_;  // the connect watcher while connecting, then the I/O thread
  // The one critical section of this transport: it guards the output queue, and which link's queue is the
  // current one, so that Write from another thread meets Close safely. Never held across a wait or a
  // device call. Each link shares it, so a thread given up after its stop limit can still take it.
  const std::shared_ptr<CCriticalSection> lock_;
  std::shared_ptr<Link> link_;  // under lock_: everything the thread touches; a thread given up keeps it
};

}  // namespace quill
