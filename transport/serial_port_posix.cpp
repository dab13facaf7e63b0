#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <utility>

#include "platform/debug_log.h"
#include "platform/event.h"
#include "platform/paths.h"
#include "platform/timing.h"
#include "transport/descriptor.h"
#include "transport/output_queue.h"
#include "transport/serial_devices.h"
#include "transport/serial_port.h"
#include "transport/sync.h"

namespace quill {
namespace {

constexpr int kStopLimitMs = 3000;
constexpr auto kForever = std::chrono::microseconds::max();

constexpr const char* kInvalidHandleLine =
    "ERROR_INVALID_HANDLE: Likely that the Service Provider has closed the port.\n";

// The errors that mean the device itself is gone (unplugged, or the other end of a pty closed).
bool IsInvalidHandle(int err) {
  return err == EBADF || err == EIO || err == ENODEV || err == ENXIO;
}

speed_t BaudToSpeed(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return B0;
  }
}

// Line-error counts since the port was opened; the driver keeps them, a pty has none.
bool ReadErrorCounts(int fd, serial_icounter_struct& counts) {
  return ::ioctl(fd, TIOCGICOUNT, &counts) == 0;
}

uint32_t ErrorsBetween(const serial_icounter_struct& before, const serial_icounter_struct& now) {
  uint32_t errors = 0;
  if (now.frame != before.frame) errors |= CE_FRAME;
  if (now.overrun != before.overrun) errors |= CE_OVERRUN;
  if (now.parity != before.parity) errors |= CE_RXPARITY;
  if (now.brk != before.brk) errors |= CE_BREAK;
  if (now.buf_overrun != before.buf_overrun) errors |= CE_RXOVER;
  return errors;
}

enum class Step { Ok, Failed, Stopped };

}  // namespace

std::unique_ptr<CommBuffer> CommBuffer::Allocate(size_t capacity) noexcept {
  try {
    return std::make_unique<CommBuffer>(capacity);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::string FormatCommEvent(uint32_t errors) {
  std::string line = "Comm Event: ";
  if (errors == 0) line += "NULL Error, ";
  if (errors & CE_FRAME) line += "CE_FRAME, ";
  if (errors & CE_OVERRUN) line += "CE_OVERRUN, ";
  if (errors & CE_RXPARITY) line += "CE_RXPARITY, ";
  if (errors & ~(CE_FRAME | CE_OVERRUN | CE_RXPARITY)) line += "EV_ERR Unknown EvtMask";
  return line + "\n";
}

// Everything the two threads touch, held by shared_ptr so that a thread given up after the stop limit never
// reaches freed memory; the descriptor is closed with it.
struct CCommPort::Port {
  Descriptor fd;
  bool exclusive = false;  // we asked for exclusive use and give it back on close
  Hwnd owner;
  uint32_t message = 0;
  Event writeRequest{Event::Kind::AutoReset};  // a byte queued; the write thread re-signals while any remain
  Event stop{Event::Kind::ManualReset};        // one signal stops both threads
  std::shared_ptr<CCriticalSection> lock;      // the transport's one lock, which guards the next four
  COutputQueue<uint8_t> queue;                 // one-byte blocks
  uint64_t queued = 0;                         // under lock: bytes queued since the port opened
  uint64_t written = 0;                        // under lock: bytes handed to the driver since then
  bool writerEnded = false;                    // under lock: the write thread writes no more
  int draining = 0;                            // under lock: Drain calls waiting for wrote
  Event wrote{Event::Kind::AutoReset};         // a byte was handed to the driver while a Drain waited
  bool errorCounts = false;                    // the driver reports line errors (read thread only after Open)
  serial_icounter_struct lastCounts{};
};

CCommPort::CCommPort() : lock_(std::make_shared<CCriticalSection>()) {}

CCommPort::~CCommPort() {
  Close();
}

std::shared_ptr<CCommPort::Port> CCommPort::CurrentPort() const {
  CSingleLock lock(lock_.get(), true);
  return port_;
}

bool CCommPort::IsOpen() const {
  return CurrentPort() != nullptr;
}

bool CCommPort::Open(Hwnd owner, int baud, const std::string& portName, uint32_t message, int existingFd) {
  if (IsOpen()) Close();
  openFailure_.clear();

  auto port = std::make_shared<Port>();
  port->lock = lock_;
  if (existingFd >= 0) {
    struct stat status {};
    if (::fstat(existingFd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
    port->fd.Reset(::fcntl(existingFd, F_DUPFD_CLOEXEC, 0));
    if (!port->fd.IsValid()) return false;
  } else {
    const std::string device = ComPortDevice(portName);
    port->fd.Reset(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port->fd.IsValid()) {
      openFailure_ = SerialOpenFailureText(device, errno);
      return false;
    }
    if (::ioctl(port->fd.Get(), TIOCEXCL) != 0) {  // not a terminal, or not ours alone
      openFailure_ = SerialOpenFailureText(device, errno);
      return false;
    }
    port->exclusive = true;
  }
  int fd = port->fd.Get();
  // The threads never block in a device call: reads and writes return at once, and the threads wait on the
  // descriptor together with their stop event.
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;

  port->owner = std::move(owner);
  port->message = message;
  if (!port->writeRequest.IsValid() || !port->stop.IsValid()) {
    OutputDebugString("CreateEvent() failed in CCommPort::prepare()\n");
    return false;
  }
  if (!Setup(fd, baud)) {
    if (port->exclusive) ::ioctl(fd, TIOCNXCL);
    return false;
  }
  port->errorCounts = ReadErrorCounts(fd, port->lastCounts);

  name_ = portName;
  {
    CSingleLock lock(lock_.get(), true);
    port_ = port;
  }
  if (!readThread_.Start([port] { RunReadThread(port); }) ||
      !writeThread_.Start([port] { RunWriteThread(port); })) {
    OutputDebugString("CreateThread() failed in CCommPort::Open()\n");
    Close();
    return false;
  }
  return true;
}

// The line set-up, each step with its own line when it fails.
bool CCommPort::Setup(int fd, int baud) {
  if (::tcflush(fd, TCIOFLUSH) != 0) {
    OutputDebugString("Purge Comm fail\n");
    return false;
  }
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    OutputDebugString("Get Comm Properties fail\n");
    return false;
  }
  // The driver's buffers are its own here; there is no size to set.
  // Reads return at once with what has arrived (the 1 ms total time-outs of the line's original set-up).
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
    OutputDebugString("Set Comm Timeout fail\n");
    return false;
  }
  if (::tcgetattr(fd, &settings) != 0) {
    OutputDebugString("Get Comm State fail\n");
    return false;
  }
  speed_t speed = BaudToSpeed(baud);
  // Binary: no line editing, echo, signals, output processing, character mapping or stripping. Parity
  // none and unchecked, one stop bit, no hardware or XON/XOFF flow control, modem lines ignored. The byte
  // size stays as the port has it.
  settings.c_iflag &=
      ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY | INPCK);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings.c_cflag |= CLOCAL | CREAD;
  if (speed == B0 || ::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
      ::tcsetattr(fd, TCSANOW, &settings) != 0) {
    OutputDebugString("Set Comm State fail\n");
    return false;
  }
  // DTR and RTS control disabled: both lines low. A pty has no modem lines; that is no failure.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIC, &lines);
  // Line errors are watched through the driver's error counts where it keeps them (see the read thread).
  return true;
}

namespace {

// Reads what has arrived, chunk by chunk, until nothing more is there. The first read after a wake-up is
// the completion of the read under way; later ones completed at once and are logged as such. A wake-up
// whose read finds nothing on a hung-up line means the device has gone.
Step ReadChunks(int fd, const Hwnd& owner, uint32_t message, Event& stop, bool completion, short revents) {
  bool first = completion;
  for (;;) {
    // A completion comes from the wait, which has just found the stop not set; every further read looks
    // again, so that a line that never falls silent cannot keep a stop waiting.
    if (!first && stop.TryWait()) return Step::Stopped;
    auto buffer = CommBuffer::Allocate(kCommChunk + 1);
    if (!buffer) return Step::Failed;
    ssize_t n = ::read(fd, buffer->buf(), kCommChunk);
    if (n > 0) {
      if (!first) {
        OutputDebugString("Data waiting for ReadFile.\n");
        OutputDebugString("Read " + std::to_string(n) + " bytes\n");
      }
      buffer->len = static_cast<uint32_t>(n);
      uint8_t* bytes = buffer->buf();
      PostMessage(owner, message, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(bytes), std::move(buffer));
      first = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    bool nothing = n == 0 || errno == EAGAIN;
    // Nothing more: the read is pending, unless the wake-up was a hang-up, which would otherwise come back
    // at once for ever.
    bool hungUp = first && (revents & (POLLHUP | POLLERR));
    if (nothing && !hungUp) return Step::Ok;
    int err = nothing ? EIO : errno;
    if (IsInvalidHandle(err)) OutputDebugString(kInvalidHandleLine);
    OutputDebugString(first ? "Unexpected GetOverlappedResult Read Error in CommPort read thread.\n"
                            : "Unexpected ReadFile error in CommPort read thread.\n");
    return Step::Failed;
  }
}

}  // namespace

void CCommPort::RunReadThread(const std::shared_ptr<Port>& port) {
  int fd = port->fd.Get();
  if (port->errorCounts) OutputDebugString("Waiting for a CommEvent (Error) to occur.\n");
  Step step = ReadChunks(fd, port->owner, port->message, port->stop, false, 0);
  if (step == Step::Ok) {
    OutputDebugString("CommPort read thread starting\n");
    for (;;) {
      // The stop comes first in the wait, so that a line that never falls silent cannot keep it waiting.
      Waitable items[] = {Waitable(port->stop), Waitable(fd, POLLIN)};
      int index = WaitAny(items, kForever);
      if (index == 0) {
        step = Step::Stopped;
        break;
      }
      if (index == 1) {
        // Line errors arrive with the bytes they spoiled: look at the driver's counts on every wake-up.
        serial_icounter_struct counts{};
        if (port->errorCounts) {
          if (!ReadErrorCounts(fd, counts)) {
            int err = errno;
            OutputDebugString(IsInvalidHandle(err) ? kInvalidHandleLine
                                                   : "ClearCommError in CommPort read thread.\n");
            step = Step::Failed;
            break;
          }
          if (uint32_t errors = ErrorsBetween(port->lastCounts, counts)) {
            port->lastCounts = counts;
            OutputDebugString(FormatCommEvent(errors));
            OutputDebugString("Waiting for a CommEvent (Error) to occur.\n");
          }
        }
        step = ReadChunks(fd, port->owner, port->message, port->stop, true, items[1].revents);
        if (step == Step::Ok) continue;
        break;
      }
      OutputDebugString(index == kWaitFailed
                            ? "WaitForMultipleObjects() failed in CommPort read thread\n"
                            : "Unknown error: WaitForMultipleObjects() in CommPort read thread\n");
      step = Step::Failed;
      break;
    }
  }
  if (step == Step::Failed) PostMessage(port->owner, WM_COMM_FAILED, 0, 0);
  OutputDebugString("CommPort read thread shutting down\n");
}

namespace {

// Writes the block at the head of the queue, if any, and asks for the next wake-up while more remain.
Step WriteOneBlock(int fd, Event& stop, Event& writeRequest, Event& wrote, CCriticalSection& lock,
                   COutputQueue<uint8_t>& queue, uint64_t& written, const int& draining) {
  std::unique_ptr<uint8_t> block;
  {
    CSingleLock single(&lock, true);
    block = queue.PopFront();
  }
  if (!block) return Step::Ok;
  const uint8_t* bytes = block.get();
  size_t remaining = 1;
  while (remaining > 0) {
    ssize_t n = ::write(fd, bytes, remaining);
    if (n > 0) {
      bytes += n;
      remaining -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      OutputDebugString(IsInvalidHandle(errno) ? kInvalidHandleLine
                                               : "Error to writing to CommFile in CommPort write thread.\n");
      return Step::Failed;
    }
    // The driver cannot take the byte yet: the write is pending until the line has room, or a stop.
    Waitable items[] = {Waitable(stop), Waitable(fd, POLLOUT)};
    int index = WaitAny(items, kForever);
    if (index == 0) return Step::Stopped;
    if (index == 1) {
      short revents = items[1].revents;
      if ((revents & (POLLERR | POLLHUP)) && !(revents & POLLOUT)) {
        OutputDebugString(revents & POLLHUP
                              ? kInvalidHandleLine
                              : "Error writing to CommFile while waiting in CommPort write thread.\n");
        return Step::Failed;
      }
      continue;
    }
    OutputDebugString(index == kWaitFailed ? "Write WAIT_FAILED in CommPort write thread.\n"
                                           : "Unexpected Wait return value in CommPort write thread.\n");
    return Step::Failed;
  }
  CSingleLock single(&lock, true);
  ++written;
  // Only a Drain waits for this: a byte written with none waiting costs no signal (a chunk is nine).
  if (draining > 0) wrote.Set();
  if (!queue.IsEmpty()) writeRequest.Set();
  return Step::Ok;
}

}  // namespace

void CCommPort::RunWriteThread(const std::shared_ptr<Port>& port) {
  int fd = port->fd.Get();
  OutputDebugString("CommPort write thread starting\n");
  for (;;) {
    Waitable items[] = {Waitable(port->stop), Waitable(port->writeRequest)};
    int index = WaitAny(items, kForever);
    if (index == 0) break;
    if (index == 1) {
      Step step = WriteOneBlock(fd, port->stop, port->writeRequest, port->wrote, *port->lock, port->queue,
                                port->written, port->draining);
      if (step == Step::Ok) continue;
      if (step == Step::Failed) PostMessage(port->owner, WM_COMM_FAILED, 0, 0);
      break;
    }
    OutputDebugString(index == kWaitFailed
                          ? "WaitForMultipleObjects() failed in CommPort write thread\n"
                          : "Unknown error: WaitForMultipleObjects() in CommPort write thread\n");
    PostMessage(port->owner, WM_COMM_FAILED, 0, 0);
    break;
  }
  {
    CSingleLock single(port->lock.get(), true);
    port->writerEnded = true;
  }
  port->wrote.Set();
  OutputDebugString("CommPort write thread shutting down\n");
}

bool CCommPort::Write(uint8_t byte) {
  std::shared_ptr<Port> port = CurrentPort();
  if (!port) return false;
  std::unique_ptr<uint8_t> block(new (std::nothrow) uint8_t(byte));
  if (!block) {
    OutputDebugString("malloc failed in CCommPort::Write\n");
    return false;
  }
  {
    CSingleLock lock(lock_.get(), true);
    if (port_ != port) return false;  // closed meanwhile: the byte goes with this call
    port->queue.PushBack(std::move(block));
    ++port->queued;
  }
  port->writeRequest.Set();
  return true;
}

bool CCommPort::Drain(int ms) {
  std::shared_ptr<Port> port = CurrentPort();
  if (!port) return false;
  const auto deadline = std::chrono::steady_clock::now() + Timing::Current().Scaled(ms);
  auto left = [&deadline] {
    return std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  };
  uint64_t target;
  {
    CSingleLock lock(lock_.get(), true);
    target = port->queued;
    // From here the write thread signals each byte it writes; a byte written before this is counted below.
    ++port->draining;
  }
  struct Done {
    Port& port;
    CCriticalSection& section;
    ~Done() {
      CSingleLock lock(&section, true);
      --port.draining;
    }
  } done{*port, *lock_};
  Waitable progress[] = {Waitable(port->wrote), Waitable(port->stop)};
  for (;;) {
    {
      CSingleLock lock(lock_.get(), true);
      if (port->written >= target) break;
      if (port->writerEnded) return false;
    }
    if (left() <= std::chrono::microseconds::zero()) return false;
    if (WaitAny(progress, left()) != 0) return false;
  }
  // The driver sends at the line's pace; a pseudo-terminal keeps nothing back.
  int pending = 0;
  while (::ioctl(port->fd.Get(), TIOCOUTQ, &pending) == 0 && pending > 0) {
    if (left() <= std::chrono::microseconds::zero()) return false;
    Waitable none[] = {Waitable(port->stop)};
    if (WaitAny(none, std::min(left(), std::chrono::microseconds(1000))) == 0) return false;
  }
  return true;
}

void CCommPort::Close() {
  std::shared_ptr<Port> port;
  {
    CSingleLock lock(lock_.get(), true);
    port.swap(port_);
  }
  if (!port) return;
  int fd = port->fd.Get();
  bool givenUp = false;
  if (readThread_.Exists()) {
    port->stop.Set();
    ::tcflush(fd, TCIFLUSH);
    if (!readThread_.WaitForEnd(kStopLimitMs)) {
      OutputDebugString("Force to close CommPort read thread\n");
      readThread_.Abandon();
      givenUp = true;
    }
  }
  if (writeThread_.Exists()) {
    port->stop.Set();
    // The purge drops what was not yet handed over. A byte handed to the driver counts as sent, as it did
    // on the system's write-through port; on a pseudo-terminal a flush would still take it back from the
    // other end.
    bool unsent;
    {
      CSingleLock lock(lock_.get(), true);
      unsent = port->written < port->queued;
    }
    if (unsent) ::tcflush(fd, TCOFLUSH);
    if (!writeThread_.WaitForEnd(kStopLimitMs)) {
      OutputDebugString("Force to close CommPort write thread\n");
      writeThread_.Abandon();
      givenUp = true;
    }
  }
  {
    CSingleLock lock(lock_.get(), true);
    port->queue.Clear();
  }
  if (port->exclusive) ::ioctl(fd, TIOCNXCL);
  // A thread given up may still be about to use the descriptor: its number stays reserved until it lets go.
  if (givenUp)
    port->fd.Neutralise();
  else
    port->fd.Close();
  name_.clear();
}

}  // namespace quill
