// The system's file-dialog filter strings ("Label (*.a)|*.a|All files (*.*)|*.*||") as label/pattern pairs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quill {

struct FileFilter {
  std::string label;                  // "Binary files (*.bin)"
  std::vector<std::string> patterns;  // {"*.bin"}
};

std::vector<FileFilter> ParseFileFilter(std::string_view filter);
// True when name matches one of the patterns ("*.*" and "*" match every name; case is ignored).
bool MatchesFilter(const FileFilter& filter, std::string_view name);

}  // namespace quill
