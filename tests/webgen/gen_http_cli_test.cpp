#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"
#include "tests/webgen/webgen_test_util.h"
#include "webgen/http_generator.h"

namespace quill::cli {
namespace {

using test::ReadFile;
using test::TempDir;

struct CommandRun {
  int code;
  std::string err;
};

CommandRun GenHttp(const std::vector<std::string>& args) {
  FILE* err = std::tmpfile();
  TerminalUi ui(err, stdout);
  CommandRun r{RunSubcommand("gen-http", args, ui), ""};
  std::rewind(err);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, err)) > 0) r.err.append(buf, n);
  std::fclose(err);
  return r;
}

TEST(GenHttpCommand, ConvertsLikeTheDialogWithoutTouchingTheStore) {
  test::ClearStore();
  TempDir cli, lib;
  const std::string voip = webgen::WebgenTestData("voip.htm"), audio = webgen::WebgenTestData("audio.htm");
  struct Row {
    std::vector<std::string> flags;
    bool chinese, replace;
  };
  const Row rows[] = {{{}, false, true}, {{"--chinese"}, true, true}, {{"--no-replace"}, false, false}};
  for (const Row& row : rows) {
    std::vector<std::string> args = {"--msg",         cli.File("m.h"), "--info",
                                     cli.File("i.h"), "--common",      cli.File("c.h")};
    args.insert(args.end(), row.flags.begin(), row.flags.end());
    args.push_back(voip);
    args.push_back(audio);
    CommandRun r = GenHttp(args);
    ASSERT_EQ(r.code, kExitOk) << r.err;

    webgen::GenHttpOptions o;
    o.chinese = row.chinese;
    o.replace = row.replace;
    o.msgFile = lib.File("m.h");
    o.infoFile = lib.File("i.h");
    o.commonFile = lib.File("c.h");
    test::FakeUi ui;
    ASSERT_TRUE(webgen::GenerateHttpFiles(o, {voip, audio}, ui));
    for (const char* name : {"m.h", "i.h", "c.h"})
      EXPECT_EQ(ReadFile(cli.File(name)), ReadFile(lib.File(name))) << name;
  }
  EXPECT_FALSE(SettingsStore::Profile().Contains("GenHttp", "MsgFile"));
}

TEST(GenHttpCommand, TempPatternWritesTemporaryPages) {
  TempDir dir;
  CommandRun r = GenHttp({"--msg", dir.File("m.h"), "--info", dir.File("i.h"), "--common", dir.File("c.h"),
                          "--temp", dir.File("x.htm"), webgen::WebgenTestData("dial.htm")});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(
      ReadFile(dir.File("temp_page_0.htm")).find("<INPUT name=iddcode value=xxxx size=5 maxlength=4>\n"),
      std::string::npos);
}

TEST(GenHttpCommand, FailuresGiveAnExitCodeAndTheMessage) {
  TempDir dir;
  const std::vector<std::string> outs = {"--msg",         dir.File("m.h"), "--info",
                                         dir.File("i.h"), "--common",      dir.File("c.h")};
  EXPECT_EQ(GenHttp(outs).code, kExitUsage);  // no page
  EXPECT_EQ(GenHttp({"--msg", dir.File("m.h"), webgen::WebgenTestData("dial.htm")}).code, kExitUsage);

  std::vector<std::string> args = outs;
  args.push_back(dir.File("missing.htm"));
  CommandRun r = GenHttp(args);
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("Can not open source file"), std::string::npos) << r.err;

  test::WriteFile(dir.File("bad.htm"), "<input name= >");
  args = outs;
  args.push_back(dir.File("bad.htm"));
  r = GenHttp(args);
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("Source Html " + dir.File("bad.htm") + " has format error"), std::string::npos)
      << r.err;
}

// Through the command line: a run that fails or is refused leaves every file as it was, whatever the
// class of fault: a page named as an output (also through a link or as a temporary page), two outputs
// that are one file, an output that cannot be written, a page that is no file.
TEST(GenHttpCommand, AFailedOrRefusedRunLeavesEveryFileAsItWas) {
  TempDir dir;
  const std::string page = dir.File("a.htm");
  test::WriteFile(page, "<input name=ip>");
  test::WriteFile(dir.File("temp_page_0.htm"), "<p>page 0</p>");
  std::filesystem::create_symlink(page, dir.File("link.htm"));
  ::mkfifo(dir.File("fifo.htm").c_str(), 0644);
  const std::map<std::string, std::string> files = {{"m.h", "old m"},
                                                    {"i.h", "old i"},
                                                    {"c.h", "old c"},
                                                    {"a.htm", "<input name=ip>"},
                                                    {"temp_page_0.htm", "<p>page 0</p>"}};
  for (const auto& [name, content] : files) test::WriteFile(dir.File(name), content);
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::string same = ": the same file as the ";
  const Case cases[] = {
      {{"--msg", dir.File("link.htm"), "--info", dir.File("i.h"), "--common", dir.File("c.h"), page},
       "Can not open source file\n" + page + same + "destination " + dir.File("link.htm")},
      {{"--msg", dir.File("m.h"), "--info", dir.File("./m.h"), "--common", dir.File("c.h"), page},
       dir.File("./m.h") + same + "destination " + dir.File("m.h")},
      {{"--msg", dir.File("m.h"), "--info", dir.File("i.h"), "--common", dir.File("c.h"), "--temp",
        dir.File("x.htm"), dir.File("temp_page_0.htm")},
       dir.File("temp_page_0.htm") + same + "source"},
      {{"--msg", dir.File("m.h"), "--info", dir.File("i.h"), "--common", "/dev/full", page},
       "/dev/full: No space left on device"},
      {{"--msg", dir.File("m.h"), "--info", dir.File("i.h"), "--common", dir.File("c.h"), page,
        dir.File("fifo.htm")},
       dir.File("fifo.htm") + ": a FIFO or pipe, not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    CommandRun r = GenHttp(c.args);
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    for (const auto& [name, content] : files) EXPECT_EQ(ReadFile(dir.File(name)), content) << name;
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, files.size() + 2);  // no temporary file left: the link and the FIFO besides
  }
}

}  // namespace
}  // namespace quill::cli
