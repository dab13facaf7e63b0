// `quilltool ports`: the serial devices of this computer and what COM1 and COM2 stand for; `quilltool ports
// map COM1 DEVICE` changes that, through the store, so nobody edits the store file by hand.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "transport/serial_devices.h"

namespace quill::cli {
namespace {

const char kDescription[] =
    "Lists the serial devices of this computer (ttyS ports found in hardware, ttyUSB, ttyACM, with the\n"
    "USB vendor, product and serial number and their /dev/serial/by-id names) and the device behind\n"
    "COM1 and COM2. `map` stores the device a COM port opens (store section \"Rs232\", key \"COM1Device\"\n"
    "or \"COM2Device\"); a /dev/serial/by-id name stays right when the adapter moves to another socket.\n"
    "A serial command takes --device PATH to use another device for one run without storing it.\n"
    "Environment: QUILL_DEV_ROOT and QUILL_SYSFS_ROOT replace /dev and /sys in the listing.\n";

constexpr const char* kPorts[] = {"COM1", "COM2"};

void Complain(const std::string& text) {
  std::fprintf(stderr, "quilltool ports: %s\n", text.c_str());
}

// Two paths that name one device (a by-id link and the node it points at).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string Describe(const SerialDevice& d) {
  std::string line = d.path;
  if (!d.driver.empty()) line += "  driver " + d.driver;
  if (!d.vendorId.empty()) {
    line += "  usb " + d.vendorId + ":" + d.productId;
    for (const std::string* text : {&d.manufacturer, &d.product})
      if (!text->empty()) line += "  \"" + *text + "\"";
    if (!d.serial.empty()) line += "  serial " + d.serial;
  }
  return line;
}

int List(TerminalUi& ui) {
  SettingsStore& store = SettingsStore::Profile();
  const StoreHealth health = store.Health();
  if (!health.Fine()) ui.Message(health.Message());
  const std::vector<SerialDevice> devices = ListSerialDevices();
  std::string mapped[2];
  for (int i = 0; i < 2; ++i) {
    const std::string key = std::string(kPorts[i]) + "Device";
    mapped[i] = ComPortDevice(kPorts[i]);
    struct stat st {};
    const bool present = ::stat(mapped[i].c_str(), &st) == 0;
    std::printf("%s  %s  (%s%s)\n", kPorts[i], mapped[i].c_str(),
                store.Contains("Rs232", key) ? "stored" : "default",
                !present ? "; not present" : (S_ISCHR(st.st_mode) ? "" : "; not a device"));
  }
  if (devices.empty()) {
    std::printf("No serial devices found.\n");
  }
  for (const SerialDevice& d : devices) {
    std::string line = Describe(d);
    for (int i = 0; i < 2; ++i)
      if (SameFile(mapped[i], d.path)) line += std::string("  [") + kPorts[i] + "]";
    std::printf("%s\n", line.c_str());
    for (const std::string& name : d.byId) std::printf("    %s\n", name.c_str());
  }
  return health.state == StoreHealth::State::Unreadable ? kExitFailure : kExitOk;
}

int Map(const std::vector<std::string>& words, TerminalUi& ui) {
  if (words.size() != 3) return UsageError("ports", "map takes a COM port and a device");
  const std::string& port = words[1];
  const std::string& device = words[2];
  if (port != kPorts[0] && port != kPorts[1])
    return UsageError("ports", "give COM1 or COM2, not '" + port + "'");
  // The store is read from wherever the tool runs next: a relative path would mean another file there.
  if (device.empty() || device.front() != '/')
    return UsageError("ports", "the device must be an absolute path, not '" + device + "'");
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0)
    Complain(device + ": not present now; mapped all the same");
  else if (!S_ISCHR(st.st_mode))
    Complain(device + ": not a character device; mapped all the same");
  const StoreResult stored = SettingsStore::Profile().WriteString("Rs232", port + "Device", device);
  if (!stored) {
    ui.Message(stored.Message());
    return kExitFailure;
  }
  std::printf("%s  %s\n", port.c_str(), device.c_str());
  return kExitOk;
}

int Run(const Args& args, TerminalUi& ui) {
  const auto& words = args.Positionals();
  if (words.empty()) return List(ui);
  if (words[0] == "map") return Map(words, ui);
  return UsageError("ports", "give map or nothing, not '" + words[0] + "'");
}

const bool registered = [] {
  Subcommand c{
      "ports",      "list the serial devices and the device behind COM1 and COM2; `ports map` changes it",
      kDescription, {},
      {},           Run};
  c.synopsis = "[map COM1|COM2 DEVICE]";
  c.words = {"map"};
  c.maxPositionals = 3;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
