// The maintenance commands a technician runs on a phone: flash page and program update, the data-area
// updates, SDRAM load and export, the factory-restore instructions and the connection test. The GUI's main
// window and the command line run the same code; each command shows the system's own messages and returns
// whether it did what it was asked (the command line's exit code).
//
// Everything runs on the caller's (user-interface) thread and blocks it with timed waits; every path that
// starts a link stops it again, except the serial SDRAM export's success, which leaves the serial link to
// the next serial stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/command_files.h"
#include "link/command_host.h"
#include "link/maintenance_link.h"
#include "platform/ui.h"

namespace quill {

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
  // Starts the serial link on portName and sends count x byte; false after failure (shown, link stopped)
  // when the loader does not answer within waitMs.
  bool StartSerialExchange(const std::string& portName, int count, uint8_t byte, int waitMs,
                           const char* failure);
  bool ProgramPageOverSerial(const std::string& portName, const uint8_t* image, size_t length, int chipType,
                             int page);
  bool HandPageOverTcp(uint32_t phone, const uint8_t* image, size_t length, int chipType, int page);
  bool ReportProbe(uint32_t phone, int waitMs, const char* refusal, const char* accepted);
  bool RequireTcp(const CommandValues& values);
  bool WriteSdramOverSerial(const std::string& portName, const uint8_t* buffer, size_t length);
  bool ReadSdramOverSerial(const std::string& portName, uint8_t* buffer, size_t capacity, size_t length);
  void WriteSerialRun(int count, uint8_t byte);
  void WriteSerialChunk(uint8_t lead, const uint8_t* bytes);

  Ui& ui_;
  CMaintenanceLink& link_;
  CommandHost& host_;
};

// The SDRAM buffer, and the largest SDRAM length in either direction.
constexpr size_t kSdramSize = 640000;

}  // namespace quill
