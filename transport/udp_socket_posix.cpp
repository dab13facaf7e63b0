#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <string>
#include <utility>

#include "platform/debug_log.h"
#include "platform/event.h"
#include "transport/descriptor.h"
#include "transport/net_helpers.h"
#include "transport/sync.h"
#include "transport/udp_socket.h"

namespace quill {
namespace {

constexpr int kStopLimitMs = 3000;
constexpr auto kForever = std::chrono::microseconds::max();

// The kernel charges each queued datagram at its allocation size, several hundred bytes for a small one,
// and doubles the request for that bookkeeping: 512 bytes asked per datagram leaves room for the burst.
constexpr int kReceiveBufferRequest = kUdpBurstDatagrams * 512;

void SetReceiveBuffer(int fd) {
  int bytes = kReceiveBufferRequest;
  // Beyond the system's limit only with the privilege for it; otherwise as much as the limit allows.
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

}  // namespace

// The count of blocks the owner holds, shared by the socket, its I/O thread and every block it posted.
struct UdpBlockCredit {
  std::atomic<int> held{0};
  Event released;  // set when the count falls below the limit again
};

namespace {

// A datagram's block that gives its credit back when the owner releases it (or an undelivered message
// frees it).
struct CountedBlock : DataBlock {
  CountedBlock(size_t capacity, std::shared_ptr<UdpBlockCredit> c)
      : DataBlock(capacity), credit(std::move(c)) {
    ++credit->held;
  }
  ~CountedBlock() override {
    if (credit->held.fetch_sub(1) == kUdpMaxBlocksHeld) credit->released.Set();
  }
  std::shared_ptr<UdpBlockCredit> credit;
};

}  // namespace

// Everything the I/O thread touches, held by shared_ptr so that a thread given up after the stop limit
// never reaches freed memory.
struct CUdpSocket::Listener {
  Hwnd owner;
  uint32_t message = 0;
  uint32_t peer = 0;       // network order; 0: no peer
  uint32_t localHost = 0;  // datagrams from this address are the tool's own
  uint32_t bindAddress = 0;
  uint16_t port = 0;
  int size = 0;
  Event stop{Event::Kind::ManualReset};
  // The transport's one lock: the thread publishes its socket under it, a forced stop takes it away under it.
  CCriticalSection lock;
  Descriptor socket;
  bool givenUp = false;
  std::shared_ptr<UdpBlockCredit> credit;
};

CUdpSocket::CUdpSocket() : credit_(std::make_shared<UdpBlockCredit>()) {}

int CUdpSocket::BlocksHeld() const {
  return credit_->held.load();
}

CUdpSocket::~CUdpSocket() {
  Leave();
}

bool CUdpSocket::Enter(Hwnd owner, uint32_t message, uint32_t peerNetworkOrder, int port, int size,
                       uint32_t bindAddressNetworkOrder) {
  if (listener_ || thread_.Exists()) Leave();
  if (size < 1) {
    OutputDebugString("Invalid receive size in CUdpSocket::Enter()\n");
    return false;
  }
  auto listener = std::make_shared<Listener>();
  listener->owner = std::move(owner);
  listener->message = message;
  listener->peer = peerNetworkOrder;
  listener->port = static_cast<uint16_t>(port);
  listener->size = size;
  listener->bindAddress = bindAddressNetworkOrder;
  listener->localHost = LocalHostAddress();
  listener->credit = credit_;
  if (!listener->stop.IsValid() || !credit_->released.IsValid()) {
    OutputDebugString("CreateEvent() failed in CUdpSocket::prepare()\n");
    return false;
  }
  listener_ = listener;
  if (!thread_.Start([listener] { RunIoThread(listener); })) {
    OutputDebugString("CreateThread() failed in CUdpSocket::Enter()\n");
    Leave();
    return false;
  }
  return true;
}

void CUdpSocket::Leave() {
  std::shared_ptr<Listener> listener = std::move(listener_);
  if (thread_.Exists()) {
    if (listener) listener->stop.Set();
    if (!thread_.WaitForEnd(kStopLimitMs)) {
      thread_.Abandon();
      if (listener) {
        CSingleLock single(&listener->lock, true);
        listener->givenUp = true;
        listener->socket.Neutralise();
      }
    }
  }
}

void CUdpSocket::RunIoThread(const std::shared_ptr<Listener>& listener) {
  if (OpenSocket(*listener)) {
    OutputDebugString("UDP IO thread starting\n");
    int fd = listener->socket.Get();
    for (;;) {
      // Checked first on every round, so that a flood of datagrams cannot keep a stop waiting.
      if (listener->stop.TryWait()) break;
      // While the owner holds its fill, the socket is left unread until it releases a block.
      const bool full = listener->credit->held.load() >= kUdpMaxBlocksHeld;
      Waitable items[] = {full ? Waitable(listener->credit->released) : Waitable(fd, POLLIN),
                          Waitable(listener->stop)};
      int index = WaitAny(items, kForever);
      if (index == 0) {
        if (full || HandleNetworkEvent(*listener, items[0].revents)) continue;
      } else if (index == kWaitFailed) {
        OutputDebugString("WSAWaitForMultipleEvents() failed\n");
      } else if (index != 1) {
        OutputDebugString("Unknown error in WSAWaitForMultipleEvents()\n");
      }
      break;
    }
  }
  OutputDebugString("UDP IO thread shutting down\n");
  CSingleLock single(&listener->lock, true);
  listener->socket.Close();
}

bool CUdpSocket::OpenSocket(Listener& listener) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return false;
  {
    CSingleLock single(&listener.lock, true);
    if (listener.givenUp) {
      ::close(fd);
      return false;
    }
    listener.socket.Reset(fd);
  }
  int one = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    OutputDebugString("Could not set reuse address option\n");
    return false;
  }
  if (listener.peer == 0 && ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0) {
    OutputDebugString("Could not set broadcast option\n");
    return false;
  }
  SetReceiveBuffer(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(listener.port);
  address.sin_addr.s_addr = listener.peer != 0 ? listener.localHost : listener.bindAddress;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    OutputDebugString("Could not bind address\n");
    return false;
  }
  return true;
}

bool CUdpSocket::HandleNetworkEvent(Listener& listener, short revents) {
  if (revents & POLLERR) {
    // Reading the pending error clears it; only a network that went down ends the listener.
    int err = 0;
    socklen_t length = sizeof err;
    ::getsockopt(listener.socket.Get(), SOL_SOCKET, SO_ERROR, &err, &length);
    if (err == ENETDOWN) {
      OutputDebugString("Error in FD_READ\n");
      return false;
    }
  }
  if (revents & POLLIN) return ReadData(listener) == 0;
  return true;
}

int CUdpSocket::ReadData(Listener& listener) {
  std::unique_ptr<DataBlock> block;
  try {
    block = std::make_unique<CountedBlock>(static_cast<size_t>(listener.size) + 1, listener.credit);
  } catch (const std::bad_alloc&) {
  }
  if (!block) {
    OutputDebugString("malloc failed in CUdpSocket::ReadData()\n");
    return -1;
  }
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC reports the datagram's whole length, so a longer one is recognised instead of ending the
  // listener.
  ssize_t n = ::recvfrom(listener.socket.Get(), block->buf(), static_cast<size_t>(listener.size),
                         MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0) return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  if (n == 0 || from.sin_addr.s_addr == listener.localHost) return 0;  // empty, or the tool's own
  if (n > listener.size) {
    OutputDebugString("Datagram of " + std::to_string(n) + " bytes cut to " + std::to_string(listener.size) +
                      " in CUdpSocket::ReadData()\n");
    n = listener.size;
  }
  block->len = static_cast<uint32_t>(n);
  DataBlock* address = block.get();
  PostMessage(listener.owner, listener.message, static_cast<WPARAM>(from.sin_addr.s_addr),
              reinterpret_cast<LPARAM>(address), std::move(block));
  return 0;
}

}  // namespace quill
