// The file layer: what every tool's reads and writes rest on. Writes that fail, are abandoned or are
// interrupted leave the destination as it was; devices and FIFOs are written in place and never removed;
// one file named twice is refused; inputs never block on open and never grow memory without limit.
#include "platform/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/test_env.h"

namespace quill {
namespace {

namespace fs = std::filesystem;
using test::FileExists;
using test::ReadFile;
using test::WriteFile;

class FileLayer : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  // The names in the folder, sorted: a temporary file left behind shows here.
  std::vector<std::string> Names(const std::string& folder = "") const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder.empty() ? dir_.Path() : folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TempDir dir_;
};

// Runs body in a child process and returns its wait status; body's return value is the exit code.
template <class Body>
int InChild(Body body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST_F(FileLayer, ARegularFileIsReplacedOnlyByTheCommit) {
  WriteFile(File("out.bin"), "old");
  ::chmod(File("out.bin").c_str(), 0640);
  {
    COutputFile out;
    ASSERT_TRUE(out.Create(File("out.bin"))) << out.Error().reason;
    EXPECT_FALSE(out.InPlace());
    out.Write("new content");
    // Until the commit the destination is the old file; the data is in a hidden file beside it.
    EXPECT_EQ(ReadFile(File("out.bin")), "old");
    EXPECT_EQ(Names().size(), 2u);
    ASSERT_TRUE(out.Commit());
  }
  EXPECT_EQ(ReadFile(File("out.bin")), "new content");
  EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(fs::status(File("out.bin")).permissions(), fs::perms(0640));

  // A new file; text mode stores LF as CR LF.
  COutputFile text;
  ASSERT_TRUE(text.Create(File("new.txt"), COutputFile::Mode::Text));
  text.Write("a\nb\n");
  ASSERT_TRUE(text.Commit());
  EXPECT_EQ(ReadFile(File("new.txt")), "a\r\nb\r\n");

  // Through a symbolic link: the file it names is replaced and the link stays a link. A link that names
  // no file yet creates it where it points.
  fs::create_directory(File("real"));
  WriteFile(File("real/target"), "old");
  fs::create_symlink("real/target", File("link"));
  fs::create_symlink("real/made", File("dangling"));
  for (const char* name : {"link", "dangling"}) {
    COutputFile out;
    ASSERT_TRUE(out.Create(File(name))) << name;
    out.Write("via link");
    ASSERT_TRUE(out.Commit()) << name;
    EXPECT_TRUE(fs::is_symlink(File(name))) << name;
  }
  EXPECT_EQ(ReadFile(File("real/target")), "via link");
  EXPECT_EQ(ReadFile(File("real/made")), "via link");
  EXPECT_EQ(Names(File("real")), (std::vector<std::string>{"made", "target"}));
}

TEST_F(FileLayer, AFailedOrAbandonedWriteLeavesTheOldFile) {
  WriteFile(File("keep"), "old");
  {
    COutputFile dropped;  // destroyed without a commit
    ASSERT_TRUE(dropped.Create(File("keep")));
    dropped.Write("half");
  }
  COutputFile abandoned;
  ASSERT_TRUE(abandoned.Create(File("keep")));
  abandoned.Write("half");
  abandoned.Abandon();
  EXPECT_FALSE(abandoned.Commit());
  EXPECT_EQ(ReadFile(File("keep")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"keep"});

  // A full disk: a file-size limit in a child process, for a file that exists and for a new one.
  for (const char* name : {"keep", "fresh"}) {
    int status = InChild([&] {
      rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      COutputFile out;
      if (!out.Create(File(name))) return 10;
      std::string block(100000, 'x');
      out.Write(block);
      if (out.Commit()) return 11;
      return out.Error().reason == std::strerror(EFBIG) && out.Error().path == File(name) ? 0 : 12;
    });
    ASSERT_TRUE(WIFEXITED(status)) << name;
    EXPECT_EQ(WEXITSTATUS(status), 0) << name;
  }
  EXPECT_EQ(ReadFile(File("keep")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"keep"});

  // What cannot be created at all says why, and creates nothing.
  fs::create_directory(File("folder"));
  const std::pair<std::string, std::string> refused[] = {
      {File("no/such/folder/x"), std::strerror(ENOENT)},
      {File("folder"), std::strerror(EISDIR)},
      {File("keep/x"), std::strerror(ENOTDIR)},
  };
  for (const auto& [path, reason] : refused) {
    COutputFile out;
    EXPECT_FALSE(out.Create(path)) << path;
    EXPECT_EQ(out.Error().reason, reason) << path;
    EXPECT_EQ(FileFailureText("Can not create dest file", out.Error()),
              "Can not create dest file\n" + path + ": " + reason);
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "keep"}));
}

TEST_F(FileLayer, AReadOnlyFolderRefusesTheWriteAndKeepsTheFile) {
  ::chmod(dir_.Path().c_str(), 0755);
  fs::create_directory(File("ro"));
  WriteFile(File("ro/keep"), "old");
  ::chmod(File("ro/keep").c_str(), 0666);
  ::chmod(File("ro").c_str(), 0555);
  // Root writes anywhere: the write is tried as an unprivileged user.
  int status = InChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 20;
    COutputFile out;
    for (const char* name : {"ro/keep", "ro/new"}) {
      if (out.Create(File(name))) return 21;
      if (out.Error().reason != std::strerror(EACCES)) return 22;
    }
    return 0;
  });
  ::chmod(File("ro").c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(File("ro/keep")), "old");
  EXPECT_EQ(Names(File("ro")), std::vector<std::string>{"keep"});
}

TEST_F(FileLayer, ASignalDuringTheRunRemovesTheTemporaryFileOnly) {
  struct Case {
    int signal;
    bool exitCode;  // the command line's way: exit 128 + signal
  };
  for (Case c : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, true}}) {
    SCOPED_TRACE(c.signal);
    WriteFile(File("keep"), "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
      if (c.exitCode) ExitOnInterrupt();
      COutputFile out;
      COutputFile fresh;
      if (!out.Create(File("keep")) || !fresh.Create(File("fresh"))) ::_exit(3);
      out.Write(std::string(3 << 20, 'x'));  // past the buffer: on the disk already
      fresh.Write("y");
      char go = 1;
      if (::write(ready[1], &go, 1) != 1) ::_exit(4);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(Names().size(), 3u);  // the two temporary files
    ::kill(pid, c.signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (c.exitCode) {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), c.signal);
    }
    EXPECT_EQ(ReadFile(File("keep")), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"keep"});
  }
}

TEST_F(FileLayer, DevicesFifosAndLinksToThemAreWrittenInPlace) {
  ::mkfifo(File("fifo").c_str(), 0644);
  fs::create_symlink("/dev/null", File("to-null"));
  fs::create_symlink("/dev/full", File("to-full"));

  // Nobody reads the FIFO: refused at once rather than waiting.
  COutputFile unread;
  EXPECT_FALSE(unread.Create(File("fifo")));
  EXPECT_EQ(unread.Error().reason, "no program is reading this FIFO");

  int reader = ::open(File("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  struct Case {
    std::string path;
    bool ok;
  };
  const Case cases[] = {{File("fifo"), true},
                        {File("to-null"), true},
                        {"/dev/null", true},
                        {File("to-full"), false},
                        {"/dev/full", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    COutputFile out;
    ASSERT_TRUE(out.Create(c.path)) << out.Error().reason;
    EXPECT_TRUE(out.InPlace());
    out.Write("abc");
    EXPECT_EQ(out.Commit(), c.ok);
    if (!c.ok) {
      EXPECT_EQ(FileFailureText("x", out.Error()), "x\n" + c.path + ": " + std::strerror(ENOSPC));
    }
  }
  char got[8] = {};
  EXPECT_EQ(::read(reader, got, sizeof got), 3);
  EXPECT_STREQ(got, "abc");
  ::close(reader);
  // Every one is still what it was.
  EXPECT_TRUE(fs::is_fifo(File("fifo")));
  EXPECT_TRUE(fs::is_symlink(File("to-null")));
  EXPECT_TRUE(fs::is_symlink(File("to-full")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"fifo", "to-full", "to-null"}));
}

// A log only grows: what was there stays, each text is in the file as soon as Append returns, a failed
// write is reported and refuses every later one, and nothing that cannot be appended to is touched.
TEST_F(FileLayer, AnAppendedLogKeepsWhatWasThereAndReportsEveryFailure) {
  WriteFile(File("log"), "old\n");
  {
    CAppendFile log;
    ASSERT_TRUE(log.Open(File("log"))) << log.Error().reason;
    EXPECT_TRUE(log.Append("one\n"));
    EXPECT_EQ(ReadFile(File("log")), "old\none\n");  // not held back in a buffer
    EXPECT_TRUE(log.Append("two\n"));
    EXPECT_TRUE(log.Close());
  }
  EXPECT_EQ(ReadFile(File("log")), "old\none\ntwo\n");
  CAppendFile fresh;
  ASSERT_TRUE(fresh.Open(File("new")));
  EXPECT_TRUE(fresh.Append("x"));
  EXPECT_TRUE(fresh.Close());
  EXPECT_EQ(ReadFile(File("new")), "x");

  // Refused at the open, leaving everything as it was.
  ::mkfifo(File("fifo").c_str(), 0644);
  fs::create_directory(File("folder"));
  const std::pair<std::string, std::string> refused[] = {
      {File("folder"), std::strerror(EISDIR)},
      {File("missing/log"), std::strerror(ENOENT)},
      {File("fifo"), "no program is reading this FIFO"},
  };
  for (const auto& [path, reason] : refused) {
    SCOPED_TRACE(path);
    CAppendFile log;
    EXPECT_FALSE(log.Open(path));
    EXPECT_EQ(log.Error().path, path);
    EXPECT_EQ(log.Error().reason, reason);
    EXPECT_FALSE(log.Append("x"));
  }
  {
    CFileRun run;
    CInputFile source;
    ASSERT_TRUE(source.Open(File("log")));
    CAppendFile log;
    EXPECT_FALSE(log.Open(File("log")));
    EXPECT_TRUE(log.Error().sameFile);
  }

  // A write that fails is reported, and so is every one after it, and the close.
  CAppendFile full;
  ASSERT_TRUE(full.Open("/dev/full"));
  EXPECT_FALSE(full.Append("abc"));
  EXPECT_EQ(FileFailureText("x", full.Error()), std::string("x\n/dev/full: ") + std::strerror(ENOSPC));
  EXPECT_FALSE(full.Append(""));
  EXPECT_FALSE(full.Close());
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(ReadFile(File("log")), "old\none\ntwo\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"fifo", "folder", "log", "new"}));
}

TEST_F(FileLayer, OneFileNamedTwiceInARunIsRefused) {
  WriteFile(File("a"), "source");
  fs::create_directory(File("sub"));
  fs::create_symlink(File("a"), File("link"));
  fs::create_hard_link(File("a"), File("hard"));
  struct Case {
    const char* what;
    std::string source, destination;
  };
  const Case clashes[] = {
      {"symbolic link", File("a"), File("link")},
      {"hard link", File("hard"), File("a")},
      {"another spelling", File("sub/../a"), File("./a")},
  };
  for (const Case& c : clashes) {
    SCOPED_TRACE(c.what);
    {
      CFileRun run;
      CInputFile in;
      ASSERT_TRUE(in.Open(c.source));
      CFileRun inner;  // belongs to the run above
      COutputFile out;
      EXPECT_FALSE(out.Create(c.destination));
      EXPECT_EQ(out.Error().path, c.destination);
      EXPECT_EQ(out.Error().reason, "the same file as the source " + c.source);
      EXPECT_TRUE(out.Error().sameFile);
    }
    {
      // The other way round: the destination first.
      CFileRun run;
      COutputFile out;
      ASSERT_TRUE(out.Create(c.destination));
      CInputFile in;
      EXPECT_FALSE(in.Open(c.source));
      EXPECT_EQ(in.Error().reason, "the same file as the destination " + c.destination);
    }
  }
  {
    // Two destinations naming one new file; two reads of one source are fine.
    CFileRun run;
    COutputFile first, second;
    ASSERT_TRUE(first.Create(File("new.h")));
    EXPECT_FALSE(second.Create(File("sub/../new.h")));
    EXPECT_EQ(second.Error().reason, "the same file as the destination " + File("new.h"));
    CInputFile a, b;
    EXPECT_TRUE(a.Open(File("a")));
    EXPECT_TRUE(b.Open(File("link")));
  }
  // Outside a run nothing is compared; the paths alone can be checked too.
  CInputFile in;
  COutputFile out;
  EXPECT_TRUE(in.Open(File("a")));
  EXPECT_TRUE(out.Create(File("a")));
  out.Abandon();
  FileError error;
  EXPECT_FALSE(CheckDistinctFiles({File("hard")}, {File("x.h"), File("link")}, &error));
  EXPECT_TRUE(error.sameFile);
  EXPECT_EQ(FileFailureText("Can not create dest file", error),
            "Can not create dest file\n" + File("link") + ": the same file as the source " + File("hard"));
  EXPECT_TRUE(CheckDistinctFiles({File("a"), File("a")}, {File("x.h"), File("y.h")}, &error));
  EXPECT_EQ(ReadFile(File("a")), "source");
}

TEST_F(FileLayer, InputsNeverBlockOnOpenAndStayBounded) {
  ::mkfifo(File("fifo").c_str(), 0644);
  fs::create_directory(File("folder"));
  // A tool that needs the whole input refuses what is no regular file, and what is larger than its limit.
  WriteFile(File("big"), std::string(1000, 'b'));
  const std::pair<std::string, std::string> refused[] = {
      {File("fifo"), "a FIFO or pipe, not a regular file"},
      {"/dev/zero", "a character device, not a regular file"},
      {File("folder"), std::strerror(EISDIR)},
      {File("missing"), std::strerror(ENOENT)},
  };
  for (const auto& [path, reason] : refused) {
    std::vector<uint8_t> data;
    FileError error;
    EXPECT_EQ(ReadWholeFile(path, 1 << 20, data, &error), ReadStatus::CannotOpen) << path;
    EXPECT_EQ(error.reason, reason);
  }
  std::string text;
  FileError error;
  EXPECT_EQ(ReadWholeFile(File("big"), 999, text, &error), ReadStatus::TooLarge);
  EXPECT_EQ(FileFailureText("Can not malloc memory", error),
            "Can not malloc memory\n" + File("big") + ": 1000 bytes, more than the limit of 999 bytes");
  EXPECT_EQ(ReadWholeFile(File("big"), 1000, text, &error), ReadStatus::Ok);
  EXPECT_EQ(text.size(), 1000u);

  // A FIFO opens at once without a writer; its lines come when one writes, and end when it closes.
  CLineReader lines;
  ASSERT_TRUE(lines.Open(File("fifo")));
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int fd = ::open(File("fifo").c_str(), O_WRONLY);
    ASSERT_EQ(::write(fd, "one\r\ntwo", 8), 8);
    ::close(fd);
  });
  std::string_view line;
  ASSERT_TRUE(lines.ReadLine(line));
  EXPECT_EQ(line, "one");
  ASSERT_TRUE(lines.ReadLine(line));
  EXPECT_EQ(line, "two");
  EXPECT_FALSE(lines.ReadLine(line));
  EXPECT_FALSE(lines.Failed());
  writer.join();

  // An endless input with no line end comes in bounded pieces; the memory stays flat.
  ASSERT_TRUE(lines.Open("/dev/zero"));
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  bool ended = true;
  size_t total = 0;
  for (int i = 0; i < 64; ++i) {
    ASSERT_TRUE(lines.ReadLine(line, &ended));
    EXPECT_FALSE(ended);
    EXPECT_EQ(line.size(), CLineReader::kMaxLine);
    total += line.size();
  }
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(total, size_t{64} << 20);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 8 << 10);  // KiB
  // A long line's pieces are its bytes in order; the piece that ends it says so.
  std::string longLine(CLineReader::kMaxLine + 10, 'L');
  WriteFile(File("long"), longLine + "\r\nnext");
  ASSERT_TRUE(lines.Open(File("long")));
  std::string joined;
  do {
    ASSERT_TRUE(lines.ReadLine(line, &ended));
    joined += line;
  } while (!ended);
  EXPECT_EQ(joined, longLine);
  ASSERT_TRUE(lines.ReadLine(line, &ended));
  EXPECT_EQ(line, "next");
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace quill
