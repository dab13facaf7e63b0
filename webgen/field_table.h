// The form fields the phone's firmware knows, with the fixed templates that replace them in a converted
// page. Every template holds its value areas at fixed byte offsets; the firmware writes the current
// setting there before it serves the page, so the offsets below are part of the firmware's contract.
//
// Templates are bytes as the firmware receives them: the Chinese option labels are code page 936 (GBK)
// bytes, two per character, and every slot and width counts them that way.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace quill::webgen {

// Field indexes outside the name table.
constexpr int kNoField = -1;         // the element stays as written
constexpr int kTitleField = 68;      // the page's <title> element
constexpr int kNumberedNField = 69;  // a field named n + three digits
constexpr int kNumberedPField = 70;  // a field named p + three digits

// The width of each option's area in a list: eight blanks, or "selected".
constexpr int kOptionAreaWidth = 8;

enum class FieldKind {
  kValue,     // value= followed by a placeholder (x characters or 255.255.255.255)
  kCheckBox,  // the slot is the "C" of CHECKED
  kTitle,     // 32 x characters after <TITLE>
  kList,      // one slot per option, each an eight-byte area
};

// Which page language a template serves. Five lists have Chinese and English labels.
enum class FieldLanguage { kBoth, kChinese, kEnglish };

struct FieldEntry {
  int index;
  std::string_view name;  // empty for the title and the numbered fields
  FieldLanguage language;
  FieldKind kind;
  std::string_view text;  // the template's bytes
  // Offsets from the template's first byte; a list gives one per option. Unused entries are 0: no value
  // area can start at a template's first byte, which is always '<'.
  std::array<int, 7> slots;
  int width;  // of every slot of the entry
  int SlotCount() const {
    int n = 0;
    while (n < static_cast<int>(slots.size()) && slots[static_cast<size_t>(n)] != 0) ++n;
    return n;
  }
};

// Every entry, in index order (the five two-language lists give two entries each).
std::span<const FieldEntry> FieldTable();

// The entry for an index and page language; null for an index without a template.
const FieldEntry* FindFieldEntry(int index, bool chinese);

// The index of a field name, compared exactly (case matters); kNoField for a name not in the table.
int FieldIndexOfName(std::string_view name);

}  // namespace quill::webgen
