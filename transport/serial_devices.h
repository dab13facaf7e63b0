// The serial devices of this machine, for a technician choosing what COM1 and COM2 stand for, and the words
// that tell a user why a device could not be opened and what to do about it.
//
// The devices are read from the device folder and from sysfs: ttyS* that a driver found in hardware (the
// serial driver lists many more ports than a machine has), every ttyUSB* and ttyACM*, and the stable names
// under serial/by-id that point at them, with the USB vendor, product and serial number where sysfs has
// them. The environment variables QUILL_DEV_ROOT (default /dev) and QUILL_SYSFS_ROOT (default /sys) move both
// roots, so that a made-up tree in a folder can stand for a machine.
#pragma once

#include <string>
#include <vector>

namespace quill {

struct SerialDevice {
  std::string path;    // under the device folder: /dev/ttyUSB0
  std::string driver;  // the kernel driver, when sysfs names one: "ftdi_sio", "cdc_acm", "serial8250"
  // USB devices only; empty when not USB or not known.
  std::string vendorId;   // "0403"
  std::string productId;  // "6001"
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::vector<std::string> byId;  // the serial/by-id names that point at this device, full paths
};

// Every serial device found, ordered by kind (ttyS, ttyUSB, ttyACM) and number. Bounded: at most
// kMaxSerialDevices are listed.
std::vector<SerialDevice> ListSerialDevices();
constexpr size_t kMaxSerialDevices = 256;

// The device folder and the sysfs root in force (the environment's, or /dev and /sys).
std::string SerialDevRoot();
std::string SerialSysfsRoot();

// "DEVICE: REASON" for a device that could not be opened with the system's error, followed, where the user
// can do something about it, by a line that says what: the group that owns the device (usually dialout) for
// a device the user may not open, the program that holds it for a busy one.
std::string SerialOpenFailureText(const std::string& device, int error);

}  // namespace quill
