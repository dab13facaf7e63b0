#include "platform/paths.h"

#include <cctype>
#include <cstdlib>

#include "platform/settings_store.h"

namespace quill {
namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : std::string("/");
}

}  // namespace

std::string DriveFolder(char driveLetter) {
  std::string key = "Drive";
  key += static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter)));
  return SettingsStore::Profile().GetString("Paths", key, HomeFolder());
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (out.empty()) return std::string(name);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string MapWindowsPath(std::string_view windowsPath) {
  std::string rest(windowsPath);
  std::string folder;
  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    folder = DriveFolder(rest[0]);
    rest.erase(0, 2);
  }
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (folder.empty()) return rest;
  std::string out = JoinPath(folder, rest);
  // A trailing separator of a folder path stays: callers join prompt names to it as they are.
  if (!rest.empty() && rest.back() == '/' && out.back() != '/') out += '/';
  return out;
}

std::string ComPortDevice(std::string_view portName) {
  std::string name(portName);
  if (name == "COM1") return SettingsStore::Profile().GetString("Rs232", "COM1Device", "/dev/ttyS0");
  if (name == "COM2") return SettingsStore::Profile().GetString("Rs232", "COM2Device", "/dev/ttyS1");
  // Any other name is taken as a device path as it stands.
  return name;
}

}  // namespace quill
