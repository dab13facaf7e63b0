// Flash programming: one 64 KiB page from "Page0.hex", byte by byte over the serial line or handed to the
// phone over TCP, and the whole program image over TCP.
#include <algorithm>
#include <memory>
#include <span>
#include <string>

#include "filetools/hex_file.h"
#include "link/command_files.h"
#include "link/flash_layout.h"
#include "link/maintenance_commands.h"
#include "platform/application.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "settings/settings_image.h"

namespace quill {
namespace {

// The page file is always this one, whatever page is selected; the name check below asks when it does not
// name the selected page.
constexpr const char* kPageFileName = "Page0.hex";
constexpr const char* kHexError = "Error Hex file to upgrade Quill1";

// Serial flash loader bytes. Every answer is a run of eight equal bytes.
constexpr uint8_t kWakeUp = 0x55;  // sixteen of these wake the loader
constexpr int kWakeUpCount = 16;
constexpr uint8_t kProbe = 0xAA;  // repeated until the loader answers
constexpr int kMaxProbes = 4096;
constexpr uint8_t kEraseLead = 0xFF;   // eight, then the sector number
constexpr uint8_t kBeginWrite = 0x00;  // eight
constexpr uint8_t kChunkLead = 0x08;   // then eight data bytes
constexpr uint8_t kWriteEnd = 0xFF;    // not answered
constexpr int kRun = 8;                // answers, erase leads, begin-write and chunks

constexpr int kWakeUpWait = 1000;
constexpr int kProbeWait = 1;
constexpr int kBeforeErase = 1000;
constexpr int kEraseTime = 15000;  // the loader erases a sector within this pause
constexpr int kEraseWait = 1000;
constexpr int kBeginWait = 1000;
constexpr int kChunkWait = 500;

// Over TCP the phone is reconnected this long after the page command; between sectors the progress
// window waits this long per sector, and for the first sector it waits this long for an answer.
constexpr int kHandOverDelay = 500;
constexpr int kSectorPace = 1000;

constexpr uint8_t kProgramCommand = 0x81;
constexpr int kProgramProbeWait = 1000;

std::string FileNameOf(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CMaintenanceCommands::UpdateFlashPage() {
  const std::string path = JoinPath(host_.WorkingDirectory(), kPageFileName);
  const StoreResult remembered = SettingsStore::Profile().WriteString("PFlashUpdate", "SrcName", path);
  const CommandValues values = host_.SaveToolOptions();
  const bool kept = KeptName(remembered, values);
  const bool stored = kept && values.stored;
  const int page = values.flashPage;
  const int chipType = values.chipType;
  if (!PageFileFits(FileNameOf(path), page, chipType) &&
      ui_.MessageBox("Are you sure about flash page?", ApplicationName(), MbButtons::YesNo,
                     MbIcon::Question) != MbResult::Yes)
    return false;

  auto image = std::make_unique<FlashPage>();
  image->fill(0xFF);
  const int used = LoadHexFile(ui_, path, *image);
  if (used < 1) {
    ui_.Message(kHexError);
    return false;
  }
  size_t length = std::min(static_cast<size_t>(used), kFlashPageSize);
  if (auto at = SettingsLocationOf(page, chipType)) {
    // The settings merged into the page come from the store: after a failed store write they may not be
    // the user's, so the page is not sent (the user has been told why).
    if (!stored) return false;
    const std::span<uint8_t, kSettingsImageSize> settings =
        std::span(*image).subspan(at->offset).first<kSettingsImageSize>();
    if (at->checkSignature &&
        !std::ranges::equal(settings.first<sizeof kPage0Signature>(), kPage0Signature)) {
      ui_.Message(kHexError);
      return false;
    }
    BuildSettingsImage(settings);
    if (at->fixedLength) length = at->fixedLength;
  }
  switch (values.linkType) {
    case 0:
      return ProgramPageOverSerial(values.portName, *image, length, chipType, page) && kept;
    case 1:
      return HandPageOverTcp(values.phone, *image, length, chipType, page) && kept;
    default:
      return false;
  }
}

bool CMaintenanceCommands::ProgramPageOverSerial(const std::string& portName,
                                                 std::span<const uint8_t, kFlashPageSize> image,
                                                 size_t length, int chipType, int page) {
  if (!StartSerialExchange(portName, kWakeUpCount, kWakeUp, kWakeUpWait, "Can not connect to Quill(2)"))
    return false;

  bool answered = false;
  for (int probe = 0; probe < kMaxProbes && !answered; ++probe) {
    link_.WriteSerial(kProbe);
    answered = link_.WaitSerialAck(kProbeWait);
  }
  if (!answered) return link_.Fail(LinkKind::Serial, "No response from Quill1?");

  const SectorRange sectors = PageSectors(chipType, page);
  auto progress = ui_.OpenProgress();
  progress->SetStep(1);
  progress->SetRange(sectors.first, sectors.end);
  for (int sector = sectors.end - 1; sector >= sectors.first; --sector) {
    SleepMs(kBeforeErase);
    progress->SetText("Erase sector " + std::to_string(sector));
    progress->Step();
    WriteSerialRun(kRun, kEraseLead);
    link_.WriteSerial(static_cast<uint8_t>(sector));
    SleepMs(kEraseTime);
    if (!link_.WaitSerialAck(kEraseWait))
      return link_.Fail(LinkKind::Serial, "Erase sector failed", progress.get());
  }
  progress->Close();

  WriteSerialRun(kRun, kBeginWrite);
  if (!link_.WaitSerialAck(kBeginWait)) return link_.Fail(LinkKind::Serial, "Begin write operation failed");

  progress = ui_.OpenProgress();
  progress->SetStep(kRun);
  progress->SetRange(0, static_cast<int>(length));
  for (size_t index = 0; index < length; index += kRun) {
    progress->SetText("Write program " + std::to_string(index));
    // A last chunk past the used size carries the page image's own bytes (its 0xFF fill); the image is
    // a whole number of chunks long.
    WriteSerialChunk(kChunkLead, image.subspan(index).first<kSerialChunkBytes>());
    if (!link_.WaitSerialAck(kChunkWait))
      return link_.Fail(LinkKind::Serial, "Write operation failed", progress.get());
    progress->Step();
  }
  link_.WriteSerial(kWriteEnd);
  progress->Close();
  link_.StopSerialLink();
  return true;
}

bool CMaintenanceCommands::HandPageOverTcp(uint32_t phone, std::span<const uint8_t, kFlashPageSize> image,
                                           size_t length, int chipType, int page) {
  // The last block carries the page image's own bytes past the used size, as they lie in the image.
  if (!link_.SendImage(phone, image.first(std::min(RoundUpTo256(length), kFlashPageSize)), page, 0xFF))
    return false;

  // A phone that took the page stops accepting connections while it erases and writes.
  SleepMs(kHandOverDelay);
  link_.StartTcpLinkThread(phone);
  const SectorRange sectors = PageSectors(chipType, page);
  auto progress = ui_.OpenProgress();
  progress->SetStep(1);
  progress->SetRange(sectors.first, sectors.end);
  for (int sector = sectors.end - 1; sector >= sectors.first; --sector) {
    progress->SetText("Erase sector " + std::to_string(sector));
    progress->Step();
    if (sector != sectors.first) {
      SleepMs(kSectorPace);
      continue;
    }
    const bool answered = link_.WaitTcpAck(kSectorPace);
    link_.StopTcpLink();
    if (answered) {
      progress->Close();
      ui_.Message("Invalid upgrade method");
      return false;
    }
  }
  progress->Close();
  return true;
}

bool CMaintenanceCommands::UpdateProgram() {
  return RunFileUpdate({{"ProgramUpdate", "SrcName", "demo.bin"},
                        "*.bin",
                        kBinaryFilter,
                        kProgramCommand,
                        kProgramProbeWait,
                        "Invalid update method",
                        0xFF});
}

}  // namespace quill
