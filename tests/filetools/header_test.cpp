// The HEX and binary conversions: whole outputs compared, and the file choices of their tools.
#include <gtest/gtest.h>

#include <algorithm>

#include "filetools/data_to_header.h"
#include "filetools/file_choice.h"
#include "filetools/file_convert_tools.h"
#include "filetools/hex_file.h"
#include "filetools/hex_to_binary.h"
#include "filetools/hex_to_header.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using test::Bytes;
using test::HexRecord;

std::string Items(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  std::string s;
  char buf[8];
  for (size_t i = from; i < from + count; ++i) {
    std::snprintf(buf, sizeof buf, "0x%02x, ", bytes[i]);
    s += buf;
  }
  return s;
}

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  test::TempDir dir_;
  test::FakeUi ui_;
};

TEST_F(ConversionTest, HexToHeaderWritesTheUsedSizeSixteenItemsALine) {
  // 20 bytes: a line of 16, a line of 4, the brace without a line end.
  auto data = Bytes(20, 0xF0, 3);
  test::WriteFile(File("boot.hex"), test::HexOf(0, data));
  ASSERT_EQ(HexToHeader(ui_, File("boot.h"), File("boot.hex")), 1);
  EXPECT_EQ(test::ReadFile(File("boot.h")),
            "#define BOOT_CODE_SIZE\t20\r\nstatic CCHAR BOOT_Code[BOOT_CODE_SIZE] = {\r\n" +
                Items(data, 0, 16) + "\r\n" + Items(data, 16, 4) + "\r\n};");

  // 32 bytes from a lower-case name, starting above offset 0: the gap reads 0x00.
  std::vector<uint8_t> image(32, 0);
  std::copy_n(Bytes(24, 1).begin(), 24, image.begin() + 8);
  test::WriteFile(File("page.x.hex"), HexRecord(8, Bytes(24, 1)));
  int size = -1;
  ASSERT_EQ(HexToHeader(ui_, File("out.h"), File("page.x.hex"), &size), 1);
  EXPECT_EQ(size, 32);
  EXPECT_EQ(test::ReadFile(File("out.h")),
            "#define PAGE.X_CODE_SIZE\t32\r\nstatic CCHAR PAGE.X_Code[PAGE.X_CODE_SIZE] = {\r\n" +
                Items(image, 0, 16) + "\r\n" + Items(image, 16, 16) + "\r\n};");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ConversionTest, HexToHeaderWithoutDataCreatesNothing) {
  test::WriteFile(File("empty.hex"), ":00000001FF\n");
  int size = -1;
  EXPECT_EQ(HexToHeader(ui_, File("empty.h"), File("empty.hex"), &size), 1);
  EXPECT_EQ(size, 0);
  EXPECT_FALSE(test::FileExists(File("empty.h")));
  EXPECT_EQ(HexToHeader(ui_, File("missing.h"), File("missing.hex")), 1);
  EXPECT_FALSE(test::FileExists(File("missing.h")));
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"can not open hex file\n" + File("missing.hex") +
                                                  ": No such file or directory"});
}

TEST_F(ConversionTest, HeaderDestinationThatCannotBeCreatedIsReported) {
  test::WriteFile(File("a.hex"), test::HexOf(0, Bytes(4)));
  test::WriteFile(File("a.bin"), "abc");
  EXPECT_EQ(HexToHeader(ui_, File("no/such/a.h"), File("a.hex")), 0);
  EXPECT_EQ(DataToHeader(ui_, File("no/such/a.h"), File("a.bin")), 0);
  const std::string why = "Can not create dest file\n" + File("no/such/a.h") + ": No such file or directory";
  EXPECT_EQ(ui_.Texts(), (std::vector<std::string>{why, why}));
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(ConversionTest, DataToHeaderWritesTwentyFourItemsALineWithCrLf) {
  struct Case {
    size_t length;
    std::vector<size_t> lines;
  } cases[] = {{0, {}}, {1, {1}}, {24, {24}}, {25, {24, 1}}, {49, {24, 24, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    auto data = Bytes(c.length, 0x7E, 11);
    test::WriteFile(File("src.dat"), std::string(data.begin(), data.end()));
    ASSERT_EQ(DataToHeader(ui_, File("benji.h"), File("src.dat")), 1);
    std::string expected = "#define DATA_BENJI_SIZE\t" + std::to_string(c.length) +
                           "\r\n#ifdef __LOAD_SDRAM\r\nstatic CCHAR _cData_BENJI[DATA_BENJI_SIZE] = {\r\n";
    size_t at = 0;
    for (size_t n : c.lines) {
      expected += Items(data, at, n) + "\r\n";
      at += n;
    }
    expected += "};\r\n#endif\r\n";
    EXPECT_EQ(test::ReadFile(File("benji.h")), expected);
  }
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(ConversionTest, DataToHeaderWithoutSourceLeavesTheDestinationAlone) {
  test::WriteFile(File("old.h"), "keep");
  EXPECT_EQ(DataToHeader(ui_, File("old.h"), File("missing.dat")), 0);
  EXPECT_EQ(test::ReadFile(File("old.h")), "keep");
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not open source file\n" + File("missing.dat") +
                                                  ": No such file or directory"});
}

TEST_F(ConversionTest, ASourceNamedAsTheDestinationIsRefusedAndKept) {
  test::WriteFile(File("same.h"), "\x01\x02");
  EXPECT_EQ(DataToHeader(ui_, File("same.h"), File("same.h")), 0);
  EXPECT_EQ(test::ReadFile(File("same.h")), "\x01\x02");
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not create dest file\n" + File("same.h") +
                                                  ": the same file as the source " + File("same.h")});
  // A HEX file named as the binary file it is added to: the tool ends, nothing is written.
  test::WriteFile(File("a.hex"), test::HexOf(0, Bytes(4)));
  ui_.AnswerFile(File("a.hex"));
  ui_.AnswerFile(File("./a.hex"));
  EXPECT_EQ(HexToBinaryTool(ui_), ToolResult::Failed);
  EXPECT_EQ(test::ReadFile(File("a.hex")), test::HexOf(0, Bytes(4)));
  EXPECT_EQ(ui_.Texts().back(), "can not open hex file\n" + File("./a.hex") +
                                    ": the same file as the destination " + File("a.hex"));
}

TEST_F(ConversionTest, BinaryToHeaderStoresNamesOnlyWhenBothAreChosen) {
  test::WriteFile(File("a.dat"), "xyz");
  ui_.AnswerFile(File("a.dat"));
  ui_.AnswerFile(std::nullopt);
  EXPECT_EQ(BinaryToHeaderTool(ui_), ToolResult::Cancelled);
  EXPECT_FALSE(SettingsStore::Profile().Contains("Binary2H", "SrcName"));
  ASSERT_EQ(ui_.fileDialogs.size(), 2u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Open);
  EXPECT_EQ(ui_.fileDialogs[0].filter,
            "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.dat");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.dat");
  EXPECT_EQ(ui_.fileDialogs[1].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui_.fileDialogs[1].filter, "C Header files (*.h)|*.h|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[1].defaultExt, "*.h");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "demo.h");

  ui_.AnswerFile(File("a.dat"));
  ui_.AnswerFile(File("a.h"));
  EXPECT_EQ(BinaryToHeaderTool(ui_), ToolResult::Done);
  EXPECT_EQ(SettingsStore::Profile().GetString("Binary2H", "SrcName", ""), File("a.dat"));
  EXPECT_EQ(SettingsStore::Profile().GetString("Binary2H", "DstName", ""), File("a.h"));
  EXPECT_NE(test::ReadFile(File("a.h")).find("DATA_A_SIZE\t3\r\n"), std::string::npos);
  // The next run offers the stored names.
  EXPECT_EQ(BinaryToHeaderTool(ui_), ToolResult::Cancelled);
  EXPECT_EQ(ui_.fileDialogs.back().initialName, File("a.dat"));
}

TEST_F(ConversionTest, HexToCodeHeaderToolChoosesSourceThenHeader) {
  test::WriteFile(File("boot.hex"), test::HexOf(0, Bytes(3)));
  ui_.AnswerFile(File("boot.hex"));
  ui_.AnswerFile(File("boot.h"));
  EXPECT_EQ(HexToCodeHeaderTool(ui_), ToolResult::Done);
  ASSERT_EQ(ui_.fileDialogs.size(), 2u);
  EXPECT_EQ(ui_.fileDialogs[0].filter, "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.hex");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.hex");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "demo.h");
  EXPECT_EQ(SettingsStore::Profile().GetString("HEX2DATA", "SrcName", ""), File("boot.hex"));
  EXPECT_EQ(SettingsStore::Profile().GetString("HEX2DATA", "DstName", ""), File("boot.h"));
  EXPECT_TRUE(test::FileExists(File("boot.h")));
  // The source is stored even when the header dialog is cancelled.
  test::ClearStore();
  ui_.AnswerFile(File("boot.hex"));
  EXPECT_EQ(HexToCodeHeaderTool(ui_), ToolResult::Cancelled);
  EXPECT_EQ(SettingsStore::Profile().GetString("HEX2DATA", "SrcName", ""), File("boot.hex"));
}

TEST_F(ConversionTest, HexToBinaryAppendsOnePagePerHexFileInOrder) {
  test::WriteFile(File("a.hex"), test::HexOf(0x0010, Bytes(4, 0xA0)));
  test::WriteFile(File("b.hex"), test::HexOf(0xFFFC, Bytes(4, 0xB0)));
  ui_.AnswerFile(File("out.bin"));
  ui_.AnswerFile(File("a.hex"));
  ui_.AnswerFile(File("missing.hex"));  // still a page, of 0xFF: the window keeps what the tool made
  ui_.AnswerFile(File("b.hex"));
  EXPECT_EQ(HexToBinaryTool(ui_), ToolResult::KeptAfterFailure);
  std::vector<uint8_t> expected(size_t{3} * kPageSize, 0xFF);
  std::copy_n(Bytes(4, 0xA0).begin(), 4, expected.begin() + 0x0010);
  std::copy_n(Bytes(4, 0xB0).begin(), 4, expected.begin() + (ptrdiff_t{2} * kPageSize) + 0xFFFC);
  EXPECT_EQ(test::ReadBytes(File("out.bin")), expected);
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"can not open hex file\n" + File("missing.hex") +
                                                  ": No such file or directory"});
  // Save dialog first, then HEX dialogs until one is cancelled; each offers the file chosen last.
  ASSERT_EQ(ui_.fileDialogs.size(), 5u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui_.fileDialogs[0].filter, "Binary files (*.bin)|*.bin|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.bin");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.bin");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "demo.hex");
  EXPECT_EQ(ui_.fileDialogs[2].initialName, File("a.hex"));
  EXPECT_EQ(ui_.fileDialogs[4].initialName, File("b.hex"));
  EXPECT_EQ(SettingsStore::Profile().GetString("HEX2BIN", "DstName", ""), File("out.bin"));
}

TEST_F(ConversionTest, HexToBinaryEdges) {
  // Cancelling the first HEX dialog leaves an empty file; an end record alone gives a page of 0xFF.
  ui_.AnswerFile(File("none.bin"));
  EXPECT_EQ(HexToBinaryTool(ui_), ToolResult::Done);
  EXPECT_TRUE(test::FileExists(File("none.bin")));
  EXPECT_EQ(test::ReadFile(File("none.bin")), "");

  test::WriteFile(File("eof.hex"), ":00000001FF\n");
  ui_.AnswerFile(File("eof.bin"));
  ui_.AnswerFile(File("eof.hex"));
  EXPECT_EQ(HexToBinaryTool(ui_), ToolResult::Done);
  EXPECT_EQ(test::ReadBytes(File("eof.bin")), std::vector<uint8_t>(kPageSize, 0xFF));

  // A binary file that cannot be created is reported before any HEX file is asked for.
  size_t dialogs = ui_.fileDialogs.size();
  ui_.AnswerFile(File("no/such/out.bin"));
  ui_.AnswerFile(File("eof.hex"));
  EXPECT_EQ(HexToBinaryTool(ui_), ToolResult::Failed);
  EXPECT_EQ(ui_.fileDialogs.size(), dialogs + 1);
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not create dest file\n" + File("no/such/out.bin") +
                                                  ": No such file or directory"});
}

// In the window a name the store cannot keep is said once per button press, and the tool's work stands.
TEST_F(ConversionTest, AStoreThatCannotKeepTheNamesIsSaidOnceAndTheToolGoesOn) {
  test::WriteFile(File("a.dat"), "xyz");
  test::WriteFile(File("not-a-folder"), "");
  SettingsStore::SetLocation(File("not-a-folder"));
  ui_.AnswerFile(File("a.dat"));
  ui_.AnswerFile(File("a.h"));
  CFileConvertTools tools(ui_);
  ASSERT_TRUE(tools.PressButton(file_convert_id::kBinaryToHeader));
  EXPECT_EQ(tools.LastResult(), ToolResult::Done);
  EXPECT_NE(test::ReadFile(File("a.h")).find("DATA_A_SIZE\t3\r\n"), std::string::npos);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text.substr(0, ui_.messages[0].text.find('\n')),
            "Can not write the settings store");
  EXPECT_NE(ui_.messages[0].text.find(File("not-a-folder")), std::string::npos);
}

}  // namespace
}  // namespace quill
