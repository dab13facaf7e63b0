#include "transport/serial_devices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/file_io.h"

namespace quill {
namespace {

namespace fs = std::filesystem;

// The kinds listed, in the order shown.
constexpr std::array<std::string_view, 3> kKinds = {"ttyS", "ttyUSB", "ttyACM"};

// A sysfs attribute is one short line; anything longer is not one.
constexpr size_t kMaxAttribute = 4096;
// How far above a tty's device its driver and its USB device may lie.
constexpr int kMaxLevels = 4;

std::string RootFrom(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string root = value && *value ? value : fallback;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

// The kind's index and the number of a name such as "ttyUSB3"; false for any other name.
bool ParseName(std::string_view name, size_t& kind, unsigned long& number) {
  for (size_t k = 0; k < kKinds.size(); ++k) {
    if (name.substr(0, kKinds[k].size()) != kKinds[k]) continue;
    std::string_view digits = name.substr(kKinds[k].size());
    if (digits.empty() || digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;  // "ttyS" is also the start of "ttySAC0", which is none of ours
    kind = k;
    number = std::strtoul(std::string(digits).c_str(), nullptr, 10);
    return true;
  }
  return false;
}

std::string ReadAttribute(const fs::path& path) {
  std::string text;
  if (ReadWholeFile(path.string(), kMaxAttribute, text, nullptr) != ReadStatus::Ok) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// What sysfs says about one tty; false when it has no device behind it: a ttyS the serial driver keeps a
// slot for but found no hardware for.
bool ReadSysfs(const std::string& sysRoot, const std::string& name, size_t kind, SerialDevice& out) {
  std::error_code ec;
  const fs::path tty = fs::path(sysRoot) / "class" / "tty" / name;
  const fs::path device = tty / "device";
  const bool hasDevice = fs::exists(device, ec);
  if (kind == 0) {
    if (!hasDevice) return false;
    // The 8250 driver reports the UART it found; 0 is none.
    const std::string type = ReadAttribute(tty / "type");
    if (type == "0") return false;
  }
  if (!hasDevice) return true;
  // Walking up from the tty's device: the first driver that is not the serial core's own port and
  // controller devices (kernels since 6.5 put those between the tty and the UART's driver), and the first
  // folder that carries a USB vendor.
  fs::path at = fs::canonical(device, ec);
  const fs::path top = fs::canonical(sysRoot, ec);
  for (int level = 0; !ec && level < kMaxLevels && !at.empty() && at != top && at != at.parent_path();
       ++level, at = at.parent_path()) {
    if (out.driver.empty()) {
      std::error_code linkError;
      const std::string driver = fs::read_symlink(at / "driver", linkError).filename().string();
      if (!linkError && driver != "port" && driver != "ctrl") out.driver = driver;
    }
    std::error_code vendorError;
    if (!out.vendorId.empty() || !fs::exists(at / "idVendor", vendorError)) continue;
    out.vendorId = ReadAttribute(at / "idVendor");
    out.productId = ReadAttribute(at / "idProduct");
    out.manufacturer = ReadAttribute(at / "manufacturer");
    out.product = ReadAttribute(at / "product");
    out.serial = ReadAttribute(at / "serial");
  }
  return true;
}

struct Ranked {
  size_t kind;
  unsigned long number;
  SerialDevice device;
};

}  // namespace

std::string SerialDevRoot() {
  return RootFrom("QUILL_DEV_ROOT", "/dev");
}

std::string SerialSysfsRoot() {
  return RootFrom("QUILL_SYSFS_ROOT", "/sys");
}

std::vector<SerialDevice> ListSerialDevices() {
  const std::string devRoot = SerialDevRoot();
  const std::string sysRoot = SerialSysfsRoot();
  std::vector<Ranked> found;
  std::error_code ec;
  for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end && found.size() < kMaxSerialDevices;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    Ranked r{};
    if (!ParseName(name, r.kind, r.number)) continue;
    r.device.path = it->path().string();
    if (!IsCharacterDevice(r.device.path)) continue;
    if (!ReadSysfs(sysRoot, name, r.kind, r.device)) continue;
    found.push_back(std::move(r));
  }
  std::sort(found.begin(), found.end(), [](const Ranked& a, const Ranked& b) {
    return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
  });

  // The stable names: each points at one of the devices above (by its name, however the link is written).
  std::vector<std::pair<std::string, std::string>> links;  // by-id path, target name
  const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
  ec.clear();
  for (fs::directory_iterator it(byId, ec), end; !ec && it != end && links.size() < kMaxSerialDevices;
       it.increment(ec)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(it->path(), linkError);
    if (!linkError) links.emplace_back(it->path().string(), target.filename().string());
  }
  std::sort(links.begin(), links.end());

  std::vector<SerialDevice> devices;
  devices.reserve(found.size());
  for (Ranked& r : found) {
    const std::string name = fs::path(r.device.path).filename().string();
    for (const auto& [path, target] : links)
      if (target == name) r.device.byId.push_back(path);
    devices.push_back(std::move(r.device));
  }
  return devices;
}

std::string SerialOpenFailureText(const std::string& device, int error) {
  char buffer[256];
  std::string text = device + ": " + ::strerror_r(error, buffer, sizeof buffer);
  struct stat st {};
  const bool exists = ::stat(device.c_str(), &st) == 0;
  if ((error == EACCES || error == EPERM) && exists) {
    std::string group = std::to_string(st.st_gid);
    struct group entry {};
    struct group* result = nullptr;
    std::array<char, 4096> names{};
    if (::getgrgid_r(st.st_gid, &entry, names.data(), names.size(), &result) == 0 && result &&
        result->gr_name)
      group = result->gr_name;
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
      text += "\nThe device belongs to the group " + group + ": add your user to it (sudo usermod -aG " +
              group + " \"$USER\"), then log in again.";
    else
      text += "\nThe device's group (" + group +
              ") may not read and write it either: ask the administrator for access (a udev rule).";
  } else if (error == EBUSY) {
    text += "\nAnother program holds the device (fuser -v " + device + " names it).";
  } else if (error == ENOTTY) {
    text = device + ": not a serial device";
  }
  return text;
}

}  // namespace quill
