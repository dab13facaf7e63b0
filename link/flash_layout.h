// What the flash page update knows of the phone's flash: the five chips it can carry, which erase sectors
// make up each 64 KiB page, where a page holds the settings record, and which page file fits which page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quill {

constexpr int kChipTypeCount = 5;
constexpr int kFlashPageCount = 16;
constexpr size_t kFlashPageSize = 65536;
// A page image: what one page of the flash holds, erased flash (0xFF) where a file does not say.
using FlashPage = std::array<uint8_t, kFlashPageSize>;

// Radio order of "PFlash型号" is the chip type number.
const char* ChipName(int chipType);

// The sectors of a page: first, and end one past the last. They are erased from end - 1 down to first.
struct SectorRange {
  int first = 0;
  int end = 0;
};
SectorRange PageSectors(int chipType, int page);

// Where the settings image goes into a page image before it is sent.
struct SettingsLocation {
  size_t offset = 0;
  // The phone reads this page up to here whatever the HEX file covers (0: the used size is sent).
  size_t fixedLength = 0;
  // Page 0 of the bottom-boot chip holds the loader's own table in front of the settings; a file that
  // does not carry it there is not a page 0 file.
  bool checkSignature = false;
};
std::optional<SettingsLocation> SettingsLocationOf(int page, int chipType);

constexpr uint8_t kPage0Signature[6] = {0x02, 0x1D, 0x7B, 0x00, 0x00, 0x00};

// Whether the page file's name (with extension, any case) names the selected page: "page<N>.hex", or for
// the top-boot AM29LV002T the two pages whose files carry other numbers (page 2 "page4", page 3 "page5").
bool PageFileFits(std::string_view fileName, int page, int chipType);

}  // namespace quill
