// The text tools: bank-switch merge, debug-file conversion and digit map.
#include <gtest/gtest.h>

#include "filetools/debug_file_converter.h"
#include "filetools/digit_map.h"
#include "filetools/file_convert_tools.h"
#include "filetools/hex_merge.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

class TextToolsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  // The messages' first lines: the system's texts (the second line names the file and the reason).
  std::vector<std::string> Headlines() const {
    std::vector<std::string> lines;
    for (const auto& m : ui_.messages) lines.push_back(m.text.substr(0, m.text.find('\n')));
    return lines;
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  test::TempDir dir_;
  test::FakeUi ui_;
};

TEST_F(TextToolsTest, MergeKeepsOneEndRecordAtTheEnd) {
  test::WriteFile(File("page1.hec"), ":0100000011EE\n:00000001FF\n");
  test::WriteFile(File("page1.hed"), ":0100100022CD\r\n:00000001FF\r\n:00000001ff\r\n");
  ui_.AnswerFile(File("page4.hex"));
  ui_.AnswerFile(File("page1.hec"));
  ui_.AnswerFile(File("page1.hed"));
  EXPECT_EQ(MergeHexTool(ui_), ToolResult::Done);
  // Lines are copied as text; only the exact end record is left out.
  EXPECT_EQ(test::ReadFile(File("page4.hex")),
            ":0100000011EE\r\n:0100100022CD\r\n:00000001ff\r\n:00000001FF\r\n");
  ASSERT_EQ(ui_.fileDialogs.size(), 3u);  // never more than two sources
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "page4.hex");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.hex");
  EXPECT_EQ(ui_.fileDialogs[1].filter, "Bank-switch hex files (*.he?)|*.he?|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[1].defaultExt, "*.he?");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "page1.hec");
  EXPECT_EQ(ui_.fileDialogs[2].initialName, File("page1.hec"));  // the second offers the first choice
}

TEST_F(TextToolsTest, MergeEdges) {
  // First source dialog cancelled: the end record alone.
  ui_.AnswerFile(File("only.hex"));
  EXPECT_EQ(MergeHexTool(ui_), ToolResult::Done);
  EXPECT_EQ(test::ReadFile(File("only.hex")), ":00000001FF\r\n");

  // A source that cannot be opened: no merge is made, an older destination stays as it was.
  test::WriteFile(File("a.hec"), ":0100000011EE");
  test::WriteFile(File("m.hex"), "old");
  ui_.AnswerFile(File("m.hex"));
  ui_.AnswerFile(File("a.hec"));
  ui_.AnswerFile(File("gone.hed"));
  EXPECT_EQ(MergeHexTool(ui_), ToolResult::Failed);
  EXPECT_EQ(test::ReadFile(File("m.hex")), "old");
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not open source file\n" + File("gone.hed") +
                                                  ": No such file or directory"});

  // A destination that cannot be created: reported, no source asked for.
  size_t dialogs = ui_.fileDialogs.size();
  ui_.AnswerFile(File("no/such/m.hex"));
  EXPECT_EQ(MergeHexTool(ui_), ToolResult::Failed);
  EXPECT_EQ(ui_.fileDialogs.size(), dialogs + 1);
  EXPECT_EQ(Headlines().back(), "Can not create dest file");
}

TEST_F(TextToolsTest, DebugConversionStopsAtTheFirstLineThatIsNoText) {
  test::WriteFile(File("sdram.dat"), std::string("0x10 up\r\n\nsecond 0x20\n") + "\xFF" + "rest\nafter\n");
  ui_.AnswerFile(File("sdram.dat"));
  ui_.AnswerFile(File("convert.dat"));
  auto decode = [](std::string_view line) { return "<" + std::string(line) + ">"; };
  EXPECT_EQ(ConvertDebugTool(ui_, decode), ToolResult::Done);
  EXPECT_EQ(test::ReadFile(File("convert.dat")), "<0x10 up>\r\n<>\r\n<second 0x20>\r\n");
  ASSERT_EQ(ui_.fileDialogs.size(), 2u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Open);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "sdram.dat");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.dat");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "convert.dat");
  EXPECT_EQ(ui_.fileDialogs[1].filter, ui_.fileDialogs[0].filter);

  // Control characters and DEL end it too; a zero byte starts an empty line.
  const std::pair<std::string, std::string> cases[] = {
      {"a\n\tb\nc\n", "<a>\r\n"},
      {"a\n\x7F\nc\n", "<a>\r\n"},
      {std::string("a\n\0zz\nc\n", 8), "<a>\r\n<>\r\n<c>\r\n"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) {
    test::WriteFile(File("in.dat"), in);
    ui_.AnswerFile(File("in.dat"));
    ui_.AnswerFile(File("out.dat"));
    EXPECT_EQ(ConvertDebugTool(ui_, decode), ToolResult::Done);
    EXPECT_EQ(test::ReadFile(File("out.dat")), out);
  }
}

TEST_F(TextToolsTest, DebugConversionButtonUsesTheDebugDecoder) {
  test::WriteFile(File("sdram.dat"),
                  std::string("0x1018 3\r\nboot 0x1000\r\n\r\n") + "\x01\x02garbage\n0x1018\n");
  ui_.AnswerFile(File("sdram.dat"));
  ui_.AnswerFile(File("convert.dat"));
  CFileConvertTools tools(ui_);
  ASSERT_TRUE(tools.PressButton(1173));
  EXPECT_EQ(tools.LastResult(), ToolResult::Done);
  EXPECT_EQ(test::ReadFile(File("convert.dat")), "arp send 3\r\nboot check point 0\r\n\r\n");
  EXPECT_EQ(SettingsStore::Profile().GetString("ConvertDebug", "SrcName", ""), File("sdram.dat"));
  EXPECT_EQ(SettingsStore::Profile().GetString("ConvertDebug", "DstName", ""), File("convert.dat"));
}

TEST_F(TextToolsTest, DebugConversionWithoutSourceCreatesNothing) {
  ui_.AnswerFile(File("missing.dat"));
  ui_.AnswerFile(File("out.dat"));
  EXPECT_EQ(ConvertDebugTool(ui_, [](std::string_view l) { return std::string(l); }), ToolResult::Failed);
  EXPECT_EQ(Headlines(), std::vector<std::string>{"Can not open source file"});
  EXPECT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_FALSE(test::FileExists(File("out.dat")));
}

std::string Zeros(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "0, ";
  return s;
}

TEST(DigitMapText, FillsTwoThousandFortyEightItemsSixteenALine) {
  const uint8_t small[] = {'x', 13, 10};
  std::string text = DigitMapText(small, 3);
  std::string expected = "'x', 0x0d, 0x0a, " + Zeros(13);
  for (int line = 1; line < 128; ++line) expected += "\n" + Zeros(16);
  EXPECT_EQ(text, expected);

  // Past the 2047th byte nothing is taken: the last item is always 0.
  std::vector<uint8_t> big(3000, '5');
  text = DigitMapText(big.data(), big.size());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 127);
  EXPECT_EQ(text.substr(text.size() - 13), "'5', '5', 0, ");
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\'')), 2 * 2047u);

  // The characters that would break a character constant are escaped.
  const uint8_t odd[] = {'\'', '\\', 0, '"', 'A'};
  EXPECT_EQ(DigitMapText(odd, 5).substr(0, 31), "'\\'', '\\\\', '\\0', '\"', 'A', 0, ");
}

TEST_F(TextToolsTest, DigitMapToolWritesTheTextWithCrLf) {
  test::WriteFile(File("map.txt"), "1x\n");
  ui_.AnswerFile(File("map.txt"));
  ui_.AnswerFile(File("map.h"));
  EXPECT_EQ(ConvertMapTool(ui_), ToolResult::Done);
  std::string text = test::ReadFile(File("map.h"));
  EXPECT_EQ(text.substr(0, 20), "'1', 'x', 0x0a, 0, 0");
  EXPECT_EQ(text.size(), 2048u * 3 + 7 + 127 * 2);  // CR LF between lines, none at the end
  EXPECT_EQ(text.substr(text.size() - 6), "0, 0, ");
  ASSERT_EQ(ui_.fileDialogs.size(), 2u);
  EXPECT_EQ(ui_.fileDialogs[0].filter, "Text files (*.txt)|*.txt|All files (*.*)|*.*||");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.txt");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "sdram.dat");
  EXPECT_EQ(ui_.fileDialogs[1].initialName, "demo.h");
  EXPECT_EQ(SettingsStore::Profile().GetString("ConvertMap", "SrcName", ""), File("map.txt"));
  EXPECT_EQ(SettingsStore::Profile().GetString("ConvertMap", "DstName", ""), File("map.h"));
  EXPECT_EQ(ui_.waitCursorDepth, 0);

  ui_.AnswerFile(File("map.txt"));
  ui_.AnswerFile(File("no/such/map.h"));
  EXPECT_EQ(ConvertMapTool(ui_), ToolResult::Failed);
  EXPECT_EQ(Headlines(), std::vector<std::string>{"Can not create dest file"});
}

}  // namespace
}  // namespace quill
