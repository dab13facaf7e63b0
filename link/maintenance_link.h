// The main window's side of the two maintenance links: it holds at most one network link thread, one
// serial link thread and the serial port, and runs the block transfers over TCP. Everything here runs on
// the user-interface thread and blocks it with timed waits, as the system does; the progress window's
// step lets pending events run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui.h"
#include "platform/window_thread.h"
#include "transport/serial_port.h"

namespace quill {

constexpr int kNoCommand = -1;

class CMaintenanceLink {
 public:
  explicit CMaintenanceLink(Ui& ui);
  // Stops whatever link is still held.
  ~CMaintenanceLink();
  CMaintenanceLink(const CMaintenanceLink&) = delete;
  CMaintenanceLink& operator=(const CMaintenanceLink&) = delete;

  // Every operation over TCP is given the phone it talks to (first octet most significant), as the command
  // read it from what the user sees; the link keeps no address of its own.

  // Demo mode: from now on every phone outside 127.0.0.0/8 is refused, with a message box naming the
  // built-in phone, before any socket is opened. builtInPhone is the demo phone's own address.
  void RestrictToLoopback(uint32_t builtInPhone);
  // True when the tool may talk to phone; otherwise the user is told why and nothing is sent.
  bool TargetAllowed(uint32_t phone);

  // Starts a network link thread and waits up to 1000 ms for its connection; false (with the "Can't
  // update" box and the link stopped) when none comes, false without a message when a link is held.
  bool StartTcpLink(uint32_t phone);
  void StopTcpLink();
  // After an update command: reconnects and waits up to waitMs. True when the phone answered (it refused
  // the update); false when it stayed silent (it is writing its flash).
  bool ProbeTcpLink(uint32_t phone, int waitMs);
  // Starts a network link thread and holds it, without waiting for its connection; false when the phone
  // is refused or a link is already held.
  bool StartTcpLinkThread(uint32_t phone);
  bool WaitTcpAck(int ms);

  // Starts the serial link thread (or reuses the held one, in whatever mode it is) and opens portName at
  // 19200 baud; false with "Can not open rs232 port" when the port cannot be opened.
  bool StartSerialLink(const std::string& portName);
  void StopSerialLink();
  bool WriteSerial(uint8_t byte);
  bool WaitSerialAck(int ms);
  // Bulk mode of the serial answer rule: the next bytes are stored in buffer (at most capacity bytes).
  void SetSerialBulk(uint8_t* buffer, size_t capacity);
  // Bulk mode off; returns once the link thread stores nothing more into the buffer.
  void ClearSerialBulk();
  // Shows the "Rs232 Output" window: the phone's serial text from now on.
  void ShowSerialOutput();

  // Sends length bytes in 128-byte blocks (the last one padded with padding up to a multiple of 256),
  // then the one-byte command unless it is kNoCommand.
  bool SendImage(uint32_t phone, const uint8_t* data, size_t length, int command, uint8_t padding);
  // Reads the settings image (512 bytes, "sh") or the SDRAM ("dh", sdramLength rounded up to a multiple of
  // 256; unused for the settings) in 128-byte blocks into buffer (at most capacity bytes).
  bool ReadImage(uint32_t phone, uint8_t* buffer, size_t capacity, bool settings, size_t sdramLength);

  bool TcpLinkHeld() const { return rj45_.has_value(); }
  bool SerialLinkHeld() const { return rs232_.has_value(); }

 private:
  // The one place a network link thread is made; its callers have checked the phone (TargetAllowed).
  bool LaunchTcpLinkThread(uint32_t phone);
  void PostToTcpLink(uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload = nullptr);

  Ui& ui_;
  std::optional<uint32_t> demoPhone_;  // set in demo mode: loopback targets only
  std::optional<ThreadHandle> rj45_;
  std::optional<ThreadHandle> rs232_;
  CCommPort port_;
};

// Length rounded up to the next multiple of 256 (a multiple stays).
constexpr size_t RoundUpTo256(size_t length) {
  return (length + 255) / 256 * 256;
}

}  // namespace quill
