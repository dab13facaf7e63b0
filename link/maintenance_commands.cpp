// What the commands share: the serial byte writes, the TCP-only check and the probe's two outcomes.
#include "link/maintenance_commands.h"

#include "platform/application.h"
#include "platform/timing.h"

namespace quill {

void CMaintenanceCommands::WriteSerialRun(int count, uint8_t byte) {
  for (int i = 0; i < count; ++i) link_.WriteSerial(byte);
}

void CMaintenanceCommands::WriteSerialChunk(uint8_t lead, std::span<const uint8_t, kSerialChunkBytes> bytes) {
  link_.WriteSerial(lead);
  for (uint8_t byte : bytes) {
    link_.WriteSerial(byte);
    // The loader takes its chunk bytes one at a time; the other threads get the line meanwhile.
    Timing::Current().YieldSlice();
  }
}

bool CMaintenanceCommands::StartSerialExchange(const std::string& portName, int count, uint8_t byte,
                                               int waitMs, const char* failure) {
  if (!link_.StartSerialLink(portName)) return false;
  // The wait cursor stands while the loader is woken; the message after a silence comes without it.
  WaitCursor cursor(ui_);
  WriteSerialRun(count, byte);
  bool answered = link_.WaitSerialAck(waitMs);
  cursor.Restore();
  if (answered) return true;
  return link_.Fail(LinkKind::Serial, failure);
}

bool CMaintenanceCommands::RequireTcp(const CommandValues& values) {
  if (values.linkType == 1) return true;
  ui_.Message("Only Tcpip connection can be used for this function");
  return false;
}

bool CMaintenanceCommands::KeptName(const StoreResult& remembered, const CommandValues& values) {
  // One failure of the store is said once: the host has said its own.
  if (!remembered && values.stored) ui_.Message(remembered.Message());
  return remembered.Ok();
}

std::optional<CMaintenanceCommands::FileStart> CMaintenanceCommands::StartWithFile(
    FileDialogSpec::Mode mode, const RememberedFile& file, std::string_view defaultExt,
    std::string_view filter) {
  auto chosen = ChooseFile(ui_, mode, file, defaultExt, filter);
  if (!chosen) return std::nullopt;
  FileStart start{std::move(chosen->path), host_.SaveToolOptions()};
  start.kept = KeptName(chosen->remembered, start.values);
  return start;
}

bool CMaintenanceCommands::ReportProbe(uint32_t phone, int waitMs, const char* refusal,
                                       const char* accepted) {
  if (link_.ProbeTcpLink(phone, waitMs)) {
    // The phone still takes connections: it did not start writing.
    ui_.Message(refusal);
    return false;
  }
  ui_.MessageBox(accepted, ApplicationName(), MbButtons::Ok, MbIcon::Information);
  return true;
}

}  // namespace quill
