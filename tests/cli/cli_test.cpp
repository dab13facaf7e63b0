#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>

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
  // The caption is not shown: the system's repeat the text, and the prefix is said once.
  ui.MessageBox("connection succeeds，you may start updating now!", "connection succeeds", MbButtons::Ok,
                MbIcon::Information);
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
  EXPECT_NE(text.find("\nquilltool: connection succeeds，you may start updating now!\n"), std::string::npos)
      << text;
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

// --help, the manual and the completion are made from one declaration: each names every option of every
// subcommand, and the completion offers no option the help does not describe.
TEST(CliRegistry, HelpManualAndCompletionNameTheSameOptions) {
  const std::string manual = std::regex_replace(ManualPage(), std::regex(R"(\\-)"), "-");
  const std::string bash = BashCompletion();
  const std::string zsh = ZshCompletion();
  for (const auto& [name, cmd] : Subcommands()) {
    if (cmd.hidden) continue;
    SCOPED_TRACE(name);
    const size_t at = manual.find(".SS \"" + name);
    const size_t legacyAt = manual.find(".SS " + name + "\n");
    const size_t start = at != std::string::npos ? at : legacyAt;
    ASSERT_NE(start, std::string::npos);
    const std::string section = manual.substr(start, manual.find(".S", start + 4) - start);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bash, m, std::regex("\n    " + name + "\\)\n      opts=\"([^\"]*)\"")));
    std::set<std::string> completed;
    std::istringstream words(m[1].str());
    for (std::string w; words >> w;) completed.insert(w);
    std::set<std::string> declared;
    for (const Option& o : OptionsOf(cmd)) {
      declared.insert(o.name);
      if (!o.shortName.empty()) declared.insert(o.shortName);
      EXPECT_NE(SubcommandHelp(cmd).find(o.name), std::string::npos) << o.name;
      EXPECT_NE(section.find(o.name), std::string::npos) << o.name;
      EXPECT_NE(zsh.find("'" + o.name + "["), std::string::npos) << o.name;
      EXPECT_TRUE(!HelpFromDeclaration(cmd) || !o.help.empty()) << o.name;
    }
    EXPECT_EQ(completed, declared);
    EXPECT_NE(MainHelp().find("\n  " + name + " "), std::string::npos);
    EXPECT_NE(zsh.find("\n    '" + name + ":"), std::string::npos);
    EXPECT_TRUE(std::regex_search(bash, std::regex("compgen -W \"[^\"]*\\b" + name + "\\b")));
  }
  for (const Option& o : GlobalOptions()) {
    EXPECT_NE(MainHelp().find(o.name), std::string::npos) << o.name;
    EXPECT_NE(manual.find(o.name), std::string::npos) << o.name;
    EXPECT_NE(bash.find(o.name), std::string::npos) << o.name;
  }
}

// The same conventions for every subcommand: the global options after its name, the bad word named in a
// usage error (exit 2), messages prefixed once, -q keeping all but errors back.
TEST(CliConventions, UsageErrorsNameTheWordAndGlobalOptionsComeAnywhere) {
  test::ClearStore();
  test::TempDir dir;
  struct Case {
    std::string command;
    std::vector<std::string> args;
    std::string word;
  };
  const Case cases[] = {
      {"hex2bin", {"--bogus", "a.hex", "b.bin"}, "'--bogus'"},
      {"map2c", {"a", "b", "c"}, "'c'"},
      {"build", {"NO-SUCH-BOARD"}, "'NO-SUCH-BOARD'"},
      {"update-ring", {"--phone", loopback::kCliArguments.dotted, "--port", "COM3", "f"}, "'COM3'"},
      {"update-page", {"--phone", loopback::kCliArguments.dotted, "--page", "x"}, "'x'"},
      {"settings", {"export"}, "'export'"},
      {"options", {"--store"}, "--store"},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(c.command, c.args), kExitUsage) << c.command;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.word), std::string::npos) << err;
    EXPECT_EQ(err.rfind("quilltool: ", 0), 0u) << err;
  }

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunCli("factory-restore", {}), kExitOk);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("quilltool: Please operate on the phone keypad\n", 0), 0u) << err;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunCli("factory-restore", {"-q"}), kExitOk);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  // --store after the subcommand names the store that subcommand uses.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunCli("options", {"--store", dir.Path()}), kExitOk);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("# " + dir.Path() + "/"), std::string::npos);
  test::UsePrivateStore();
}

// --json: one object on stdout, for a run that wrote its file and for one that failed and wrote nothing.
TEST(CliConventions, JsonReportsTheRun) {
  test::ClearStore();
  test::TempDir dir;
  test::WriteFile(dir.File("a.hex"), test::HexOf(0, {0x11}));
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(RunCli("hex2bin", {"--json", dir.File("a.hex"), dir.File("a.bin")}), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_match(
      out, std::regex(R"(\{"outcome": "ok", "exit": 0, "message": "", "bytes": 65536, )"
                      R"("seconds": [0-9]+\.[0-9]{3}, "paths": \[".*a\.hex", ".*a\.bin"\]\}\n)")))
      << out;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(RunCli("bin2h", {dir.File("missing"), dir.File("m.h"), "--json"}), 1);
  ::testing::internal::GetCapturedStderr();
  out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(R"("outcome": "failed", "exit": 1, "message": "Can not open source file\n)" +
                     dir.File("missing")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("bytes": 0,)"), std::string::npos) << out;
}

}  // namespace
}  // namespace quill::cli
