#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli_main.h"
#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/settings_store.h"
#include "tests/support/hex_text.h"
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

// Each file question takes an answer of its own role, whatever order a tool asks in: a source never
// answers a destination question, nor the other way round. Messages go to stderr and decide nothing.
TEST(TerminalUi, FileQuestionsAreAnsweredByRole) {
  FILE* err = std::tmpfile();
  TerminalUi ui(err, stdout);
  ui.PushSourceAnswer("in1");
  ui.PushSourceAnswer("in2");
  ui.PushDestinationAnswer("out");
  FileDialogSpec source, destination, unstated;
  source.role = FileDialogSpec::Role::Source;
  destination.role = FileDialogSpec::Role::Destination;
  // The mode is the dialog's look, not the role: a save dialog asked as a source still takes a source.
  source.mode = FileDialogSpec::Mode::Save;
  EXPECT_EQ(ui.FileDialog(destination), "out");
  EXPECT_EQ(ui.FileDialog(source), "in1");
  EXPECT_EQ(ui.FileDialog(destination), std::nullopt);  // one output: a second question goes unanswered
  EXPECT_EQ(ui.FileDialog(source), "in2");
  EXPECT_EQ(ui.FileDialog(source), std::nullopt);
  EXPECT_EQ(ui.FileDialog(unstated), std::nullopt);
  // The one file of a command that asks for one answers whatever it is asked as.
  ui.PushFileAnswer("only");
  EXPECT_EQ(ui.FileDialog(unstated), "only");
  ui.Message("Can not open source file");
  EXPECT_EQ(ui.MessageBox("Are you sure about flash page?", "x", MbButtons::YesNo, MbIcon::Question),
            MbResult::No);
  ui.SetAnswerYes(true);
  EXPECT_EQ(ui.MessageBox("Are you sure about flash page?", "x", MbButtons::YesNo, MbIcon::Question),
            MbResult::Yes);
  std::rewind(err);
  char buf[4096] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, err);
  std::string text(buf, n);
  EXPECT_NE(text.find("quilltool: Can not open source file\n"), std::string::npos) << text;
  std::fclose(err);
}

// Through the commands: tools that ask for the output first (hex2bin, merge-hex) and those that ask for
// it last get their files by role; the exit code is the tool's result. A tool that goes on past a failure
// in the window (a HEX file it cannot read becomes a page of 0xFF) fails the command line's run, and
// nothing replaces the old output.
TEST(CliFileTools, FilesByRoleAndTheRunsResultAlone) {
  test::ClearStore();
  test::TempDir dir;
  test::WriteFile(dir.File("a.hex"), test::HexOf(0, {0x11}));
  test::WriteFile(dir.File("b.hex"), test::HexOf(0, {0x22}));
  test::WriteFile(dir.File("p.hec"), ":0100000011EE\n:00000001FF\n");
  ASSERT_EQ(RunCli("hex2bin", {dir.File("a.hex"), dir.File("b.hex"), dir.File("two.bin")}), 0);
  const std::string two = test::ReadFile(dir.File("two.bin"));
  ASSERT_EQ(two.size(), 2u * 65536);
  EXPECT_EQ(two[0], '\x11');
  EXPECT_EQ(two[65536], '\x22');
  ASSERT_EQ(RunCli("merge-hex", {dir.File("p.hec"), dir.File("m.hex")}), 0);
  EXPECT_EQ(test::ReadFile(dir.File("m.hex")), ":0100000011EE\r\n:00000001FF\r\n");
  ASSERT_EQ(RunCli("decode-debug", {dir.File("p.hec"), dir.File("d.txt")}), 0);

  // One HEX file that cannot be read: exit 1, the old output as it was, no temporary file left.
  test::WriteFile(dir.File("out.bin"), "old");
  EXPECT_EQ(RunCli("hex2bin", {dir.File("a.hex"), dir.File("missing.hex"), dir.File("out.bin")}), 1);
  EXPECT_EQ(test::ReadFile(dir.File("out.bin")), "old");
  EXPECT_EQ(RunCli("hex2bin", {dir.Path(), dir.File("a.hex"), dir.File("out.bin")}), 1);  // a folder
  EXPECT_EQ(test::ReadFile(dir.File("out.bin")), "old");
  // A tool that shows no message at all and writes nothing fails all the same.
  test::WriteFile(dir.File("eof.hex"), ":00000001FF\n");
  EXPECT_EQ(RunCli("hex2h", {dir.File("eof.hex"), dir.File("eof.h")}), 1);
  EXPECT_FALSE(test::FileExists(dir.File("eof.h")));
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
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

// A store that cannot keep the names a tool remembers fails the run, naming the store file, before the
// tool's output replaces anything.
TEST(CliFileTools, AStoreThatCannotBeWrittenFailsTheRunBeforeAnyOutput) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.bin"), "abc");
  test::WriteFile(dir.File("a.h"), "old");
  test::WriteFile(dir.File("not-a-folder"), "");
  SettingsStore::SetLocation(dir.File("not-a-folder"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunCli("bin2h", {dir.File("a.bin"), dir.File("a.h")}), 1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Can not write the settings store\n" + dir.File("not-a-folder")), std::string::npos)
      << err;
  EXPECT_EQ(test::ReadFile(dir.File("a.h")), "old");
}

}  // namespace
}  // namespace quill::cli
