#include "link/maintenance_link.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "link/link_messages.h"
#include "link/rj45_thread.h"
#include "link/rs232_thread.h"
#include "platform/process_events.h"
#include "platform/timing.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

constexpr int kConnectWait = 1000;  // the loader accepts a connection within this
constexpr int kAnswerWait = 10000;  // and answers each block, command or read request within this
constexpr int kProbeDelay = 500;    // the reconnect after an update command comes this much later
constexpr int kSerialBaud = 19200;
constexpr int kSerialDrainWait = 1000;  // a few bytes take milliseconds at 19200 baud
constexpr std::array<uint8_t, 2> kReadSettings = {'s', 'h'};
constexpr std::array<uint8_t, 2> kReadSdram = {'d', 'h'};

bool IsLoopbackPhone(uint32_t phone) {
  return (phone >> 24) == 127;
}

std::string DottedPhone(uint32_t phone) {
  return AddressToString(HostToNetworkAddress(phone));
}

void Stop(std::optional<ThreadHandle>& held, const std::unique_ptr<Event>& ended) {
  if (!held) return;
  if (ended) {
    StopWindowThread(held, *ended);
  } else {
    held.reset();  // the handle's own stop: post WM_THREAD_STOP and join
  }
}

bool Wait(const std::unique_ptr<Event>& event, int ms) {
  return event && WaitMs(*event, ms);
}

void Reset(const std::unique_ptr<Event>& event) {
  if (event) event->Reset();
}

}  // namespace

CMaintenanceLink::CMaintenanceLink(Ui& ui) : ui_(ui) {}

CMaintenanceLink::~CMaintenanceLink() {
  StopTcpLink();
  StopSerialLink();
}

void CMaintenanceLink::RestrictToLoopback(uint32_t builtInPhone) {
  demoPhone_ = builtInPhone;
}

bool CMaintenanceLink::TargetAllowed(uint32_t phone) {
  if (!demoPhone_ || IsLoopbackPhone(phone)) return true;
  ui_.MessageBox("Demo mode talks to the built-in phone only (" + DottedPhone(*demoPhone_) + ").\n" +
                     DottedPhone(phone) +
                     " is not on this computer (127.0.0.0/8), so nothing was sent to it.\nRestart the tool "
                     "without --demo to reach a real phone.",
                 "Demo mode", MbButtons::Ok, MbIcon::Stop);
  return false;
}

bool CMaintenanceLink::StartTcpLinkThread(uint32_t phone) {
  if (rj45_ || !TargetAllowed(phone)) return false;
  return LaunchTcpLinkThread(phone);
}

bool CMaintenanceLink::LaunchTcpLinkThread(uint32_t phone) {
  // A signal left over from an earlier link (an answer that came after its wait had given up) must not
  // stand for an answer on this one.
  Reset(Events().tcpAck);
  return StartWindowThreadOnce<CRj45Thread>(rj45_, phone);
}

bool CMaintenanceLink::WaitTcpAck(int ms) {
  return Wait(Events().tcpAck, ms);
}

bool CMaintenanceLink::StartTcpLink(uint32_t phone) {
  if (rj45_ || !TargetAllowed(phone)) return false;
  LaunchTcpLinkThread(phone);
  if (WaitTcpAck(kConnectWait)) {
    if (observer_) observer_(LinkStage::Connected);
    return true;
  }
  ui_.MessageBox(
      "Can not connect to phone.\nsorry,unable to update.Please confirm if your phone is ready.\n ",
      "Can't update", MbButtons::Ok, MbIcon::Stop);
  StopTcpLink();
  return false;
}

void CMaintenanceLink::StopTcpLink() {
  Stop(rj45_, Events().tcpLinkEnded);
}

bool CMaintenanceLink::ProbeTcpLink(uint32_t phone, int waitMs) {
  SleepMs(kProbeDelay);
  // A probe that cannot reach the phone proves nothing was written: it counts as a refusal, never as an
  // update under way.
  if (!StartTcpLinkThread(phone)) return true;
  bool answered = WaitTcpAck(waitMs);
  StopTcpLink();
  return answered;
}

void CMaintenanceLink::PostToTcpLink(uint32_t message, WPARAM wParam, LPARAM lParam, PayloadPtr payload) {
  if (rj45_) rj45_->PostThreadMessage(message, wParam, lParam, std::move(payload));
}

bool CMaintenanceLink::StartSerialLink(const std::string& portName) {
  if (rs232_) return true;
  Reset(Events().serialLinkReady);
  Reset(Events().serialLinkEnded);
  Reset(Events().serialAck);
  bool ready = false;
  if (StartWindowThreadOnce<CRs232Thread>(rs232_, ui_) && Events().serialLinkReady &&
      Events().serialLinkEnded) {
    // A thread whose window cannot be created ends at once: its ended event releases this wait too.
    Waitable items[] = {Waitable(*Events().serialLinkReady), Waitable(*Events().serialLinkEnded)};
    ready = WaitAny(items, std::chrono::microseconds::max()) == 0;
  }
  if (!ready) {
    if (rs232_) {
      rs232_->Join();
      rs232_.reset();
    }
    ui_.Message("Can not open rs232 port");
    return false;
  }
  if (!port_.Open(rs232_->MainWindow(), kSerialBaud, portName, WM_COMM_DATA, -1)) {
    // The system's words, then the device and what to do about it (a group to join, a program holding it).
    const std::string& why = port_.OpenFailure();
    return Fail(LinkKind::Serial,
                why.empty() ? "Can not open rs232 port" : "Can not open rs232 port\n" + why);
  }
  return true;
}

void CMaintenanceLink::StopSerialLink() {
  if (!rs232_) return;
  // The last bytes a procedure wrote (the flash write's end byte) must reach the phone before the port
  // goes: closing discards whatever is still queued.
  port_.Drain(kSerialDrainWait);
  port_.Close();
  Stop(rs232_, Events().serialLinkEnded);
}

bool CMaintenanceLink::WriteSerial(uint8_t byte) {
  return port_.Write(byte);
}

bool CMaintenanceLink::WaitSerialAck(int ms) {
  return Wait(Events().serialAck, ms);
}

void CMaintenanceLink::SetSerialBulk(std::span<uint8_t> buffer) {
  // The buffer travels as the payload only, with its size.
  if (rs232_) rs232_->PostThreadMessage(WM_RS232_BULK, 1, 0, std::make_unique<ReceiveTarget>(buffer));
}

void CMaintenanceLink::ClearSerialBulk() {
  if (!rs232_) return;
  // The caller releases the bulk buffer next, while bytes the phone sent after the last ones it waited for
  // may still be queued for the link thread ahead of this message: return only once the thread has handled
  // it (or dropped it with its queue), so that nothing is stored into a buffer that is gone.
  auto handled = std::make_shared<HandledFlag>();
  rs232_->PostThreadMessage(WM_RS232_BULK, 0, 0, std::make_unique<HandledSignal>(handled));
  handled->Wait();
}

void CMaintenanceLink::ShowSerialOutput() {
  if (rs232_) rs232_->PostThreadMessage(WM_RS232_SHOW, 0, 0);
}

bool CMaintenanceLink::Fail(LinkKind link, std::string_view message, ProgressWindow* progress) {
  ui_.Message(message);
  if (progress) progress->Close();
  if (link == LinkKind::Tcp)
    StopTcpLink();
  else
    StopSerialLink();
  return false;
}

bool CMaintenanceLink::SendImage(uint32_t phone, std::span<const uint8_t> data, int command,
                                 uint8_t padding) {
  if (!StartTcpLink(phone)) return false;
  const size_t length = data.size();
  const size_t total = RoundUpTo256(length);
  auto progress = ui_.OpenProgress();
  progress->SetStep(static_cast<int>(kLinkBlock));
  progress->SetRange(0, static_cast<int>(total));
  // The blocks past the data carry defined padding; the link thread copies each block before the phone
  // can answer it, so one padded block serves every partial block in turn.
  std::array<uint8_t, kLinkBlock> padded{};
  for (size_t offset = 0; offset < total; offset += kLinkBlock) {
    progress->SetText("Loading data " + std::to_string(offset));
    const uint8_t* block = data.data() + offset;
    if (offset + kLinkBlock > length) {
      padded.fill(padding);
      if (offset < length) std::ranges::copy(data.subspan(offset), padded.begin());
      block = padded.data();
    }
    PostToTcpLink(WM_RJ45_SEND, kLinkBlock, reinterpret_cast<LPARAM>(block));
    if (!WaitTcpAck(kAnswerWait)) return Fail(LinkKind::Tcp, "tcp connection failed", progress.get());
    progress->Step();
  }
  progress->Close();
  if (command != kNoCommand) {
    if (observer_ && !observer_(LinkStage::Command)) {
      StopTcpLink();
      return false;
    }
    PostToTcpLink(WM_RJ45_SEND_BYTE, static_cast<WPARAM>(command & 0xFF), 0);
    if (!WaitTcpAck(kAnswerWait)) return Fail(LinkKind::Tcp, "tcp connection failed");
    if (observer_) observer_(LinkStage::Acknowledged);
  }
  StopTcpLink();
  return true;
}

bool CMaintenanceLink::ReadImage(uint32_t phone, std::span<uint8_t, kSettingsReadLength> settings) {
  return ReadBlocks(phone, kReadSettings, settings, kSettingsReadLength);
}

bool CMaintenanceLink::ReadImage(uint32_t phone, std::span<uint8_t> buffer, size_t sdramLength) {
  return ReadBlocks(phone, kReadSdram, buffer, RoundUpTo256(sdramLength));
}

bool CMaintenanceLink::ReadBlocks(uint32_t phone, std::span<const uint8_t, 2> request,
                                  std::span<uint8_t> buffer, size_t total) {
  if (!StartTcpLink(phone)) return false;
  // The buffer travels as the payload only, with its size: the receive rule stores nothing past its end.
  PostToTcpLink(WM_RJ45_RECEIVE, 1, 0, std::make_unique<ReceiveTarget>(buffer));
  auto progress = ui_.OpenProgress();
  progress->SetStep(static_cast<int>(kLinkBlock));
  progress->SetRange(0, static_cast<int>(total));
  for (size_t offset = 0; offset < total; offset += kLinkBlock) {
    progress->SetText("Reading data " + std::to_string(offset));
    PostToTcpLink(WM_RJ45_SEND, request.size(), reinterpret_cast<LPARAM>(request.data()));
    // The receive rule acknowledges only a whole 128-byte block.
    if (!WaitTcpAck(kAnswerWait)) return Fail(LinkKind::Tcp, "tcp connection failed", progress.get());
    progress->Step();
  }
  progress->Close();
  PostToTcpLink(WM_RJ45_RECEIVE, 0, 0);
  StopTcpLink();
  return true;
}

}  // namespace quill
