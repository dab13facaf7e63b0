// The main window's side of the two maintenance links: it holds at most one network link thread, one
// serial link thread and the serial port, and runs the block transfers over TCP. Everything here runs on
// the user-interface thread and blocks it with timed waits, as the system does; the progress window's
// step lets pending events run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/ui.h"
#include "platform/window_thread.h"
#include "transport/serial_port.h"

namespace quill {

constexpr int kNoCommand = -1;
// The settings image as the phone sends it on "sh".
constexpr size_t kSettingsReadLength = 512;

// The two links, for what an operation does with the one it started.
enum class LinkKind { Tcp, Serial };

// What a watcher of the TCP transfers (the fleet's child process) needs to know: whether the phone can have
// started writing. Command comes just before a one-byte command goes out; a watcher that answers false
// keeps it from going (the link is stopped, nothing is said). Acknowledged: the phone took the command.
enum class LinkStage { Connected, Command, Acknowledged };
using LinkStageObserver = std::function<bool(LinkStage)>;

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
  // Bulk mode of the serial answer rule: the next bytes are stored in buffer, never past its end.
  void SetSerialBulk(std::span<uint8_t> buffer);
  // Bulk mode off; returns once the link thread stores nothing more into the buffer.
  void ClearSerialBulk();
  // Shows the "Rs232 Output" window: the phone's serial text from now on.
  void ShowSerialOutput();

  // Sends data in 128-byte blocks, padded with padding up to a multiple of 256 bytes, then the one-byte
  // command unless it is kNoCommand.
  bool SendImage(uint32_t phone, std::span<const uint8_t> data, int command, uint8_t padding);
  // Reads the phone's settings image ("sh") in 128-byte blocks.
  bool ReadImage(uint32_t phone, std::span<uint8_t, kSettingsReadLength> settings);
  // Reads sdramLength bytes of the phone's SDRAM ("dh"), rounded up to a multiple of 256, in 128-byte
  // blocks into buffer; nothing is stored past its end.
  bool ReadImage(uint32_t phone, std::span<uint8_t> buffer, size_t sdramLength);

  // How an operation ends when the phone did not answer: the message, then the progress window closed
  // (when one is open), then the link stopped. Always false, the operation's result.
  bool Fail(LinkKind link, std::string_view message, ProgressWindow* progress = nullptr);

  void SetStageObserver(LinkStageObserver observer) { observer_ = std::move(observer); }

  bool TcpLinkHeld() const { return rj45_.has_value(); }
  bool SerialLinkHeld() const { return rs232_.has_value(); }

 private:
  // The one place a network link thread is made; its callers have checked the phone (TargetAllowed).
  bool LaunchTcpLinkThread(uint32_t phone);
  // The request blocks of both reads: total bytes in answers of 128 into buffer.
  bool ReadBlocks(uint32_t phone, std::span<const uint8_t, 2> request, std::span<uint8_t> buffer,
                  size_t total);
  void PostToTcpLink(uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload = nullptr);

  Ui& ui_;
  std::optional<uint32_t> demoPhone_;  // set in demo mode: loopback targets only
  std::optional<ThreadHandle> rj45_;
  std::optional<ThreadHandle> rs232_;
  CCommPort port_;
  LinkStageObserver observer_;
};

// Length rounded up to the next multiple of 256 (a multiple stays).
constexpr size_t RoundUpTo256(size_t length) {
  return (length + 255) / 256 * 256;
}

}  // namespace quill
