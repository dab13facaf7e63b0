#include "platform/file_filter.h"

#include <cctype>

namespace quill {
namespace {

std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t end = s.find(sep, start);
    out.emplace_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

bool Glob(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == '*') {
    for (size_t i = 0; i <= name.size(); ++i)
      if (Glob(pattern.substr(1), name.substr(i))) return true;
    return false;
  }
  if (name.empty()) return false;
  bool same = pattern.front() == '?' ||
              std::tolower(static_cast<unsigned char>(pattern.front())) ==
                  std::tolower(static_cast<unsigned char>(name.front()));
  return same && Glob(pattern.substr(1), name.substr(1));
}

}  // namespace

std::vector<FileFilter> ParseFileFilter(std::string_view filter) {
  std::vector<FileFilter> out;
  auto parts = Split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // "||" ends the list
    FileFilter f;
    f.label = parts[i];
    for (auto& p : Split(parts[i + 1], ';'))
      if (!p.empty()) f.patterns.push_back(p);
    out.push_back(std::move(f));
  }
  return out;
}

bool MatchesFilter(const FileFilter& filter, std::string_view name) {
  for (const auto& p : filter.patterns) {
    if (p == "*.*" || p == "*") return true;
    if (Glob(p, name)) return true;
  }
  return false;
}

}  // namespace quill
