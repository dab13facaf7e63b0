// What the maintenance commands need from the window that runs them: the step that stores the tool options
// and hands the command the values shown at that moment. The GUI's main window and the command line each
// provide one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quill {

// The values one command works with, read once from what the user sees when the command starts (the
// window's controls, or the command line's arguments) and handed down from there. Nothing below the host
// reads them back from the settings store, so a stale or failed store write can never choose the phone.
struct CommandValues {
  uint32_t phone = 0;             // the IP field's address, first octet most significant
  int linkType = 1;               // 0 serial, 1 TCP/IP
  std::string portName = "COM1";  // "COM1" or "COM2"
  int flashPage = 0;
  int chipType = 4;
  // The SDRAM export length; nothing when the field failed its range check (the user has been told, and
  // only the SDRAM export stops).
  std::optional<size_t> sdramLength;
  // False when the options could not be stored (the user has been told, with the store file and the
  // reason): a command that would send values taken from the store to the phone stops before sending.
  bool stored = true;
};

class CommandHost {
 public:
  virtual ~CommandHost() = default;

  // Copies the controls into the values and stores the tool options. A bad SDRAM length is reported and
  // left out; every other option is still stored, and the command goes on with the values shown.
  virtual CommandValues SaveToolOptions() = 0;

  // The address in the IP field at this moment (the connection test, which stores nothing).
  virtual uint32_t IpFieldAddress() const = 0;  // first octet most significant
  virtual std::string WorkingDirectory() const = 0;
};

}  // namespace quill
