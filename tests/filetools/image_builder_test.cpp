// The image builders against a work tree in a temporary drive C.
#include "filetools/image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "filetools/file_convert_tools.h"
#include "filetools/hex_file.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using Page = std::vector<uint8_t>;

// Piece name -> path under drive C and the marker byte of its page.
const std::map<std::string, std::pair<const char*, uint8_t>> kPieces = {
    {"P0", {"zediza323/page0/page0.hex", 0x10}},          {"P1", {"zediza323/main/page1.hex", 0x11}},
    {"WEL", {"zediza323/welcome/welcome.hex", 0x12}},     {"G723", {"zediza323/g723/g723.hex", 0x13}},
    {"G723M", {"zediza323/g723misc/g723misc.hex", 0x14}}, {"P4", {"zediza323/main/page4.hex", 0x15}},
    {"P5", {"zediza323/main/page5.hex", 0x16}},           {"G729", {"zediza323/g729/g729.hex", 0x17}},
    {"G729M", {"zediza323/g729misc/g729misc.hex", 0x18}}, {"P7", {"zediza323/page7/page7.hex", 0x19}},
    {"F40P7", {"zediza323/page7/f40page7.hex", 0x1A}},
};

class ImageBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ASSERT_TRUE(SettingsStore::Profile().WriteString("Paths", "DriveC", dir_.Path()).Ok());
    std::filesystem::create_directories(dir_.File("zediza323"));
  }

  // Each piece fills 16 bytes at 0x0000 and the last 16 bytes of its page with its marker.
  void MakePiece(const std::string& piece) {
    auto [path, marker] = kPieces.at(piece);
    std::filesystem::create_directories(std::filesystem::path(dir_.File(path)).parent_path());
    test::WriteFile(dir_.File(path), test::HexRecord(0, test::Bytes(16, marker, 0)) +
                                         test::HexRecord(0xFFF0, test::Bytes(16, marker, 0)) +
                                         ":00000001FF\n");
  }
  void MakeAll() {
    for (const auto& [name, piece] : kPieces) MakePiece(name);
  }
  static Page PageOf(const std::string& piece) {
    Page p(kPageSize, 0xFF);
    uint8_t marker = kPieces.at(piece).second;
    std::fill_n(p.begin(), 16, marker);
    std::fill_n(p.end() - 16, 16, marker);
    return p;
  }
  static Page ImageOf(const std::vector<std::string>& pieces) {
    Page image;
    for (const auto& piece : pieces) {
      Page p = PageOf(piece);
      image.insert(image.end(), p.begin(), p.end());
    }
    return image;
  }
  Page Read(const std::string& name) const { return test::ReadBytes(dir_.File("zediza323/" + name)); }
  std::vector<std::string> Images() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.File("zediza323")))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  ToolResult Press(const char* variant) { return RunBuildVariant(ui_, *FindBuildVariant(variant)); }
  // The messages' first lines: the system's texts (the second line names the file and the reason).
  std::vector<std::string> Headlines() const {
    std::vector<std::string> lines;
    for (const auto& m : ui_.messages) lines.push_back(m.text.substr(0, m.text.find('\n')));
    return lines;
  }

  test::TempDir dir_;
  test::FakeUi ui_;
};

TEST_F(ImageBuilderTest, SevenPageVariantsAddTheBootPageInTheirAllImage) {
  MakeAll();
  const std::vector<std::string> pages = {"WEL", "G723", "G723M", "P4", "P5", "G729", "P7"};
  std::vector<std::string> all = {"P0"};
  all.insert(all.end(), pages.begin(), pages.end());
  const std::pair<const char*, std::pair<const char*, const char*>> variants[] = {
      {"VT20F", {"vt20f.bin", "vt20f_all.bin"}},    {"VT20FB", {"VT20FB.bin", "VT20FB_all.bin"}},
      {"TERN_A", {"TERN_A.bin", "TERN_A_all.bin"}}, {"TERN_A_4T", {"TERN_A_4T.bin", "TERN_A_4T_all.bin"}},
      {"MERLE", {"MERLE.bin", "MERLE_all.bin"}},
  };
  for (const auto& [variant, files] : variants) {
    SCOPED_TRACE(variant);
    Press(variant);
    Page image = Read(files.first);
    Page allImage = Read(files.second);
    EXPECT_EQ(image.size(), 7u * kPageSize);
    EXPECT_EQ(image, ImageOf(pages));
    // The "_all" image is the boot page followed by the plain image, byte for byte.
    Page expectedAll = PageOf("P0");
    expectedAll.insert(expectedAll.end(), image.begin(), image.end());
    EXPECT_EQ(allImage, expectedAll);
    EXPECT_EQ(allImage, ImageOf(all));
  }
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(ImageBuilderTest, VariantsWithCodecImagesAndFortyPageSeven) {
  MakeAll();
  Press("VT20G");
  Page g = Read("VT20G.bin");
  ASSERT_EQ(g.size(), 15u * kPageSize);
  for (int k = 6; k < 15; ++k)
    EXPECT_TRUE(std::equal(g.begin() + (ptrdiff_t{k} * kPageSize), g.begin() + (ptrdiff_t{k + 1} * kPageSize),
                           PageOf("P7").begin()))
        << k;
  Page gAll = PageOf("P0");
  gAll.insert(gAll.end(), g.begin(), g.end());
  EXPECT_EQ(Read("VT20G_all.bin"), gAll);

  Press("KX30D");
  EXPECT_EQ(Read("KX30D.bin"), ImageOf({"WEL", "G723", "G723M", "P4", "P5", "P7"}));
  EXPECT_EQ(Read("KX30D_9.bin"), ImageOf({"WEL", "G729", "G729M", "P4", "P5", "P7"}));
  Press("ORLAN");
  EXPECT_EQ(Read("ORLAN.bin"), ImageOf({"WEL", "G723", "G723M", "P4", "P5", "P7"}));
  EXPECT_EQ(Read("ORLAN_9.bin"), ImageOf({"WEL", "G729", "G729M", "P4", "P5", "P7"}));
  EXPECT_EQ(Read("ORLAN_all.bin"), ImageOf({"P0", "WEL", "G723", "G723M", "P4", "P5", "P7", "F40P7"}));
  Press("BRISK_D");
  EXPECT_EQ(Read("BRISK_D.bin"), ImageOf({"WEL", "G723", "G723M", "P4", "P5", "G729"}));
  EXPECT_EQ(Read("BRISK_D_all.bin"), ImageOf({"P0", "WEL", "G723", "G723M", "P4", "P5", "G729", "F40P7"}));
  for (const char* v : {"VT20B", "VT20C", "VT20E"}) {
    Press(v);
    EXPECT_EQ(Read(std::string(v) + ".bin"), ImageOf({"P1", "G723", "G723M"}));
    EXPECT_EQ(Read(std::string(v) + "_9.bin"), ImageOf({"P1", "G729", "G729M"}));
    EXPECT_EQ(Read(std::string(v) + "_all.bin"), ImageOf({"P0", "P1", "G723", "G723M"}));
  }
  EXPECT_EQ(Images().size(), 2u + 2 + 3 + 2 + 3 * 3);  // VT20G, KX30D, ORLAN, BRISK_D; B, C, E
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ImageBuilderTest, AllImagesNeedTheirPieces) {
  MakeAll();
  std::filesystem::remove(dir_.File("zediza323/page0/page0.hex"));
  Press("VT20B");
  EXPECT_EQ(Images(), (std::vector<std::string>{"VT20B.bin", "VT20B_9.bin"}));
  EXPECT_EQ(Read("VT20B.bin").size(), 3u * kPageSize);
  EXPECT_EQ(Read("VT20B_9.bin").size(), 3u * kPageSize);

  // An older "_all" image stays as it was.
  MakePiece("P0");
  std::filesystem::remove(dir_.File("zediza323/page7/f40page7.hex"));
  test::WriteFile(dir_.File("zediza323/ORLAN_all.bin"), "old");
  Press("ORLAN");
  EXPECT_TRUE(test::FileExists(dir_.File("zediza323/ORLAN.bin")));
  EXPECT_TRUE(test::FileExists(dir_.File("zediza323/ORLAN_9.bin")));
  EXPECT_EQ(test::ReadFile(dir_.File("zediza323/ORLAN_all.bin")), "old");
  Press("BRISK_D");
  EXPECT_FALSE(test::FileExists(dir_.File("zediza323/BRISK_D_all.bin")));
  EXPECT_TRUE(ui_.messages.empty());  // nothing tells of a skipped image
}

TEST_F(ImageBuilderTest, MissingPiecesGiveBlankPagesAndAMessageEach) {
  MakePiece("P1");
  EXPECT_EQ(Press("VT20C"), ToolResult::KeptAfterFailure);
  std::vector<uint8_t> expected = PageOf("P1");
  expected.resize(size_t{3} * kPageSize, 0xFF);
  EXPECT_EQ(Read("VT20C.bin"), expected);
  EXPECT_EQ(Read("VT20C_9.bin"), expected);
  EXPECT_EQ(Headlines(), std::vector<std::string>(4, "can not open hex file"));
  EXPECT_EQ(ui_.Texts()[0],
            "can not open hex file\n" + dir_.File("zediza323/g723/g723.hex") + ": No such file or directory");
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(ImageBuilderTest, ImagesThatCannotBeCreatedAreReported) {
  MakeAll();
  std::filesystem::remove_all(dir_.File("zediza323"));
  std::filesystem::create_directories(dir_.File("zediza323/page0"));
  // Only the boot piece is there; the second image cannot be written into a file that is a folder. The
  // images of a button replace their files together: the first stays as it was.
  MakePiece("P0");
  test::WriteFile(dir_.File("zediza323/KX30D.bin"), "old");
  std::filesystem::create_directories(dir_.File("zediza323/KX30D_9.bin"));
  EXPECT_EQ(Press("KX30D"), ToolResult::Failed);
  const auto headlines = Headlines();
  EXPECT_EQ(std::count(headlines.begin(), headlines.end(), "Can not create dest file"), 1);
  EXPECT_EQ(ui_.Texts().back(),
            "Can not create dest file\n" + dir_.File("zediza323/KX30D_9.bin") + ": Is a directory");
  EXPECT_EQ(test::ReadFile(dir_.File("zediza323/KX30D.bin")), "old");
  EXPECT_EQ(Images(), std::vector<std::string>{"KX30D.bin"});
  EXPECT_EQ(ui_.waitCursorDepth, 0);
  // BuildImage itself, for a folder that does not exist.
  ui_.messages.clear();
  EXPECT_FALSE(BuildImage(ui_, dir_.File("no/such/x.bin"), {dir_.File("zediza323/page0/page0.hex")}));
  EXPECT_EQ(Headlines(), std::vector<std::string>{"Can not create dest file"});
  // Pieces end at the first empty name.
  EXPECT_TRUE(BuildImage(ui_, dir_.File("x.bin"), {dir_.File("zediza323/page0/page0.hex"), "", "ignored"}));
  EXPECT_EQ(test::ReadBytes(dir_.File("x.bin")), PageOf("P0"));
}

TEST(BuildVariants, FoundByNameAnyCaseOrByButton) {
  EXPECT_EQ(FindBuildVariant("tern_a_4t"), FindBuildVariantById(1187));
  EXPECT_STREQ(FindBuildVariant("VT20FB")->caption, "Build VT20FB");
  EXPECT_EQ(FindBuildVariant("VT20"), nullptr);
  EXPECT_EQ(FindBuildVariantById(1121), nullptr);
}

}  // namespace
}  // namespace quill
