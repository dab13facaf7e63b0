#include "filetools/hex_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/application.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using test::Bytes;
using test::HexRecord;

TEST(CHexFile, KeepsTheFieldsOfTheLastRecord) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.hex"), ":0412340001020304AC\r\n:00000001FF\r\n");
  CHexFile f;
  ASSERT_TRUE(f.Open(dir.File("a.hex")));
  ASSERT_TRUE(f.ReadRecord());
  EXPECT_EQ(f.Line(), ":0412340001020304AC");
  EXPECT_EQ(f.AddressText(), "1234");
  EXPECT_EQ(f.DataText(), "01020304");
  EXPECT_EQ(f.Length(), 4);
  EXPECT_EQ(f.Address(), 0x1234);
  EXPECT_EQ(std::vector<uint8_t>(f.Data(), f.Data() + 4), Bytes(4, 1));
  EXPECT_FALSE(f.ReadRecord());  // the end record
  EXPECT_EQ(f.Line(), ":00000001FF");
}

struct LoadCase {
  const char* name;
  std::string text;
  int size;
  // Bytes expected at an offset after the load (the fill is 0xA5).
  std::vector<std::pair<int, std::vector<uint8_t>>> bytes;
};

class LoadHexFileTest : public ::testing::Test {
 protected:
  // The image sits inside a larger buffer whose guard bytes must never change.
  static constexpr int kGuard = 300;
  int Load(const std::string& text) {
    test::WriteFile(dir_.File("in.hex"), text);
    buffer_.assign(kPageSize + 2 * kGuard, 0xA5);
    return LoadHexFile(ui_, dir_.File("in.hex"),
                       std::span<uint8_t, kPageSize>(buffer_.data() + kGuard, kPageSize));
  }
  uint8_t At(int offset) const {
    const int index = kGuard + offset;
    return buffer_[static_cast<size_t>(index)];
  }
  bool GuardsIntact() const {
    auto intact = [](auto b, auto e) { return std::all_of(b, e, [](uint8_t v) { return v == 0xA5; }); };
    return intact(buffer_.begin(), buffer_.begin() + kGuard) && intact(buffer_.end() - kGuard, buffer_.end());
  }
  size_t Changed() const {
    return static_cast<size_t>(
        std::count_if(buffer_.begin(), buffer_.end(), [](uint8_t v) { return v != 0xA5; }));
  }

  test::TempDir dir_;
  test::FakeUi ui_;
  std::vector<uint8_t> buffer_;
};

TEST_F(LoadHexFileTest, PlacesRecordsAndComputesTheSize) {
  const std::vector<uint8_t> four = {0x11, 0x22, 0x33, 0x44};
  const std::string good = HexRecord(0x0000, Bytes(16, 0x40));
  std::string badChecksum = HexRecord(0x0020, Bytes(16, 0x60));
  badChecksum[badChecksum.size() - 2] = badChecksum[badChecksum.size() - 2] == '0' ? '1' : '0';
  std::string lower = HexRecord(0x0abc, {0xAB, 0xCD, 0xEF});
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return std::tolower(c); });
  std::string shortLine = HexRecord(0x0100, Bytes(16, 0x80));
  shortLine.erase(20, 10);  // declared 16 bytes, carries fewer
  std::string badDigit = HexRecord(0x0100, Bytes(4, 0x80));
  badDigit[10] = 'G';

  const LoadCase cases[] = {
      {"EndRecordOnly", ":00000001FF\n", 0, {}},
      {"EmptyFile", "", 0, {}},
      {"FourBytesAt0x10",
       HexRecord(0x0010, four) + ":00000001FF\n",
       0x14,
       {{0x0010, four}, {0x000F, {0xA5}}}},
      {"BadChecksumEndsTheLoad",
       good + badChecksum + HexRecord(0x0040, Bytes(16)),
       16,
       {{0x0000, Bytes(16, 0x40)}, {0x0020, {0xA5}}, {0x0040, {0xA5}}}},
      {"ExtendedAddressEndsTheLoad",
       good + ":020000040001F9\n" + HexRecord(0x0010, four),
       16,
       {{0x0000, Bytes(16, 0x40)}, {0x0010, {0xA5}}}},
      {"LineWithoutColonEndsTheLoad",
       good + "\n" + HexRecord(0x0010, four),
       16,
       {{0x0000, Bytes(16, 0x40)}, {0x0010, {0xA5}}}},
      {"OutOfOrderKeepsTheFirstEnd",
       HexRecord(0x0100, four) + HexRecord(0x0000, four),
       0x0104,
       {{0x0000, four}, {0x0100, four}}},
      {"LaterRecordOverwrites",
       HexRecord(0x0010, four) + HexRecord(0x0012, {0x99}),
       0x14,
       {{0x0010, {0x11, 0x22, 0x99, 0x44}}}},
      {"LowerCaseDigitsReadAsUpperCase", lower, 0x0abf, {{0x0abc, {0xAB, 0xCD, 0xEF}}}},
      {"CrLfLineEnds", ":040010001122334442\r\n:00000001FF\r\n", 0x14, {{0x0010, four}}},
      {"LastLineWithoutLineEnd", ":040010001122334442", 0x14, {{0x0010, four}}},
      {"LongRecordReadWhole", HexRecord(0x0200, Bytes(32, 1)), 0x0220, {{0x0200, Bytes(32, 1)}}},
      {"MaximalRecord", HexRecord(0x1000, Bytes(255, 7)), 0x10FF, {{0x1000, Bytes(255, 7)}}},
      {"ShortLineEndsTheLoad",
       good + shortLine + HexRecord(0x0010, four),
       16,
       {{0x0000, Bytes(16, 0x40)}, {0x0100, {0xA5}}}},
      {"NonHexDigitEndsTheLoad", good + badDigit, 16, {{0x0000, Bytes(16, 0x40)}, {0x0100, {0xA5}}}},
      {"ZeroLengthRecord", HexRecord(0x0300, {}), 0x0300, {{0x0300, {0xA5}}}},
      {"PastTheEndIsDropped", HexRecord(0xFFF8, Bytes(16, 0x10)), kPageSize, {{0xFFF8, Bytes(8, 0x10)}}},
      {"FullPage", test::HexOf(0, Bytes(kPageSize, 3, 7)), kPageSize, {{0, Bytes(kPageSize, 3, 7)}}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Load(c.text), c.size);
    size_t expectedChanges = 0;
    for (const auto& [offset, bytes] : c.bytes) {
      for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(At(offset + static_cast<int>(i)), bytes[i]) << offset + i;
      for (uint8_t b : bytes) expectedChanges += b != 0xA5;
    }
    EXPECT_EQ(Changed(), expectedChanges);  // nothing else was touched
    EXPECT_TRUE(GuardsIntact());
  }
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(LoadHexFileTest, MissingFileShowsThePlainMessageAndLoadsNothing) {
  PageImage image;
  image.fill(0xFF);
  EXPECT_EQ(LoadHexFile(ui_, dir_.File("missing.hex"), image), 0);
  EXPECT_EQ(LoadHexFile(ui_, dir_.Path(), image), 0);  // a folder is no HEX file
  ASSERT_EQ(ui_.messages.size(), 2u);
  // The system's message first, then the file and the reason.
  EXPECT_EQ(ui_.messages[0].text,
            "can not open hex file\n" + dir_.File("missing.hex") + ": No such file or directory");
  EXPECT_EQ(ui_.messages[1].text, "can not open hex file\n" + dir_.Path() + ": Is a directory");
  EXPECT_EQ(ui_.messages[0].caption, ApplicationName());
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Exclamation);
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::Ok);
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t v) { return v == 0xFF; }));
}

TEST_F(LoadHexFileTest, LinesLongerThanTheReadBufferAreNotCut) {
  // One line of 1 MiB (no record) ends the load; the record before it counts.
  std::string text =
      HexRecord(0, Bytes(4, 9)) + std::string(size_t{1} << 20, '0') + "\n" + HexRecord(16, Bytes(4));
  EXPECT_EQ(Load(text), 4);
  // A record split over the reader's buffer boundary is read as a whole.
  std::string pad;
  while (pad.size() < (size_t{256} << 10) - 20) pad += HexRecord(0x0000, {0x01});
  EXPECT_EQ(Load(pad + HexRecord(0x0040, Bytes(32, 5))), 0x60);
  EXPECT_EQ(At(0x5F), static_cast<uint8_t>(5 + 31));
}

}  // namespace
}  // namespace quill
