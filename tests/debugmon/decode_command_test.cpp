// `quilltool decode` run as a user runs it, through the shell.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "debugmon/debug_decoder.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

class DecodeCommand : public ::testing::Test {
 protected:
  // The exit code of `quilltool --store DIR decode ARGS`, its stdout and stderr kept in files.
  int Run(const std::string& args) {
    std::string command = std::string(QUILL_TEST_BINARY_DIR) + "/quilltool --store '" + dir_.File("store") +
                          "' decode " + args + " >'" + dir_.File("out") + "' 2>'" + dir_.File("err") + "'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Out() { return test::ReadFile(dir_.File("out")); }
  std::string Err() { return test::ReadFile(dir_.File("err")); }

  test::TempDir dir_;
  const std::string input_ = "0x1018 3\r\n0x1085 112\n\nboot 0x1000 0x1001\n0X1018 0xFFFF\n0x10a5";
  const std::string expected_ =
      "arp send 3\r\nras adm rej--resource unavailable 112\n\nboot check point 0 check point 1\n0X1018 "
      "0xFFFF\n"
      "h2250 release complete--noBandwith";
};

TEST_F(DecodeCommand, DecodesAFileStandardInputOrDash) {
  test::WriteFile(dir_.File("log.txt"), input_);
  const std::string quoted = "'" + dir_.File("log.txt") + "'";
  for (const std::string& args : {quoted, "< " + quoted, "- < " + quoted}) {
    ASSERT_EQ(Run(args), 0) << args << "\n" << Err();
    EXPECT_EQ(Out(), expected_) << args;
    EXPECT_EQ(Err(), "") << args;
  }
}

TEST_F(DecodeCommand, LongInputKeepsEveryLine) {
  // Several read blocks, so lines cross block edges.
  std::string input, expected;
  for (int i = 0; i < 200000; ++i) {
    input += "t=" + std::to_string(i) + " 0x1085 16 0x1018 " + std::to_string(i) + "\n";
    expected += "t=" + std::to_string(i) +
                " ras adm rej--invalid permission -- permission has expired 16 arp send " +
                std::to_string(i) + "\n";
  }
  test::WriteFile(dir_.File("big.txt"), input);
  ASSERT_EQ(Run("'" + dir_.File("big.txt") + "'"), 0) << Err();
  EXPECT_TRUE(Out() == expected) << "output of " << Out().size() << " bytes differs; expected "
                                 << expected.size();

  // A line over 1 MiB, beginning inside a read block, is decoded in pieces of 1 MiB counted from its start,
  // each on its own (a code cut at a piece's end stays as it is); the lines around it are whole. The first
  // piece ends between two codes, so a cut one byte off splits one and shows.
  constexpr size_t kPiece = size_t{1} << 20;
  std::string line = "pad ";
  while (line.size() < 2 * kPiece + kPiece / 2) line += "0x1018";
  ASSERT_EQ((kPiece - 4) % 6, 0u);
  const std::string before = "a 0x1018\n", after = "b 0x1085 16\n";
  expected = DecodeDebugLine("a 0x1018") + "\n";
  for (size_t at = 0; at < line.size(); at += kPiece) expected += DecodeDebugLine(line.substr(at, kPiece));
  expected += "\n" + DecodeDebugLine("b 0x1085 16") + "\n";
  test::WriteFile(dir_.File("long.txt"), before + line + "\n" + after);
  ASSERT_EQ(Run("'" + dir_.File("long.txt") + "'"), 0) << Err();
  EXPECT_TRUE(Out() == expected) << "output of " << Out().size() << " bytes differs; expected "
                                 << expected.size();
}

TEST_F(DecodeCommand, FailuresGiveAMessageAndAFailingExitCode) {
  EXPECT_EQ(Run("'" + dir_.File("missing.txt") + "'"), 1);
  EXPECT_EQ(Err(), "quilltool: Can not open source file\n" + dir_.File("missing.txt") +
                       ": No such file or directory\n");
  EXPECT_EQ(Out(), "");
  // Decoded into itself, the log would be read back for ever.
  test::WriteFile(dir_.File("log"), "0x1018 3\n");
  std::string command = std::string(QUILL_TEST_BINARY_DIR) + "/quilltool --store '" + dir_.File("store") +
                        "' decode '" + dir_.File("log") + "' >>'" + dir_.File("log") + "' 2>'" +
                        dir_.File("err") + "'";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
  EXPECT_NE(Err().find("the same file as standard output"), std::string::npos) << Err();
  EXPECT_EQ(test::ReadFile(dir_.File("log")), "0x1018 3\n");
  test::WriteFile(dir_.File("a"), "x");
  EXPECT_EQ(Run("'" + dir_.File("a") + "' '" + dir_.File("a") + "'"), 2);
  EXPECT_EQ(Run("--bogus"), 2);
}

}  // namespace
}  // namespace quill
