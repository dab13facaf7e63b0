// The settings store against files it did not write itself or cannot read or write, and against another
// process writing at the same time. Whatever the file holds, a value that cannot be read reads as the
// caller's default, nothing crashes, every text the tool stores comes back byte for byte, a write that
// does not reach the file says why and leaves the file as it was, and a file that does not parse is kept
// aside before it is rewritten.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "tests/support/test_env.h"

extern char** environ;

namespace quill {
namespace {

using namespace std::string_literals;

// "你好" and "话机设置" in code page 936, as a phone's settings hold them.
const std::string kGbkHello = "\xc4\xe3\xba\xc3";
const std::string kGbkPhoneSettings = "\xbb\xb0\xbb\xfa\xc9\xe8\xd6\xc3";

// Each case gets a store of its own: a registry key not used before in this process, so no value cached
// from an earlier case answers in place of the file.
class StoreFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SettingsStore::SetLocation(dir_.Path());
    NewStore();
  }
  void TearDown() override {
    SettingsStore::SetRegistryKey("Quillmark Communications");
    test::UsePrivateStore();
  }
  // Switches to a fresh store and returns the path of its file (not created yet).
  std::string NewStore() {
    static int n = 0;
    SettingsStore::SetRegistryKey("Hostile Store " + std::to_string(++n));
    std::string path = store_.FilePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return path;
  }

  test::TempDir dir_;
  SettingsStore& store_ = SettingsStore::Profile();
};

struct CorruptRow {
  const char* name;
  std::string file;
  int commType;        // "Comm"/"Type", default 1
  std::string port;    // "Rs232"/"Port", default "COM1"
  std::string number;  // "PhoneSettings"/"PhoneNumber", default "100"
};

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random() & 0xFF);
  return s;
}

TEST_F(StoreFaultsTest, ACorruptFileReadsAsDefaultsWhereItCannotBeRead) {
  SettingsStore::SetNoticeHandler([](const std::string&) {});  // the copies aside have their own test
  const std::string good = "[Comm]\nType=0\n[Rs232]\nPort=COM2\n[PhoneSettings]\nPhoneNumber=555\n";
  const std::vector<CorruptRow> rows = {
      {"random bytes", RandomBytes(65536, 1), 1, "COM1", "100"},
      {"random bytes after good lines", good + RandomBytes(4096, 2), 0, "COM2", "555"},
      {"truncated in a key", good.substr(0, 25), 0, "COM1", "100"},
      {"truncated in a section name", "[Comm]\nType=0\n[PhoneSett", 0, "COM1", "100"},
      {"binary values", "[Comm]\nType=\x01\x02\x00\x03\n[Rs232]\nPort=\x7f\x00\x80\n"s, 1, "COM1", "100"},
      {"a huge line", "[Comm]\nType=" + std::string(4 << 20, '7') + "\n[Rs232]\nPort=COM2\n", 1, "COM2",
       "100"},
      {"a huge line without a value", std::string(4 << 20, 'k') + "\n" + good, 0, "COM2", "555"},
      {"invalid UTF-8 values", "[Rs232]\nPort=COM\xff\xfe\n[PhoneSettings]\nPhoneNumber=\xc0\x80\n", 1,
       "COM1", "100"},
      {"code page 936 values",
       "[Comm]\nType=" + kGbkHello + "\n[PhoneSettings]\nPhoneNumber=" + kGbkHello + "\n", 1, "COM1", "100"},
      {"duplicate keys and sections", "[Comm]\nType=0\nType=5\n[Rs232]\nPort=COM2\n[Comm]\nType=3\n", 3,
       "COM2", "100"},
      {"values of other kinds",
       "[Comm]\nType=@Variant(\\0\\0\\0\\x7f\\xff)\n[Rs232]\nPort=@Rect(1 2 3 4)\n"
       "[PhoneSettings]\nPhoneNumber=@ByteArray(\n",
       1, "COM1", "@ByteArray("},
      {"no line ends at all", "[Comm]Type=0[Rs232]Port=COM2", 1, "COM1", "100"},
      {"an empty file", "", 1, "COM1", "100"},
  };
  for (const CorruptRow& row : rows) {
    SCOPED_TRACE(row.name);
    test::WriteFile(NewStore(), row.file);
    EXPECT_EQ(store_.GetInt("Comm", "Type", 1), row.commType);
    EXPECT_EQ(store_.GetString("Rs232", "Port", "COM1"), row.port);
    EXPECT_EQ(store_.GetString("PhoneSettings", "PhoneNumber", "100"), row.number);
    // The store stays usable: a value written now reads back, from this process and from the file (what
    // did not parse was copied aside first).
    EXPECT_TRUE(store_.WriteInt("Sdram", "SaveLength", 4096));
    EXPECT_TRUE(store_.WriteString("RingUpdate", "SrcName", "/tmp/ring " + kGbkHello + ".dat"));
    EXPECT_EQ(store_.GetInt("Sdram", "SaveLength", 0), 4096);
    std::string path = store_.FilePath();
    std::string file = test::ReadFile(path);
    test::WriteFile(NewStore(), file);
    EXPECT_EQ(store_.GetInt("Sdram", "SaveLength", 0), 4096);
    EXPECT_EQ(store_.GetString("RingUpdate", "SrcName", ""), "/tmp/ring " + kGbkHello + ".dat");
  }
}

// The ways a store file cannot be written. Each is made for one store and undone after it; a way the
// machine does not allow (a mount needs the right to make one) is skipped with the reason.
enum class Fault {
  FileIsAFolder,
  LocationIsAFile,
  Fifo,
  UnreadableFile,
  ReadOnlyFolder,
  FullDisk,
  FullDiskBehindALink
};

const char* Name(Fault f) {
  switch (f) {
    case Fault::FileIsAFolder:
      return "the file replaced by a folder";
    case Fault::LocationIsAFile:
      return "the store location naming a file";
    case Fault::Fifo:
      return "a FIFO in the file's place";
    case Fault::UnreadableFile:
      return "a file without read permission";
    case Fault::ReadOnlyFolder:
      return "a read-only folder";
    case Fault::FullDisk:
      return "a full disk";
    case Fault::FullDiskBehindALink:
      return "a symbolic link to a file on a full disk";
  }
  return "";
}

// A mount of its own for this test process, so a small file system can be mounted and filled.
bool PrivateMounts(std::string& why) {
  static int error = -1;
  if (error < 0) {
    error = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                ? 0
                : errno;
  }
  if (error) why = "no mount namespace of our own: " + std::string(std::strerror(error));
  return error == 0;
}

class ScopedFault {
 public:
  // Makes fault for a store under dir; a store file that exists holds kept. Skipped() when not possible.
  ScopedFault(Fault fault, const std::string& dir, const std::string& kept) : fault_(fault), dir_(dir) {
    const std::string file = SettingsStore::Profile().FilePath();
    const std::string folder = std::filesystem::path(file).parent_path();
    switch (fault) {
      case Fault::FileIsAFolder:
        std::filesystem::create_directories(file);
        break;
      case Fault::LocationIsAFile:
        test::WriteFile(dir + "/a-file", kept);
        SettingsStore::SetLocation(dir + "/a-file");
        break;
      case Fault::Fifo:
        std::filesystem::create_directories(folder);
        ::mkfifo(file.c_str(), 0600);
        break;
      case Fault::UnreadableFile:
      case Fault::ReadOnlyFolder:
        // Root passes every permission check: the store is used as another user while the fault lasts.
        test::WriteFile(file, kept);
        ::chmod(dir.c_str(), 0755);
        ::chmod(folder.c_str(), fault == Fault::ReadOnlyFolder ? 0555 : 0755);
        if (fault == Fault::UnreadableFile) ::chmod(file.c_str(), 0);
        if (::geteuid() == 0) asUser_ = ::seteuid(65534) == 0;
        break;
      case Fault::FullDisk:
      case Fault::FullDiskBehindALink: {
        if (!PrivateMounts(skipped_)) return;
        mount_ = dir + "/small";
        std::filesystem::create_directories(mount_);
        if (::mount("tmpfs", mount_.c_str(), "tmpfs", 0, "size=64k") != 0) {
          skipped_ = "cannot mount a small file system: " + std::string(std::strerror(errno));
          mount_.clear();
          return;
        }
        if (fault == Fault::FullDisk) {
          SettingsStore::SetLocation(mount_);
          const std::string small = SettingsStore::Profile().FilePath();
          std::filesystem::create_directories(std::filesystem::path(small).parent_path());
          test::WriteFile(small, kept);
        } else {
          // The store file is a link; QSettings replaces the file the link names and keeps the link.
          test::WriteFile(mount_ + "/store.conf", kept);
          std::filesystem::create_directories(folder);
          std::filesystem::create_symlink(mount_ + "/store.conf", file);
        }
        // Fill what is left, to the last byte.
        int fill = ::open((mount_ + "/fill").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::vector<char> block(4096, 'x');
        for (size_t size : {block.size(), size_t{1}})
          while (fill >= 0 && ::write(fill, block.data(), size) > 0) {
          }
        if (fill >= 0) ::close(fill);
        break;
      }
    }
  }
  ~ScopedFault() {
    if (asUser_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
    if (!mount_.empty()) {
      EXPECT_EQ(::umount2(mount_.c_str(), MNT_DETACH), 0);
    }
    const std::string file = SettingsStore::Profile().FilePath();
    if (fault_ == Fault::ReadOnlyFolder) ::chmod(std::filesystem::path(file).parent_path().c_str(), 0755);
    if (fault_ == Fault::UnreadableFile) ::chmod(file.c_str(), 0600);
    SettingsStore::SetLocation(dir_);
  }
  const std::string& Skipped() const { return skipped_; }

 private:
  Fault fault_;
  std::string dir_;
  std::string skipped_;
  std::string mount_;
  bool asUser_ = false;
};

// What a file is: a replaced or rewritten file has another inode, size or time.
std::string Identity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  return std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.insert(e.path().filename());
  return names;
}

TEST_F(StoreFaultsTest, AWriteThatCannotReachTheFileSaysWhyAndLeavesTheStoreAsItWas) {
  struct Row {
    Fault fault;
    const char* reason;  // the system's words, in the result and in its message
    bool readable;       // reads give the values of the file
    bool fileExists;     // a store file exists, and must come out as it went in
    bool clearFails;     // emptying the store needs no room, only a folder that takes its lock file
  };
  const Row rows[] = {
      {Fault::FileIsAFolder, "Is a directory", false, false, false},
      {Fault::LocationIsAFile, "Not a directory", false, false, false},
      {Fault::Fifo, "Not a regular file", false, false, false},
      {Fault::UnreadableFile, "Permission denied", false, true, false},
      {Fault::ReadOnlyFolder, "Permission denied", true, true, true},
      {Fault::FullDisk, "No space left on device", true, true, true},
      {Fault::FullDiskBehindALink, "No space left on device", true, true, false},
  };
  const std::string kept = "[Comm]\nType=0\n\n[Rs232]\nPort=COM1\n";
  std::vector<std::string> notices;
  SettingsStore::SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
  for (const Row& row : rows) {
    SCOPED_TRACE(Name(row.fault));
    NewStore();
    std::string file;
    std::set<std::string> before;
    {
      ScopedFault fault(row.fault, dir_.Path(), kept);
      if (!fault.Skipped().empty()) {
        std::printf("[  SKIPPED ] %s: %s\n", Name(row.fault), fault.Skipped().c_str());
        continue;
      }
      file = store_.FilePath();
      const std::string folder = std::filesystem::path(file).parent_path();
      before = Entries(folder);
      const std::string fileBefore = Identity(file);
      if (row.fault == Fault::LocationIsAFile) {
        EXPECT_FALSE(SettingsStore::CheckLocation(dir_.File("a-file")));
      }

      // Reading gives what can be read (and never blocks), writing fails: one value, a batch, a clear.
      EXPECT_EQ(store_.GetInt("Comm", "Type", 1), row.readable ? 0 : 1);
      std::vector<StoreResult> results;
      results.push_back(store_.WriteInt("Comm", "Type", 5));
      SettingsStore::Batch batch;
      batch.WriteInt("Comm", "Type", 6);
      batch.WriteString("Rs232", "Port", "COM2");
      results.push_back(batch.Commit());
      if (row.clearFails) results.push_back(store_.Clear());
      for (const StoreResult& r : results) {
        EXPECT_FALSE(r);
        EXPECT_EQ(r.Path(), file);
        EXPECT_NE(r.Reason().find(row.reason), std::string::npos) << r.Reason();
        EXPECT_EQ(r.Message(), "Can not write the settings store\n" + file + ": " + r.Reason());
      }
      if (row.fault == Fault::LocationIsAFile) {
        EXPECT_NE(results[0].Reason().find(dir_.File("a-file") + " is a file"), std::string::npos)
            << results[0].Reason();
      }
      EXPECT_EQ(store_.Health().Fine(), row.readable);  // reading is what fails, or only writing

      // None of the failed values is read back: what the tool goes on to use is what is stored.
      EXPECT_EQ(store_.GetInt("Comm", "Type", 1), row.readable ? 0 : 1);
      EXPECT_EQ(store_.GetString("Rs232", "Port", "COM1"), "COM1");
      // The file, and the folder, as they were: no temporary, probe or second name left behind.
      if (row.fileExists) {
        EXPECT_EQ(Identity(file), fileBefore);  // not replaced, not written
        if (row.readable) {
          EXPECT_EQ(test::ReadFile(file), kept);
        }
      }
      EXPECT_EQ(Entries(folder), before);
      if (row.fault == Fault::FullDiskBehindALink) {
        EXPECT_TRUE(std::filesystem::is_symlink(file));
        EXPECT_EQ(Entries(dir_.Path() + "/small"), (std::set<std::string>{"fill", "store.conf"}));
      }
    }
  }
  EXPECT_TRUE(notices.empty()) << notices.front();
  SettingsStore::SetNoticeHandler(nullptr);
}

// A store file edited by hand may hold lines the store's reader skips; a save writes back only what it
// read. The file is copied aside, once, before the first save replaces it, and the user is told once.
TEST_F(StoreFaultsTest, AFileThatDoesNotParseIsKeptAsideOnceBeforeItIsRewritten) {
  std::vector<std::string> notices;
  SettingsStore::SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
  const std::string handEdited = "[Comm]\nType=0\n# the office phone\n[Rs232]\nPort=COM2\n";
  const std::string file = NewStore();
  const std::string folder = std::filesystem::path(file).parent_path();
  test::WriteFile(file, handEdited);
  auto copies = [&] {
    std::vector<std::string> found;
    for (const std::string& name : Entries(folder))
      if (std::regex_match(name, std::regex("quilltool\\.conf\\.unreadable-[0-9]{8}-[0-9]{6}(-[0-9]+)?")))
        found.push_back(folder + "/" + name);
    return found;
  };

  // Reading leaves the file alone; the readable values are used.
  EXPECT_EQ(store_.GetInt("Comm", "Type", 1), 0);
  EXPECT_EQ(store_.Health().state, StoreHealth::State::Unparseable);
  EXPECT_NE(store_.Health().reason.find("line 3"), std::string::npos) << store_.Health().reason;
  EXPECT_TRUE(copies().empty());
  EXPECT_TRUE(notices.empty());

  ASSERT_TRUE(store_.WriteInt("Sdram", "SaveLength", 4096));
  {
    SettingsStore::Batch batch;
    batch.WriteString("Rs232", "Port", "COM1");
    ASSERT_TRUE(batch.Commit());
  }
  ASSERT_TRUE(store_.WriteInt("Sdram", "SaveLength", 8192));
  ASSERT_EQ(copies().size(), 1u);
  EXPECT_EQ(test::ReadFile(copies()[0]), handEdited);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(copies()[0]), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find(file + ": line 3"), std::string::npos) << notices[0];
  // The store is the tool's own again, with what could be read of the old file and the new values.
  EXPECT_TRUE(store_.Health().Fine()) << store_.Health().Message();
  EXPECT_EQ(store_.GetInt("Comm", "Type", 1), 0);
  EXPECT_EQ(store_.GetInt("Sdram", "SaveLength", 0), 8192);

  // Edited by hand again: a copy of its own, never over the first one, even within the same second.
  test::WriteFile(file, handEdited + "[Broken\n");
  ASSERT_TRUE(store_.WriteInt("Sdram", "SaveLength", 1));
  EXPECT_EQ(copies().size(), 2u);
  EXPECT_EQ(notices.size(), 2u);
  SettingsStore::SetNoticeHandler(nullptr);
}

// Texts the tool stores are bytes: a phone's settings hold code page 936 text, and file names need not be
// UTF-8. Every one comes back as it went in, also through the file.
TEST_F(StoreFaultsTest, TextsThatAreNotUtf8AreKeptByteForByte) {
  const std::vector<std::string> texts = {
      kGbkHello,
      kGbkPhoneSettings,
      "100" + kGbkHello,
      "\xff\xfe\xfd",
      "a\xc0\x80z",    // an overlong zero
      "\xef\xbf\xbd",  // U+FFFD itself, written as UTF-8
      "\x01\x02\x7f tab\there",
      "@ByteArray(not bytes)",  // looks like the file's own notation
      "话机设置",               // UTF-8 stays readable text
      "a,b, c",
      "",
  };
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    std::string key = "Text" + std::to_string(i);
    ASSERT_TRUE(store_.WriteString("PhoneSettings", key, texts[i]));
    EXPECT_EQ(store_.GetString("PhoneSettings", key, "default"), texts[i]);
  }
  // The same values read by a process that never wrote them: the file copied to a store not cached here.
  std::string file = test::ReadFile(store_.FilePath());
  EXPECT_NE(file.find("=话机设置"), std::string::npos) << "UTF-8 text should stay readable in the file";
  test::WriteFile(NewStore(), file);
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(store_.GetString("PhoneSettings", "Text" + std::to_string(i), "default"), texts[i]);
  }
}

// The way such text reaches the store: a settings image read from a phone, imported, and built again for
// the phone.
TEST_F(StoreFaultsTest, APhoneNumberInCodePage936SurvivesImportAndBuild) {
  SettingsImage image{};
  BuildSettingsImage(image);
  std::copy(kGbkHello.begin(), kGbkHello.end(), image.begin() + 16);  // PhoneNumber, zero-terminated
  image[16 + kGbkHello.size()] = 0;
  ASSERT_TRUE(ImportSettingsImage(image));
  EXPECT_EQ(store_.GetString("PhoneSettings", "PhoneNumber", ""), kGbkHello);
  SettingsImage built{};
  BuildSettingsImage(built);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(built.data()) + 16, kGbkHello.size() + 1),
            kGbkHello + '\0');
}

// Two tool processes saving options at the same time: the test binary runs itself twice as the writers.
constexpr const char* kWriterStoreEnv = "QUILL_HOSTILE_STORE";
constexpr const char* kWriterNameEnv = "QUILL_HOSTILE_WRITER";
constexpr int kWriterRounds = 80;

std::string WriterValue(const std::string& writer, int i) {
  return writer + " " + std::to_string(i) + " " + kGbkHello;
}

// Runs only as a child of TwoProcessesWritingAtOnceLoseNoKey (it is disabled in the normal run).
TEST(StoreWriterChild, DISABLED_WritesItsOptions) {
  const char* folder = std::getenv(kWriterStoreEnv);
  const char* writer = std::getenv(kWriterNameEnv);
  ASSERT_TRUE(folder && writer);
  SettingsStore::SetLocation(folder);
  SettingsStore::SetRegistryKey("Hostile Writers");
  SettingsStore& store = SettingsStore::Profile();
  const std::string section = std::string("Writer") + writer;
  for (int i = 0; i < kWriterRounds; ++i) {
    // Single saves, as remembered file names are stored, and a batch, as SaveToolOptions stores.
    ASSERT_TRUE(store.WriteString(section, "Name" + std::to_string(i), WriterValue(writer, i)));
    ASSERT_TRUE(store.WriteInt("Shared", std::string("Last") + writer, i));
    SettingsStore::Batch batch;
    for (int k = 0; k < 4; ++k) batch.WriteInt(section, "Batch" + std::to_string(i * 4 + k), i * 4 + k);
    ASSERT_TRUE(batch.Commit());
  }
}

TEST_F(StoreFaultsTest, TwoProcessesWritingAtOnceLoseNoKey) {
  test::TempDir folder;
  const std::vector<std::string> writers = {"A", "B"};
  std::vector<pid_t> children;
  for (const std::string& writer : writers) {
    // Everything the child needs is made before the fork: between fork and exec only async-signal-safe
    // calls.
    std::vector<std::string> env = {std::string(kWriterStoreEnv) + "=" + folder.Path(),
                                    std::string(kWriterNameEnv) + "=" + writer};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char arg0[] = "store_writer";
    char filter[] = "--gtest_filter=StoreWriterChild.DISABLED_WritesItsOptions";
    char disabled[] = "--gtest_also_run_disabled_tests";
    char* argv[] = {arg0, filter, disabled, nullptr};
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::execve("/proc/self/exe", argv, envp.data());
      ::_exit(127);
    }
    children.push_back(pid);
  }
  // A watchdog against a writer that hangs; it never decides the result otherwise.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  for (pid_t pid : children) {
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "a writer did not finish";
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed, status " << status;
  }
  SettingsStore::SetLocation(folder.Path());
  SettingsStore::SetRegistryKey("Hostile Writers");
  for (const std::string& writer : writers) {
    SCOPED_TRACE(writer);
    const std::string section = "Writer" + writer;
    for (int i = 0; i < kWriterRounds; ++i) {
      EXPECT_EQ(store_.GetString(section, "Name" + std::to_string(i), "lost"), WriterValue(writer, i)) << i;
      for (int k = 0; k < 4; ++k)
        EXPECT_EQ(store_.GetInt(section, "Batch" + std::to_string(i * 4 + k), -1), i * 4 + k);
    }
    EXPECT_EQ(store_.GetInt("Shared", "Last" + writer, -1), kWriterRounds - 1);
  }
  SettingsStore::SetLocation(dir_.Path());
}

}  // namespace
}  // namespace quill
