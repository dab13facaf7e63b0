// Where the system's fixed Windows paths and serial port names land on this machine.
//
// Drive map: "c:\zediza323\page0\page0.hex" becomes <DriveC>/zediza323/page0/page0.hex, where DriveC is
// store section "Paths", key "DriveC" (default: the user's home folder); other letters use "Drive<L>" with
// the same default. Backslashes become slashes, letter case is kept.
//
// COM port map: the stored names "COM1"/"COM2" stay; store section "Rs232", keys "COM1Device"/"COM2Device"
// (defaults /dev/ttyS0, /dev/ttyS1) give the device that is opened.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::string MapWindowsPath(std::string_view windowsPath);
std::string DriveFolder(char driveLetter);
std::string ComPortDevice(std::string_view portName);

// Joins a folder and a file name with one slash.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace quill
