// The main window's values without a window, for the tests that drive the maintenance commands, and the
// messages their TCP failure paths end with.
#pragma once

#include <cstdint>
#include <string>

#include "link/command_host.h"
#include "tests/support/loopback.h"

namespace quill::test {

constexpr const char* kCantUpdate =
    "Can not connect to phone.\nsorry,unable to update.Please confirm if your phone is ready.\n ";
constexpr const char* kTcpFailed = "tcp connection failed";
constexpr const char* kUpdating = "Updating ... please wait until the update led stop on and off";

// SaveToolOptions writes the values as the window would and hands them to the command.
class FakeCommandHost : public CommandHost {
 public:
  CommandValues SaveToolOptions() override;
  uint32_t IpFieldAddress() const override { return ipField; }
  std::string WorkingDirectory() const override { return workingDirectory; }

  int linkType = 1;
  int page = 0;
  int chipType = 4;
  // Each test names its phone; until then an address nothing answers on, never the window's private default.
  uint32_t ipField = loopback::kCommandHostDefault.value;
  std::string portName = "COM1";
  std::string workingDirectory;
  int sdramLength = 0;
  bool storeFails = false;  // SaveToolOptions reports that the store could not be written
  int saves = 0;
};

// A dotted address as the IP field holds it (first octet most significant).
uint32_t FieldAddress(const std::string& dotted);

}  // namespace quill::test
