// The serial (RS-232) end of the maintenance link: opens a port, sets the line up (raw, 8 data bits as the
// port has them, no parity, one stop bit, no flow control) and runs two threads of its own: a read thread
// that posts every chunk received to the owner window and logs line errors, and a write thread that drains
// a queue of outgoing bytes one device write at a time. Diagnostics go to the debug log only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/message.h"
#include "transport/data_block.h"
#include "transport/io_thread.h"
#include "transport/sync.h"

namespace quill {

constexpr uint32_t WM_COMM_DATA = 0x630;    // the tool's data message: wParam count, lParam the bytes
constexpr uint32_t WM_COMM_FAILED = 0x636;  // a read or write thread ended on an error; wParam, lParam 0

constexpr size_t kCommChunk = 160;  // one read takes at most this many bytes

// The bytes of one read, with one spare byte after the largest chunk so that the owner can terminate them.
// It travels as the payload of the data message; lParam carries the address of its bytes (buf()).
struct CommBuffer : DataBlock {
  using DataBlock::DataBlock;
  static std::unique_ptr<CommBuffer> Allocate(size_t capacity) noexcept;
};

// Line errors as the serial driver reports them.
constexpr uint32_t CE_RXOVER = 0x0001;
constexpr uint32_t CE_OVERRUN = 0x0002;
constexpr uint32_t CE_RXPARITY = 0x0004;
constexpr uint32_t CE_FRAME = 0x0008;
constexpr uint32_t CE_BREAK = 0x0010;

// The one debug-log line for a line-error event, e.g. "Comm Event: CE_FRAME, CE_OVERRUN, \n".
std::string FormatCommEvent(uint32_t errors);

class CCommPort {
 public:
  CCommPort();
  virtual ~CCommPort();
  CCommPort(const CCommPort&) = delete;
  CCommPort& operator=(const CCommPort&) = delete;

  // Opens portName (through the COM port map: "COM1", "COM2", or a device path as it stands) for exclusive
  // use, or works on existingFd instead, which must be a character device and stays the caller's (the port
  // uses its own duplicate; note that the line settings and the non-blocking mode are shared with it).
  // Received chunks go to owner as message. True when the port is set up and both threads run.
  bool Open(Hwnd owner, int baud, const std::string& portName, uint32_t message, int existingFd = -1);
  // Queues one byte; false when the port is not open or memory runs out. Any thread.
  bool Write(uint8_t byte);
  // Waits until the bytes queued so far have left: written by the write thread and sent by the driver. At
  // most ms of the system's time (timing seam); false on time-out, on a stop, or when the port is not open.
  bool Drain(int ms);
  // Stops both threads (each within 3000 ms of the system's time, else it is given up) and releases
  // everything. Harmless when the port is not open.
  void Close();
  bool IsOpen() const;
  // Why the last Open could not open its device: "DEVICE: REASON" and what to do about it; empty after a
  // successful Open or a failure of the line set-up (which the debug log tells).
  const std::string& OpenFailure() const { return openFailure_; }

 private:
  struct Port;
  static void RunReadThread(const std::shared_ptr<Port>& port);
  static void RunWriteThread(const std::shared_ptr<Port>& port);
  static bool Setup(int fd, int baud);
  std::shared_ptr<Port> CurrentPort() const;

  std::string name_;
  std::string openFailure_;
  IoThread readThread_;
  IoThread writeThread_;
  // The one critical section of this transport: it guards the output queue with its counts, and which
  // port's queue is the current one, so that Write from another thread meets Close safely. Never held
  // across a wait or a device call. Each port shares it, so a thread given up can still take it.
  const std::shared_ptr<CCriticalSection> lock_;
  std::shared_ptr<Port> port_;  // under lock_: everything the threads touch; a thread given up keeps it
};

}  // namespace quill
