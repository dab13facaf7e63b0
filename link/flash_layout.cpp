#include "link/flash_layout.h"

#include <cctype>
#include <string>

namespace quill {

const char* ChipName(int chipType) {
  static constexpr const char* kNames[kChipTypeCount] = {"AM29LV008B", "AM29LV002T", "AM29F040", "AM29LV004T",
                                                         "AM29LV008T"};
  return chipType >= 0 && chipType < kChipTypeCount ? kNames[chipType] : "";
}

SectorRange PageSectors(int chipType, int page) {
  switch (chipType) {
    case 0:  // bottom boot: the four small boot sectors make page 0, so every later page is 3 sectors on
      return page == 0 ? SectorRange{0, 4} : SectorRange{page + 3, page + 4};
    case 1:  // top boot: the small sectors sit in the last page of each chip
      if (page == 3) return {3, 7};
      break;
    case 3:
      if (page == 7) return {7, 11};
      break;
    case 4:
      if (page == 15) return {15, 19};
      break;
    default:  // uniform sectors
      break;
  }
  return {page, page + 1};
}

std::optional<SettingsLocation> SettingsLocationOf(int page, int chipType) {
  struct Row {
    int page;
    int chipType;
    SettingsLocation location;
  };
  static constexpr Row kRows[] = {
      {3, 1, {0xC000, 0xC100, false}}, {0, 0, {0x4000, 0, true}},  {7, 3, {0xA000, 0, false}},
      {15, 4, {0xA000, 0, false}},     {7, 2, {0x0200, 0, false}},
  };
  for (const Row& r : kRows)
    if (r.page == page && r.chipType == chipType) return r.location;
  return std::nullopt;
}

bool PageFileFits(std::string_view fileName, int page, int chipType) {
  std::string lower(fileName);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto contains = [&lower](const std::string& s) { return lower.find(s) != std::string::npos; };
  if (contains("page" + std::to_string(page) + ".hex")) return true;
  if (chipType == 1 && page == 2 && contains("page4")) return true;
  if (chipType == 1 && page == 3 && contains("page5")) return true;
  return false;
}

}  // namespace quill
