// Field names and templates: which known field a form tag is, and the template that replaces it together
// with the slot records that tell the firmware where each value area lies in the converted page.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "webgen/field_table.h"

namespace quill::webgen {

// The firmware's table of value slots holds this many records per page.
constexpr size_t kMaxSlotRecords = 512;
// The firmware keeps pages in 256-byte blocks of its page memory.
constexpr size_t kBlockSize = 256;

// One row of a page's Info table, in the order the firmware reads it.
struct SlotRecord {
  int index;     // field index
  int block;     // slot position / 256
  int width;     // bytes of the value area
  int offset;    // slot position % 256
  int overflow;  // bytes of the value area that lie in the next block
  bool operator==(const SlotRecord&) const = default;
};

SlotRecord MakeSlotRecord(int index, size_t position, int width);

struct FieldName {
  // "name=" (or "NAME=") followed directly by a blank, ">" or the tag's end: the page is malformed.
  bool nameError = false;
  int index = kNoField;
  int number = 0;  // of a numbered field (n or p + three digits), written into its template
};

// The field a form tag stands for: the text of an "<input" tag or of a "<select" opening tag.
FieldName FieldIndex(std::string_view tag);

// The template of a field placed at position of the converted page, adding its slot records. Nothing is
// added and nothing returned when the records would pass kMaxSlotRecords, or for an index without a
// template. number is that of FieldName for the numbered fields.
std::optional<std::string> FieldTemplate(int index, size_t position, bool chinese, int number,
                                         std::vector<SlotRecord>& records);

}  // namespace quill::webgen
