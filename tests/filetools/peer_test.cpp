// The command-line tools as a user runs them, checked against other programs that read and write the same
// formats: objcopy and srec_cat make the HEX files and read them back, gcc compiles the headers. A check
// whose program is not installed is skipped with a message.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "tests/support/test_env.h"

namespace quill {
namespace {

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its exit status.
int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = std::string(QUILL_TEST_BINARY_DIR) + "/quilltool";
    if (!std::filesystem::exists(tool_)) GTEST_SKIP() << "quilltool is not built";
  }
  // quilltool with a store of its own; stderr kept in err.txt.
  int Tool(const std::string& args) {
    return Shell(Quote(tool_) + " --store " + Quote(dir_.File("store")) + " " + args + " 2>" +
                 Quote(dir_.File("err.txt")));
  }
  std::string Err() const { return test::ReadFile(dir_.File("err.txt")); }
  std::string F(const std::string& name) const { return Quote(dir_.File(name)); }
  std::string File(const std::string& name) const { return dir_.File(name); }

  // Compiles main.c against the headers of the folder with the firmware's two definitions; runs it
  // and returns what it wrote.
  std::string CompileAndRun(const std::string& source) {
    test::WriteFile(File("main.c"), source);
    EXPECT_EQ(
        Shell("gcc -std=c99 -Wall -Werror -Wno-unused-variable -DCCHAR='unsigned char' -D__LOAD_SDRAM -I" +
              F("") + " " + F("main.c") + " -o " + F("prog") + " 2>" + F("gcc.txt")),
        0)
        << test::ReadFile(File("gcc.txt"));
    EXPECT_EQ(Shell(F("prog") + " >" + F("prog.out")), 0);
    return test::ReadFile(File("prog.out"));
  }

  std::string tool_;
  test::TempDir dir_;
};

TEST_F(PeerTest, Hex2BinReadsWhatObjcopyAndSrecCatWrite) {
  if (!Installed("objcopy")) GTEST_SKIP() << "objcopy is not installed";
  const bool srec = Installed("srec_cat");
  if (!srec) std::fprintf(stderr, "srec_cat is not installed: its HEX files are not checked\n");
  struct Maker {
    const char* name;
    std::string command;  // from r.bin to r.hex
  };
  std::vector<Maker> makers = {
      {"objcopy", "objcopy -I binary -O ihex " + F("r.bin") + " " + F("r.hex")},
      {"objcopy, lower case", "objcopy -I binary -O ihex " + F("r.bin") + " " + F("u.hex") +
                                  " && tr A-F a-f <" + F("u.hex") + " >" + F("r.hex")},
  };
  if (srec) {
    // 16-bit addresses as the MCS-51 build writes them; records of 32 and of 255 bytes.
    makers.push_back(
        {"srec_cat", "srec_cat " + F("r.bin") + " -binary -o " + F("r.hex") + " -intel -address-length=2"});
    makers.push_back({"srec_cat 255", "srec_cat " + F("r.bin") + " -binary -o " + F("r.hex") +
                                          " -intel -address-length=2 -obs=255"});
  }
  unsigned seed = 1;
  for (size_t size : {size_t{1}, size_t{17}, size_t{4096}, size_t{40000}, size_t{65535}, size_t{65536}}) {
    for (const Maker& m : makers) {
      SCOPED_TRACE(std::string(m.name) + ", " + std::to_string(size) + " bytes");
      test::WriteFile(File("r.bin"), RandomBytes(size, seed++));
      ASSERT_EQ(Shell(m.command), 0);
      ASSERT_EQ(Shell("objcopy -I ihex -O binary " + F("r.hex") + " " + F("ref.bin")), 0);
      ASSERT_EQ(Tool("hex2bin " + F("out.bin") + " " + F("r.hex")), 0) << Err();
      std::string expected = test::ReadFile(File("ref.bin"));
      expected.resize(65536, '\xFF');
      EXPECT_EQ(test::ReadFile(File("out.bin")), expected);
    }
  }
  // Several HEX files: one page each, in the order given.
  test::WriteFile(File("a.bin"), RandomBytes(300, 99));
  ASSERT_EQ(Shell("objcopy -I binary -O ihex " + F("a.bin") + " " + F("a.hex")), 0);
  ASSERT_EQ(Tool("hex2bin " + F("two.bin") + " " + F("a.hex") + " " + F("r.hex")), 0) << Err();
  std::string two = test::ReadFile(File("two.bin"));
  ASSERT_EQ(two.size(), 2u * 65536);
  EXPECT_EQ(two.substr(0, 300), test::ReadFile(File("a.bin")));
  EXPECT_EQ(two.substr(65536), test::ReadFile(File("out.bin")));
}

TEST_F(PeerTest, HeadersCompileAndReproduceTheBytes) {
  if (!Installed("gcc")) GTEST_SKIP() << "gcc is not installed";
  for (size_t size : {size_t{1}, size_t{25}, size_t{5000}}) {
    SCOPED_TRACE(size);
    std::string data = RandomBytes(size, static_cast<unsigned>(size));
    test::WriteFile(File("blob.raw"), data);
    ASSERT_EQ(Tool("bin2h " + F("blob.raw") + " " + F("blob.h")), 0) << Err();
    EXPECT_EQ(CompileAndRun("#include <stdio.h>\n#include \"blob.h\"\n"
                            "int main(void) { fwrite(_cData_BLOB, 1, DATA_BLOB_SIZE, stdout); return 0; }\n"),
              data);
  }
  if (!Installed("objcopy")) GTEST_SKIP() << "objcopy is not installed: hex2h is not checked";
  std::string code = RandomBytes(3000, 7);
  test::WriteFile(File("boot.bin"), code);
  ASSERT_EQ(Shell("objcopy -I binary -O ihex " + F("boot.bin") + " " + F("boot.hex")), 0);
  ASSERT_EQ(Tool("hex2h " + F("boot.hex") + " " + F("boot.h")), 0) << Err();
  EXPECT_EQ(CompileAndRun("#include <stdio.h>\n#include \"boot.h\"\n"
                          "int main(void) { fwrite(BOOT_Code, 1, BOOT_CODE_SIZE, stdout); return 0; }\n"),
            code);
}

TEST_F(PeerTest, DigitMapCompilesWithEveryByteItNeedsToEscape) {
  if (!Installed("gcc")) GTEST_SKIP() << "gcc is not installed";
  std::string map = std::string("*0#'\\\"x", 7) + std::string(1, '\0') + "\r\n9T\r\n";
  test::WriteFile(File("map.txt"), map);
  ASSERT_EQ(Tool("map2c " + F("map.txt") + " " + F("map.h")), 0) << Err();
  std::string out = CompileAndRun(
      "#include <stdio.h>\nstatic const char map[2048] = {\n#include \"map.h\"\n};\n"
      "int main(void) { fwrite(map, 1, sizeof map, stdout); return 0; }\n");
  std::string expected = map;
  expected.resize(2048, '\0');
  EXPECT_EQ(out, expected);
}

TEST_F(PeerTest, FailuresGiveAnExitCodeAndAMessage) {
  test::WriteFile(File("eof.hex"), ":00000001FF\n");
  EXPECT_NE(Tool("hex2h " + F("eof.hex") + " " + F("eof.h")), 0);
  EXPECT_FALSE(test::FileExists(File("eof.h")));
  EXPECT_NE(Err().find("no data records"), std::string::npos) << Err();

  EXPECT_NE(Tool("bin2h " + F("missing") + " " + F("x.h")), 0);
  EXPECT_NE(Err().find("no such file"), std::string::npos) << Err();
  EXPECT_FALSE(test::FileExists(File("x.h")));

  // A mistyped second HEX file stops the tool before it writes anything.
  EXPECT_NE(Tool("hex2bin " + F("o.bin") + " " + F("eof.hex") + " " + F("missing.hex")), 0);
  EXPECT_FALSE(test::FileExists(File("o.bin")));

  test::WriteFile(File("d.raw"), "abc");
  EXPECT_NE(Tool("bin2h " + F("d.raw") + " " + F("no/such/d.h")), 0);

  EXPECT_EQ(Tool("build NO_SUCH_BOARD"), 2);
  EXPECT_EQ(Tool("hex2bin " + F("only.bin")), 2);
  EXPECT_EQ(Tool("audio play " + F("a") + " " + F("b")), 2);

  // Building without a work tree: every piece is reported missing.
  EXPECT_EQ(Shell(Quote(tool_) + " --store " + F("store") + " options >/dev/null"), 0);
  std::filesystem::create_directories(File("c/zediza323"));
  // The drive map is in the store: write it the way the tool reads it.
  test::WriteFile(File("store/Quillmark Communications/quilltool.conf"),
                  "[Paths]\nDriveC=" + File("c") + "\n");
  EXPECT_EQ(Tool("build VT20B"), 1);
  EXPECT_NE(Err().find("can not open hex file"), std::string::npos) << Err();
  EXPECT_EQ(test::ReadFile(File("c/zediza323/VT20B.bin")), std::string(3 * 65536, '\xFF'));
}

TEST_F(PeerTest, MergeDebugAndAudioThroughTheCommandLine) {
  test::WriteFile(File("log.dat"), "0x1018 3\n");
  ASSERT_EQ(Tool("decode-debug " + F("log.dat") + " " + F("log.txt")), 0) << Err();
  EXPECT_EQ(test::ReadFile(File("log.txt")), "arp send 3\r\n");
  test::WriteFile(File("p.hec"), ":0100000011EE\n:00000001FF\n");
  test::WriteFile(File("p.hed"), ":0100100022CD\n:00000001FF\n");
  ASSERT_EQ(Tool("merge-hex " + F("m.hex") + " " + F("p.hec") + " " + F("p.hed")), 0) << Err();
  EXPECT_EQ(test::ReadFile(File("m.hex")), ":0100000011EE\r\n:0100100022CD\r\n:00000001FF\r\n");
  test::WriteFile(File("v.pcm"), "pcm");
  ASSERT_EQ(Tool("audio encode " + F("v.dat") + " " + F("v.pcm")), 0) << Err();
  EXPECT_FALSE(test::FileExists(File("v.dat")));  // no audio engine
  EXPECT_NE(test::ReadFile(File("store/Quillmark Communications/quilltool.conf")).find("AudioEncode"),
            std::string::npos);
}

}  // namespace
}  // namespace quill
