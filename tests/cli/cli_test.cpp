#include <gtest/gtest.h>

#include <cstdio>

#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "tests/support/test_env.h"

namespace quill::cli {
namespace {

TEST(CliArgs, SeparatesOptionsValuesAndPositionals) {
  Args a({"--phone", "127.0.0.5", "--yes", "in.hex", "--page=3", "--", "--odd-name"}, {"--phone", "--page"});
  EXPECT_EQ(a.Value("--phone"), "127.0.0.5");
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

}  // namespace
}  // namespace quill::cli
