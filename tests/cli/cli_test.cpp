#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_main.h"
#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

namespace quill::cli {
namespace {

TEST(CliArgs, SeparatesOptionsValuesAndPositionals) {
  Args a({"--phone", loopback::kCliArguments.dotted, "--yes", "in.hex", "--page=3", "--", "--odd-name"},
         {"--phone", "--page"});
  EXPECT_EQ(a.Value("--phone"), loopback::kCliArguments.dotted);
  EXPECT_EQ(a.Value("--page"), "3");
  EXPECT_TRUE(a.Has("--yes"));
  EXPECT_EQ(a.Positionals(), (std::vector<std::string>{"in.hex", "--odd-name"}));
  EXPECT_EQ(a.Unknown({"--yes"}), std::vector<std::string>{});
  EXPECT_EQ(a.Unknown({}), std::vector<std::string>{"--yes"});
  Args missing({"--phone"}, {"--phone"});
  EXPECT_FALSE(missing.Error().empty());
}

TEST(CliArgs, IntegersAreWholeDecimalOrHexadecimal) {
  EXPECT_EQ(ParseIntegerArg("640000"), 640000);
  EXPECT_EQ(ParseIntegerArg("0x81"), 0x81);
  EXPECT_EQ(ParseIntegerArg("12a"), std::nullopt);
  EXPECT_EQ(ParseIntegerArg(""), std::nullopt);
}

TEST(TerminalUi, MessagesGoToStderrAndFileDialogsTakeTheArgumentsInOrder) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.hex"), ":00000001FF\n");
  FILE* err = std::tmpfile();
  TerminalUi ui(err, stdout);
  ui.PushFileAnswer(dir.File("a.hex"));
  ui.PushFileAnswer(dir.File("missing.hex"));
  FileDialogSpec open;
  EXPECT_EQ(ui.FileDialog(open), dir.File("a.hex"));
  EXPECT_EQ(ui.FileDialog(open), std::nullopt);  // not there: refused like the dialog would
  EXPECT_EQ(ui.FileDialog(open), std::nullopt);  // no more answers: cancelled
  ui.Message("Can not open source file");
  EXPECT_TRUE(ui.ReportedError());
  EXPECT_EQ(ui.MessageBox("Are you sure about flash page?", "x", MbButtons::YesNo, MbIcon::Question), MbResult::No);
  ui.SetAnswerYes(true);
  EXPECT_EQ(ui.MessageBox("Are you sure about flash page?", "x", MbButtons::YesNo, MbIcon::Question), MbResult::Yes);
  std::rewind(err);
  char buf[4096] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, err);
  std::string text(buf, n);
  EXPECT_NE(text.find("quilltool: Can not open source file\n"), std::string::npos) << text;
  std::fclose(err);
}

// The names a file tool remembers are saved together when the tool ends; both must be there, and a later
// tool's names must not undo an earlier tool's.
TEST(CliFileTools, ATwoFileToolRemembersBothNames) {
  test::ClearStore();
  test::TempDir dir;
  test::WriteFile(dir.File("a.bin"), std::string("\x01\x02\x03", 3));
  test::WriteFile(dir.File("p.hex"), ":0100000055AA\n:00000001FF\n");
  ASSERT_EQ(RunCli("bin2h", {dir.File("a.bin"), dir.File("a.h")}), 0);
  ASSERT_EQ(RunCli("hex2bin", {dir.File("p.hex"), dir.File("p.bin")}), 0);
  auto& store = SettingsStore::Profile();
  EXPECT_EQ(store.GetString("Binary2H", "SrcName", ""), dir.File("a.bin"));
  EXPECT_EQ(store.GetString("Binary2H", "DstName", ""), dir.File("a.h"));
  EXPECT_EQ(test::ReadFile(dir.File("p.bin")).substr(0, 2), "\x55\xFF");
  EXPECT_EQ(store.GetString("HEX2BIN", "DstName", ""), dir.File("p.bin"));
}

}  // namespace
}  // namespace quill::cli
