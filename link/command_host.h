// What the maintenance commands need from the window that runs them: its values and the step that stores
// the tool options first. The GUI's main window and the command line each provide one.
#pragma once

#include <cstdint>
#include <string>

namespace quill {

class CommandHost {
 public:
  virtual ~CommandHost() = default;

  // Copies the controls into the values and stores the tool options, so that the link thread connects to
  // the address shown at this moment. False when a value failed its check (the user has been told); the
  // options are then not stored.
  virtual bool SaveToolOptions() = 0;

  virtual int LinkType() const = 0;  // 0 serial, 1 TCP/IP
  virtual int FlashPage() const = 0;
  virtual int ChipType() const = 0;
  virtual uint32_t IpFieldAddress() const = 0;  // first octet most significant
  virtual std::string PortName() const = 0;     // "COM1" or "COM2"
  virtual std::string WorkingDirectory() const = 0;
};

}  // namespace quill
