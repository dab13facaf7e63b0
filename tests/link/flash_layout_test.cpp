// The flash tables: sectors per page and chip, and which page file fits which page (where the settings go
// is shown by the hand-over tests, on the bytes the phone received).
#include "link/flash_layout.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(FlashLayout, SectorsOfEachPage) {
  struct Row {
    int chip, page, first, end;
  };
  const Row rows[] = {
      {0, 0, 0, 4},  {0, 1, 4, 5}, {0, 5, 8, 9}, {0, 15, 18, 19},  // bottom boot: page 0 is four sectors
      {1, 3, 3, 7},  {1, 2, 2, 3}, {1, 4, 4, 5},                   // top boot, small sectors in page 3
      {2, 7, 7, 8},  {2, 0, 0, 1},                                 // uniform
      {3, 7, 7, 11}, {3, 6, 6, 7}, {3, 8, 8, 9}, {4, 15, 15, 19}, {4, 14, 14, 15}, {4, 0, 0, 1},
  };
  for (const Row& r : rows) {
    SectorRange s = PageSectors(r.chip, r.page);
    EXPECT_EQ(s.first, r.first) << "chip " << r.chip << " page " << r.page;
    EXPECT_EQ(s.end, r.end) << "chip " << r.chip << " page " << r.page;
  }
}

TEST(FlashLayout, APageFileFitsWhenItsNameNamesThePage) {
  struct Row {
    const char* name;
    int page, chip;
    bool fits;
  };
  const Row rows[] = {
      {"Page0.hex", 0, 4, true},   {"Page0.hex", 2, 1, false},       {"PAGE4.HEX", 2, 1, true},
      {"page4.hex", 2, 0, false},  {"page5-v2.hex", 3, 1, true},     {"page15.hex", 15, 4, true},
      {"page15.hex", 1, 4, false}, {"oldpage3.hex.bak", 3, 4, true}, {"page3.bin", 3, 4, false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(PageFileFits(r.name, r.page, r.chip), r.fits)
        << r.name << " page " << r.page << " chip " << r.chip;
}

}  // namespace
}  // namespace quill
