// The name that a generated C header gives its macros and array: a file's base name (folder and
// extension removed), upper-cased. Used as it is: characters that are no part of a C identifier stay.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::string HeaderName(std::string_view path);

}  // namespace quill
