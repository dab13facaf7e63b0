#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/debug_log.h"
#include "platform/event.h"
#include "transport/descriptor.h"
#include "transport/net_helpers.h"
#include "transport/output_queue.h"
#include "transport/sync.h"
#include "transport/tcp_socket.h"
#include "transport/winsock.h"

namespace quill {
namespace {

constexpr int kStopLimitMs = 3000;
constexpr auto kForever = std::chrono::microseconds::max();

// Failures that Windows reports through the connect completion rather than from the connect call itself.
// Linux may know some of them at once (no route, say); they still reach the owner as WM_SOCKET_CONNECT, so
// the owner logs the same line on either system.
bool IsConnectOutcome(int err) {
  switch (err) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENETDOWN:
      return true;
    default:
      return false;
  }
}

// A reset or abort by the peer is the close event with an error code: the connection is over.
bool IsAbortedConnection(int err) {
  return err == ECONNRESET || err == ECONNABORTED || err == ETIMEDOUT || err == EPIPE || err == EHOSTUNREACH;
}

// What the connect watcher may find when it looks: a connection refused or never made fails the connect;
// a reset can only end a connection that was made (the phone accepted it, then reset it at once), so the
// connect succeeded and the reset is the connection's end, which the I/O thread reports after whatever the
// phone sent before it.
bool IsResetAfterConnect(int err) {
  return err == ECONNRESET || err == EPIPE;
}

// The line for a connection that ended with err: the close event with an error code, or a failed receive.
void LogEnding(int err) {
  if (err == ENETDOWN)
    OutputDebugString("Error in FD_READ\n");
  else if (IsAbortedConnection(err))
    OutputDebugString("Socket aborted\n");
  else
    OutputDebugString("The remote party has reset the connection or other err\n");
}

}  // namespace

// Everything the connect watcher and the I/O thread touch. They hold it by shared_ptr, so a thread that is
// given up after its stop limit never reaches freed memory; the socket is closed when the last holder goes.
struct CTcpSocket::Link {
  Descriptor socket;
  Hwnd owner;
  uint32_t peer = 0;
  int connectError = 0;  // a connect outcome known at once (WinSock code), posted by the watcher at once
  // The reset the connect watcher took from the socket (errno), for the I/O thread to report as the end of
  // the connection. Written by the watcher before it ends; the I/O thread starts after it was joined.
  int resetSeenAtConnect = 0;
  Event output{Event::Kind::AutoReset};         // blocks queued, or the socket became writable
  Event hangup{Event::Kind::ManualReset};       // stays set until the link goes
  Event connectSeen{Event::Kind::ManualReset};  // the owner has its reply: the watcher has nothing to do
  Event joined{Event::Kind::ManualReset};       // the join is logged: the I/O thread's lines may follow
  std::shared_ptr<CCriticalSection> lock;       // the transport's one lock, which guards queue
  COutputQueue<DataBlock> queue;
  int canWrite = 0;  // written and read by the I/O thread only
  CTcpSocket::SendCall send = ::send;
};

CTcpSocket::CTcpSocket() : lock_(std::make_shared<CCriticalSection>()) {}

CTcpSocket::~CTcpSocket() {
  Close();
}

std::shared_ptr<CTcpSocket::Link> CTcpSocket::CurrentLink() const {
  CSingleLock lock(lock_.get(), true);
  return link_;
}

bool CTcpSocket::Call(uint32_t peerNetworkOrder, Hwnd owner, int port) {
  if (CurrentLink() || thread_.Exists()) Close();  // a new call starts from idle

  auto link = std::make_shared<Link>();
  link->lock = lock_;
  link->owner = std::move(owner);
  if (sendCall_) link->send = sendCall_;
  uint16_t peerPort = static_cast<uint16_t>(port == 0 ? kLoaderPort : port);
  if (!link->output.IsValid() || !link->hangup.IsValid() || !link->connectSeen.IsValid() ||
      !link->joined.IsValid()) {
    OutputDebugString("CreateEvent fail in Prepare connection data\n");
    Close();
    return false;
  }
  {
    CSingleLock lock(lock_.get(), true);
    link_ = link;
  }

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    OutputDebugString("Could not open a socket in Call\n");
    Close();
    return false;
  }
  link->socket.Reset(fd);
  socket_ = fd;
  // Blocks are small and each waits for its answer: under Nagle and delayed acknowledgement a block that
  // went out in two pieces would stall for tens of milliseconds.
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(peerPort);
  address.sin_addr.s_addr = peerNetworkOrder;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    OutputDebugString("WSAConnect should have returned SOCKET_ERROR\n");
    Close();
    return false;
  }
  int err = errno;
  if (err != EINPROGRESS) {
    if (!IsConnectOutcome(err)) {
      OutputDebugString("WSAConnect failed\n");
      Close();
      return false;
    }
    link->connectError = WinSockErrorFromErrno(err);
  }

  link->peer = peerNetworkOrder;
  peer_ = peerNetworkOrder;
  peerName_ = AddressToString(peerNetworkOrder);
  // Logged before the watcher looks, so that the line always comes before anything the watcher leads to.
  OutputDebugString("Calling " + peerName_ + "\n");
  // Windows posts the connect completion itself; here a watcher thread waits for it and posts it.
  if (!thread_.Start([link] { WatchConnect(link); })) {
    OutputDebugString("CreateThread() failed in Call()\n");
    Close();
    return false;
  }
  return true;
}

void CTcpSocket::WatchConnect(const std::shared_ptr<Link>& link) {
  int fd = link->socket.Get();
  int error = link->connectError;
  if (error == 0) {
    Waitable items[] = {Waitable(fd, POLLOUT), Waitable(link->hangup), Waitable(link->connectSeen)};
    // A hang-up, or an owner that already has its reply, ends the watch with nothing posted.
    if (WaitAny(items, kForever) != 0) return;
    int err = 0;
    socklen_t length = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
    if (IsResetAfterConnect(err)) {
      // Reading the error cleared it from the socket: it is kept for the I/O thread.
      link->resetSeenAtConnect = err;
      err = 0;
    }
    error = WinSockErrorFromErrno(err);
  }
  PostMessage(link->owner, WM_SOCKET_CONNECT, static_cast<WPARAM>(fd), WSAMAKESELECTREPLY(FD_CONNECT, error));
}

uint32_t CTcpSocket::OnConnect(LPARAM reply) {
  auto link = CurrentLink();
  if (!link) return 0;
  int error = WSAGETSELECTERROR(reply);
  if (error != 0) {
    OutputDebugString(peerName_ + (error == WSAECONNREFUSED ? " 处没有应用程序应答\n" : " 没有在网络上\n"));
    Close();
    return 0;
  }
  if (link->connectSeen.TryWait()) return peer_;  // connected already: a repeated reply changes nothing

  // The watcher has posted this reply and is ending, or it is told now that it need not wait any longer.
  link->connectSeen.Set();
  thread_.WaitForEnd(kInfinite);
  if (!thread_.Start([link] { RunIoThread(link); })) {
    OutputDebugString("CreateThread() failed in OnConnect()\n");
    Close();
    return 0;
  }
  OutputDebugString(peerName_ + " joined the meeting\n");
  link->joined.Set();
  return peer_;
}

void CTcpSocket::RunIoThread(const std::shared_ptr<Link>& link) {
  int fd = link->socket.Get();
  // Starts once the owner has logged the join, so that the end of a connection the phone reset at once is
  // logged after it.
  Waitable start[] = {Waitable(link->joined), Waitable(link->hangup)};
  WaitAny(start, kForever);
  for (;;) {
    // The hang-up comes first in the wait, so that a peer that never stops sending cannot keep it waiting;
    // the one wait both looks for it and sleeps (a round trip per block passes here twice).
    // Write readiness is asked for only while the socket is known not to take more: like the network
    // event it stands for, it then reports once, when room has come.
    short interest = POLLIN | POLLRDHUP | (link->canWrite ? 0 : POLLOUT);
    Waitable items[] = {Waitable(link->hangup), Waitable(fd, interest), Waitable(link->output)};
    int index = WaitAny(items, kForever);
    if (index == 1) {
      if (HandleNetworkEvent(*link, items[1].revents)) continue;
    } else if (index == 2) {
      if (HandleOutputEvent(*link)) continue;
    } else if (index == 0) {
      OutputDebugString("Hangup by myself\n");
    } else if (index == kWaitFailed) {
      OutputDebugString("WSAWaitForMultipleEvents() failed\n");
    } else {
      OutputDebugString("Unknown error in WSAWaitForMultipleEvents()\n");
    }
    break;
  }
  PostMessage(link->owner, WM_SOCKET_CLOSED, static_cast<WPARAM>(fd), static_cast<LPARAM>(link->peer));
}

bool CTcpSocket::HandleNetworkEvent(Link& link, short revents) {
  int fd = link.socket.Get();
  // Read, then write, then close, in one pass. An ending connection (closed, reset or failed) shows as
  // readable, and the receive gives what the phone sent before the ending first, the ending itself only
  // after that: an answer that left just before a reset reaches the owner before the connection's end.
  if (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) {
    auto block = DataBlock::Allocate(kTcpBlockSize);
    if (!block) {
      OutputDebugString("malloc failed in CTcpSocket::HandleNetworkEvent()\n");
      return false;
    }
    ssize_t n = ::recv(fd, block->buf(), kTcpReceiveSize, MSG_DONTWAIT);
    int err = n < 0 ? errno : 0;
    if (n > 0) {
      block->len = static_cast<uint32_t>(n);
      DataBlock* address = block.get();
      PostMessage(link.owner, WM_SOCKET_DATA, static_cast<WPARAM>(fd), reinterpret_cast<LPARAM>(address),
                  std::move(block));
      // One receive per read event; an ending behind the data shows again on the next round.
    } else if (n == 0) {
      // Everything the phone sent has been delivered. A reset that the connect watcher already found
      // (accepted, then reset at once) is this ending.
      if (link.resetSeenAtConnect != 0) LogEnding(link.resetSeenAtConnect);
      return false;  // an orderly close ends the thread quietly
    } else if (err == EAGAIN || err == EINTR) {
      // Nothing to read after all (every block the owner gets carries bytes actually received); an error
      // reported without data is taken from the socket, so that it cannot wake the thread for ever.
      if (revents & POLLERR) {
        err = 0;
        socklen_t length = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
        if (err != 0) {
          LogEnding(err);
          return false;
        }
      }
    } else {
      LogEnding(err);
      return false;
    }
  }

  if ((revents & POLLOUT) && !link.canWrite) {
    link.canWrite = 1;
    link.output.Set();
  }
  return true;
}

bool CTcpSocket::HandleOutputEvent(Link& link) {
  int fd = link.socket.Get();
  bool result = true;
  while (link.canWrite) {
    std::unique_ptr<DataBlock> block;
    {
      CSingleLock lock(link.lock.get(), true);
      block = link.queue.PopFront();
    }
    if (!block) break;
    // Each block goes out in one send; the lock is not held across it.
    ssize_t n = link.send(fd, block->buf(), block->len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (errno == EAGAIN) link.canWrite = 0;
      CSingleLock lock(link.lock.get(), true);
      link.queue.PushFront(std::move(block));  // goes first next time: the order is kept
    } else if (n < 0) {
      link.canWrite = 0;
      OutputDebugString("Unexpected error with WSASend\n");
      result = false;
    } else if (static_cast<size_t>(n) < block->len) {
      OutputDebugString("Not all data sent out in CTcpSocket::HandleOutputEvent()!\n");
      // The rest stays at the head and goes out when the socket takes more; dropping it would leave the
      // phone waiting for bytes that never come.
      size_t rest = block->len - static_cast<size_t>(n);
      std::memmove(block->buf(), block->buf() + n, rest);
      block->len = static_cast<uint32_t>(rest);
      link.canWrite = 0;
      CSingleLock lock(link.lock.get(), true);
      link.queue.PushFront(std::move(block));
    }
  }
  return result;
}

bool CTcpSocket::Write(const uint8_t* data, size_t length) {
  auto link = CurrentLink();
  if (!link) return false;  // no Call has prepared the connection
  if (length > kTcpBlockSize) {
    OutputDebugString("Block longer than 180 bytes refused in CTcpSocket::Write\n");
    return false;
  }
  auto block = DataBlock::Allocate(kTcpBlockSize);
  if (!block) {
    OutputDebugString("malloc failed in CTcpSocket::Write\n");
    return false;
  }
  if (length > 0) std::memcpy(block->buf(), data, length);
  block->len = static_cast<uint32_t>(length);
  {
    CSingleLock lock(lock_.get(), true);
    if (link_ != link) return false;  // closed meanwhile: the block goes with this call
    link->queue.PushBack(std::move(block));
  }
  link->output.Set();
  return true;
}

void CTcpSocket::Hangup() {
  if (auto link = CurrentLink()) link->hangup.Set();
}

void CTcpSocket::Close() {
  std::shared_ptr<Link> link;
  {
    CSingleLock lock(lock_.get(), true);
    link.swap(link_);
  }
  bool givenUp = false;
  if (thread_.Exists()) {
    // The thread waits on the hang-up event, so it ends at once; only then may what it waits on go.
    if (link) link->hangup.Set();
    if (!thread_.WaitForEnd(kStopLimitMs)) {
      thread_.Abandon();
      givenUp = true;
    }
  }
  if (link) {
    {
      CSingleLock lock(lock_.get(), true);
      link->queue.Clear();
    }
    if (givenUp)
      link->socket.Neutralise();
    else
      link->socket.Close();
  }
  socket_ = -1;
}

}  // namespace quill
