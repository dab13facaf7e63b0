#include "filetools/c_header_name.h"

namespace quill {

std::string HeaderName(std::string_view path) {
  auto slash = path.find_last_of('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  auto dot = base.find_last_of('.');
  if (dot != std::string_view::npos) base = base.substr(0, dot);
  std::string name(base);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

}  // namespace quill
