// The application's identity: its name is the program's file name without extension; it names the
// settings store and is the caption of plain message boxes.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::string ApplicationName();
// From argv[0]: folder and extension removed. An empty result keeps the default "quilltool".
void SetApplicationNameFromPath(std::string_view argv0);
void SetApplicationName(std::string name);

}  // namespace quill
