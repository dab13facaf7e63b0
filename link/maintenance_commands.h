// The maintenance commands a technician runs on a phone: flash page and program update, the data-area
// updates, SDRAM load and export, the factory-restore instructions and the connection test. The GUI's main
// window and the command line run the same code; each command shows the system's own messages and returns
// whether it did what it was asked (the command line's exit code).
//
// Everything runs on the caller's (user-interface) thread and blocks it with timed waits; every path that
// starts a link stops it again, except the serial SDRAM export's success, which leaves the serial link to
// the next serial stop.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/command_files.h"
#include "link/command_host.h"
#include "link/flash_layout.h"
#include "link/maintenance_link.h"
#include "platform/ui.h"

namespace quill {

// The SDRAM buffer, and the largest SDRAM length in either direction.
constexpr size_t kSdramSize = 640000;
using SdramImage = std::array<uint8_t, kSdramSize>;

// What the serial loaders take after each chunk lead.
constexpr size_t kSerialChunkBytes = 8;

class CMaintenanceCommands {
 public:
  CMaintenanceCommands(Ui& ui, CMaintenanceLink& link, CommandHost& host)
      : ui_(ui), link_(link), host_(host) {}

  // Flash programming (maintenance_commands_flash.cpp).
  bool UpdateFlashPage();  // "Page0.hex" of the working directory to the selected page
  bool UpdateProgram();    // a whole program image, over TCP

  // Data-area updates (maintenance_commands_data.cpp); TCP only.
  bool UpdateRing();
  bool UpdateDigitMap();
  bool UpdateHoldAnnouncement();
  bool UpdateAlternateSettings();
  bool EditAndPushSettings();

  // SDRAM, factory restore and connection test (maintenance_commands_sdram.cpp).
  bool LoadSdram();
  bool SaveSdram();
  bool ShowFactoryRestore();
  bool TestConnection();

 private:
  // A file sent to the phone, then the command byte, then the probe.
  struct FileUpdate {
    RememberedFile file;
    std::string_view defaultExt;
    std::string_view filter;
    uint8_t command;
    int probeWait;
    const char* refusal;
    // Past the file's end: zeros for a data area, erased flash (0xFF) for a program image; never whatever
    // the memory held.
    uint8_t padding;
  };
  bool RunFileUpdate(const FileUpdate& row);
  // How a command on a file starts: the file dialog with the remembered name, then the tool options
  // stored. Nothing when the dialog was cancelled.
  struct FileStart {
    std::string path;
    CommandValues values;
    bool kept = true;  // the store kept the file's name (KeptName)
  };
  std::optional<FileStart> StartWithFile(FileDialogSpec::Mode mode, const RememberedFile& file,
                                         std::string_view defaultExt, std::string_view filter);
  // Starts the serial link on portName and sends count x byte; false after failure (shown, link stopped)
  // when the loader does not answer within waitMs.
  bool StartSerialExchange(const std::string& portName, int count, uint8_t byte, int waitMs,
                           const char* failure);
  // The page image's first length bytes (the used size, or the length the phone reads) go out.
  bool ProgramPageOverSerial(const std::string& portName, std::span<const uint8_t, kFlashPageSize> image,
                             size_t length, int chipType, int page);
  bool HandPageOverTcp(uint32_t phone, std::span<const uint8_t, kFlashPageSize> image, size_t length,
                       int chipType, int page);
  bool ReportProbe(uint32_t phone, int waitMs, const char* refusal, const char* accepted);
  bool RequireTcp(const CommandValues& values);
  // A store that did not keep a remembered file name is said, naming the store file, unless the host has
  // said the store's failure already. False when the name was not kept: the command goes on (the name is
  // only the next dialog's initial name) but does not end as a success.
  bool KeptName(const StoreResult& remembered, const CommandValues& values);
  // The buffer's first length bytes go out in chunks of eight; a last partial chunk carries the buffer's
  // bytes after them.
  bool WriteSdramOverSerial(const std::string& portName, const SdramImage& buffer, size_t length);
  bool ReadSdramOverSerial(const std::string& portName, std::span<uint8_t> buffer, size_t length);
  void WriteSerialRun(int count, uint8_t byte);
  void WriteSerialChunk(uint8_t lead, std::span<const uint8_t, kSerialChunkBytes> bytes);

  Ui& ui_;
  CMaintenanceLink& link_;
  CommandHost& host_;
};

}  // namespace quill
