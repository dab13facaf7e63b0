// Shared by the web generator tests: readable slot records in failure messages, and the test data folder.
#pragma once

#include <ostream>
#include <string>

#include "webgen/field_template.h"

namespace quill::webgen {

inline void PrintTo(const SlotRecord& r, std::ostream* os) {
  *os << "{" << r.index << ", " << r.block << ", " << r.width << ", " << r.offset << ", " << r.overflow
      << "}";
}

inline std::string WebgenTestData(const std::string& name) {
  return std::string(QUILL_SOURCE_DIR) + "/tests/webgen/data/" + name;
}

}  // namespace quill::webgen

namespace quill::webgen {

// Whether the record points at a value area of its width in the converted page: the bytes the firmware
// will overwrite must be placeholder bytes and nothing else.
inline bool PlaceholderAt(const std::string& page, const SlotRecord& r) {
  const size_t at = static_cast<size_t>(r.block) * kBlockSize + static_cast<size_t>(r.offset);
  const auto w = static_cast<size_t>(r.width);
  if (at + w > page.size()) return false;
  const std::string area = page.substr(at, w);
  const bool xRun = area.find_first_not_of('x') == std::string::npos;
  if (r.index == kTitleField) return xRun && page.compare(at + w, 8, "</TITLE>") == 0;
  if (area == "CHECKED" || area == "255.255.255.255" || (xRun && page[at + w] == ' ')) return true;
  if (w > 1 && area.substr(0, w - 1).find_first_not_of('x') == std::string::npos && area[w - 1] == '"')
    return page[at - 1] == '"';
  if (w == 8 && (area == "        " || area == "selected")) return page[at + 8] == '>';
  return false;
}

}  // namespace quill::webgen
