// The command-line tools as a user runs them, checked against other programs that read and write the same
// formats: objcopy and srec_cat make the HEX files and read them back, gcc compiles the headers. A check
// whose program is not installed is skipped with a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

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

  // quilltool run without a shell: standard input from input, standard output to /dev/null, stderr kept
  // in err.txt. whileRunning, when given, sees the process before it is waited for. The exit code (or
  // 128 + the signal that ended it) and the peak memory in KiB: an upper bound, as it counts this test
  // process, which forked it, too.
  struct Ran {
    int code;
    long peakKiB;
  };
  Ran Run(const std::vector<std::string>& args, const std::string& input = "/dev/null",
          const std::function<void(pid_t)>& whileRunning = {}) {
    std::vector<std::string> all = {tool_, "--store", File("store")};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = File("err.txt");
    pid_t pid = ::fork();
    if (pid == 0) {
      int in = ::open(input.c_str(), O_RDONLY);
      int out = ::open("/dev/null", O_WRONLY);
      int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(e, 2) < 0)
        ::_exit(126);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (whileRunning) whileRunning(pid);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
  }
  // The hidden files of the folder: a temporary file left behind shows here.
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
      if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
    return names;
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
      ASSERT_EQ(Tool("hex2bin " + F("r.hex") + " " + F("out.bin")), 0) << Err();
      std::string expected = test::ReadFile(File("ref.bin"));
      expected.resize(65536, '\xFF');
      EXPECT_EQ(test::ReadFile(File("out.bin")), expected);
    }
  }
  // Several HEX files: one page each, in the order given.
  test::WriteFile(File("a.bin"), RandomBytes(300, 99));
  ASSERT_EQ(Shell("objcopy -I binary -O ihex " + F("a.bin") + " " + F("a.hex")), 0);
  ASSERT_EQ(Tool("hex2bin " + F("a.hex") + " " + F("r.hex") + " " + F("two.bin")), 0) << Err();
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
  EXPECT_NE(Err().find(File("missing") + ": No such file or directory"), std::string::npos) << Err();
  EXPECT_FALSE(test::FileExists(File("x.h")));

  // A mistyped second HEX file stops the tool before it writes anything.
  EXPECT_NE(Tool("hex2bin " + F("eof.hex") + " " + F("missing.hex") + " " + F("o.bin")), 0);
  EXPECT_FALSE(test::FileExists(File("o.bin")));

  test::WriteFile(File("d.raw"), "abc");
  EXPECT_NE(Tool("bin2h " + F("d.raw") + " " + F("no/such/d.h")), 0);

  EXPECT_EQ(Tool("build NO_SUCH_BOARD"), 2);
  EXPECT_EQ(Tool("hex2bin " + F("only.bin")), 2);
  EXPECT_EQ(Tool("audio play " + F("a") + " " + F("b")), 2);

  // Building without a work tree: every piece is reported missing, and the command line writes no image
  // made of blank pages (the window would).
  EXPECT_EQ(Shell(Quote(tool_) + " --store " + F("store") + " options >/dev/null"), 0);
  std::filesystem::create_directories(File("c/zediza323"));
  // The drive map is in the store: write it the way the tool reads it.
  test::WriteFile(File("store/Quillmark Communications/quilltool.conf"),
                  "[Paths]\nDriveC=" + File("c") + "\n");
  EXPECT_EQ(Tool("build VT20B"), 1);
  EXPECT_NE(Err().find("can not open hex file"), std::string::npos) << Err();
  EXPECT_NE(Err().find("Nothing was written"), std::string::npos) << Err();
  EXPECT_FALSE(test::FileExists(File("c/zediza323/VT20B.bin")));

  // An image that cannot be written: the button's images replace their files together, so none does.
  test::WriteFile(File("c/zediza323/VT20C.bin"), "old");
  std::filesystem::create_directories(File("c/zediza323/VT20C_9.bin"));
  EXPECT_EQ(Tool("build VT20C"), 1);
  EXPECT_NE(Err().find("Can not create dest file\n" + File("c/zediza323/VT20C_9.bin") + ": Is a directory"),
            std::string::npos)
      << Err();
  EXPECT_EQ(test::ReadFile(File("c/zediza323/VT20C.bin")), "old");
}

TEST_F(PeerTest, MergeDebugAndAudioThroughTheCommandLine) {
  test::WriteFile(File("log.dat"), "0x1018 3\n");
  ASSERT_EQ(Tool("decode-debug " + F("log.dat") + " " + F("log.txt")), 0) << Err();
  EXPECT_EQ(test::ReadFile(File("log.txt")), "arp send 3\r\n");
  test::WriteFile(File("p.hec"), ":0100000011EE\n:00000001FF\n");
  test::WriteFile(File("p.hed"), ":0100100022CD\n:00000001FF\n");
  ASSERT_EQ(Tool("merge-hex " + F("p.hec") + " " + F("p.hed") + " " + F("m.hex")), 0) << Err();
  EXPECT_EQ(test::ReadFile(File("m.hex")), ":0100000011EE\r\n:0100100022CD\r\n:00000001FF\r\n");
  test::WriteFile(File("v.pcm"), "pcm");
  ASSERT_EQ(Tool("audio encode " + F("v.pcm") + " " + F("v.dat")), 0) << Err();
  EXPECT_FALSE(test::FileExists(File("v.dat")));  // no audio engine
  EXPECT_NE(test::ReadFile(File("store/Quillmark Communications/quilltool.conf")).find("AudioEncode"),
            std::string::npos);
}

// Every class of fault a user can run into with the conversions, through the command line: one file
// named twice, a device as the output, a full disk, the order of the arguments typed the other way, an
// input that is no file. Each fails with the message and exit code 1 (2 for the order), and leaves every
// file as it was.
TEST_F(PeerTest, NoFaultOfAConversionReachesTheUsersFiles) {
  const std::string binary = RandomBytes(3000, 5);
  test::WriteFile(File("b.bin"), binary);
  test::WriteFile(File("a.hex"), ":040010001122334442\n:00000001FF\n");
  test::WriteFile(File("log.txt"), "0x1018 3\n");
  test::WriteFile(File("p.hec"), ":0100000011EE\n:00000001FF\n");
  test::WriteFile(File("keep.h"), "old header");
  test::WriteFile(File("out.bin"), "old binary");
  std::filesystem::create_directory(File("sub"));
  std::filesystem::create_symlink(File("b.bin"), File("alias"));
  std::filesystem::create_hard_link(File("a.hex"), File("hard.hex"));
  ::mkfifo(File("fifo").c_str(), 0644);
  const std::map<std::string, std::string> before = {
      {"b.bin", binary},         {"a.hex", test::ReadFile(File("a.hex"))},
      {"log.txt", "0x1018 3\n"}, {"p.hec", test::ReadFile(File("p.hec"))},
      {"keep.h", "old header"},  {"out.bin", "old binary"}};
  struct Case {
    std::string args;
    int code;
    std::string says;
  };
  const std::string same = "the same file as the ";
  const Case cases[] = {
      {"bin2h " + F("b.bin") + " " + F("alias"), 1, same + "source " + File("b.bin")},
      {"hex2h " + F("a.hex") + " " + F("hard.hex"), 1, same + "source " + File("a.hex")},
      {"hex2bin " + F("b.bin") + " " + F("alias"), 1, same + "destination " + File("alias")},
      {"hex2bin " + F("a.hex") + " " + F("a.hex"), 1, same + "destination " + File("a.hex")},
      {"decode-debug " + F("log.txt") + " " + F("sub/../log.txt"), 1, same + "source"},
      {"merge-hex " + F("p.hec") + " " + F("./p.hec"), 1, same + "destination"},
      {"map2c " + F("log.txt") + " " + F("log.txt"), 1, same + "source"},
      {"audio encode " + F("b.bin") + " " + F("alias"), 1, same + "source"},
      {"bin2h " + F("b.bin") + " /dev/full", 1, "/dev/full: No space left on device"},
      {"decode-debug " + F("log.txt") + " /dev/full", 1, "/dev/full: No space left on device"},
      {"bin2h " + F("fifo") + " " + F("keep.h"), 1, "a FIFO or pipe, not a regular file"},
      {"bin2h /dev/zero " + F("keep.h"), 1, "a character device, not a regular file"},
      {"hex2bin " + F("out.bin") + " " + F("a.hex"), 2, "the binary file comes last"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Tool(c.args), c.code);
    EXPECT_NE(Err().find(c.says), std::string::npos) << Err();
    for (const auto& [name, content] : before) EXPECT_TRUE(test::ReadFile(File(name)) == content) << name;
    EXPECT_TRUE(Hidden().empty());
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  EXPECT_TRUE(std::filesystem::is_symlink(File("alias")));

  // A full disk (a file-size limit) while the header is written: the old header stays.
  EXPECT_EQ(Shell("ulimit -f 16 && " + Quote(tool_) + " --store " + F("store") + " bin2h " + F("b.bin") +
                  " " + F("keep.h") + " 2>" + F("err.txt")),
            1);
  EXPECT_NE(Err().find("Can not create dest file\n" + File("keep.h") + ": File too large"), std::string::npos)
      << Err();
  EXPECT_EQ(test::ReadFile(File("keep.h")), "old header");
  EXPECT_TRUE(Hidden().empty());
}

// Inputs of any size go through in bounded memory, from a file, a pipe or standard input, and an
// interrupt leaves the output as it was. AddressSanitizer keeps freed memory aside for a while, so its
// builds only check that the runs end well.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBound = 1L << 40;
#else
constexpr long kMemoryBound = 64 << 10;  // KiB
#endif
TEST_F(PeerTest, ConversionsStreamInBoundedMemoryAndAnInterruptLosesNothing) {
  // 256 MiB of zeros without a line end, as a sparse file: no disk is used.
  const std::string big = File("big.raw");
  { std::filesystem::resize_file((test::WriteFile(big, ""), big), size_t{256} << 20); }
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  const Case cases[] = {
      {{"bin2h", big, "/dev/null"}, "/dev/null"},
      {{"bin2h", "-", "/dev/null"}, big},  // standard input redirected from a file
      {{"merge-hex", "-", "/dev/null"}, big},
      {{"decode-debug", "-", "/dev/null"}, big},
      {{"hex2bin", big, "/dev/null"}, "/dev/null"},
      {{"decode", big}, "/dev/null"},
      {{"decode"}, big},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    Ran r = Run(c.args, c.input);
    EXPECT_EQ(r.code, 0) << Err();
    EXPECT_LT(r.peakKiB, kMemoryBound);
  }
  // A pipe: the lines come as a writer writes them, and the tool ends cleanly when the writer closes.
  ::mkfifo(File("fifo").c_str(), 0644);
  std::thread writer([this] {
    int fd = ::open(File("fifo").c_str(), O_WRONLY);
    std::string lines;
    for (int i = 0; i < 100000; ++i) lines += "0x1018 3 some text\n";
    for (int i = 0; i < 50 && fd >= 0; ++i)
      if (::write(fd, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) break;
    ::close(fd);
  });
  Ran piped = Run({"decode-debug", File("fifo"), "/dev/null"});
  writer.join();
  EXPECT_EQ(piped.code, 0) << Err();
  EXPECT_LT(piped.peakKiB, kMemoryBound);
  // A pipe that needs the size first is refused at once.
  EXPECT_EQ(Shell("head -c 1000 /dev/zero | " + Quote(tool_) + " --store " + F("store") + " bin2h - " +
                  F("x.h") + " 2>" + F("err.txt")),
            1);
  EXPECT_NE(Err().find("a FIFO or pipe, not a regular file"), std::string::npos) << Err();

  // Ctrl-C while the header of the big file is written: exit 130, the old header as it was.
  test::WriteFile(File("keep.h"), "old header");
  Ran r = Run({"bin2h", big, File("keep.h")}, "/dev/null", [this](pid_t pid) {
    // Wait (bounded) until the temporary file is there, then interrupt.
    for (int i = 0; i < 500 && Hidden().empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGINT);
  });
  EXPECT_EQ(r.code, 130);
  EXPECT_EQ(test::ReadFile(File("keep.h")), "old header");
  EXPECT_TRUE(Hidden().empty());
}

}  // namespace
}  // namespace quill
