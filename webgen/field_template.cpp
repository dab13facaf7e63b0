#include "webgen/field_template.h"

#include <cstdio>

#include "platform/text.h"

namespace quill::webgen {
namespace {

// A numbered field's name: one letter and three bytes read as atoi reads them, skipping leading white
// space, taking a sign and stopping at the first non-digit ("n12a" is field 12).
constexpr size_t kNumberedNameLength = 4;
// Where "001" stands in the numbered templates "<INPUT name=n001 ...".
constexpr size_t kNumberedDigitsAt = 13;

}  // namespace

SlotRecord MakeSlotRecord(int index, size_t position, int width) {
  const int offset = static_cast<int>(position % kBlockSize);
  const int spill = offset + width - static_cast<int>(kBlockSize);
  return SlotRecord{index, static_cast<int>(position / kBlockSize), width, offset, spill > 0 ? spill : 0};
}

FieldName FieldIndex(std::string_view tag) {
  FieldName result;
  size_t at = tag.find("name=");
  if (at == std::string_view::npos) at = tag.find("NAME=");
  if (at == std::string_view::npos) return result;

  const size_t begin = at + 5;
  size_t end = begin;
  while (end < tag.size() && tag[end] != '>' && tag[end] != ' ') ++end;
  std::string_view name = tag.substr(begin, end - begin);
  if (name.empty()) {
    result.nameError = true;
    return result;
  }
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);

  if (name.size() == kNumberedNameLength) {
    const int number = static_cast<int>(Atoi(name.substr(1)));
    if (number != 0 && (name[0] == 'n' || name[0] == 'p')) {
      result.index = name[0] == 'n' ? kNumberedNField : kNumberedPField;
      result.number = number;
      return result;
    }
  }
  result.index = FieldIndexOfName(name);
  return result;
}

std::optional<std::string> FieldTemplate(int index, size_t position, bool chinese, int number,
                                         std::vector<SlotRecord>& records) {
  const FieldEntry* entry = FindFieldEntry(index, chinese);
  if (!entry) return std::nullopt;
  const int slots = entry->SlotCount();
  if (records.size() + static_cast<size_t>(slots) > kMaxSlotRecords) return std::nullopt;

  std::string text(entry->text);
  if (index == kNumberedNField || index == kNumberedPField) {
    // The number comes from three bytes of the name, so "%03d" always gives three bytes (-99 to 999).
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", number);
    text.replace(kNumberedDigitsAt, 3, digits, 3);
  }
  for (int i = 0; i < slots; ++i)
    records.push_back(MakeSlotRecord(
        index, position + static_cast<size_t>(entry->slots[static_cast<size_t>(i)]), entry->width));
  return text;
}

}  // namespace quill::webgen
