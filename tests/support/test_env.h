// Test environment helpers: temporary folders, a private settings store, whole-file reads and writes, and a
// watchdog that turns a hang into a failure with a name.
#pragma once

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace quill::test {

// A folder removed with everything in it when the object goes; in base when given (the fuzz targets keep
// theirs in memory-backed storage), else in the system's temporary folder.
class TempDir {
 public:
  explicit TempDir(const std::string& base = {});
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points the settings store of this process at folder, or at a fresh folder of its own that goes with the
// process; called by the test mains, the benchmarks and the fuzz targets, never the user's own store.
void UsePrivateStore(const std::string& folder = {});
// Points the process's configuration, cache and data folders (and so those of the tool processes it starts)
// at a private folder, so that what Qt itself keeps (a file dialog's last folder) never reaches the user's
// home. Called first in main, before Qt reads them.
void UsePrivateHome();
// Removes every value of the store (each test starts from an empty store); throws when it cannot, so the
// test fails in its set-up.
void ClearStore();

std::string ReadFile(const std::string& path);
std::vector<unsigned char> ReadBytes(const std::string& path);
// Replaces the file's content; false when it could not be written whole.
bool WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Aborts the test binary with the name of what hung when it is not destroyed within bound. Only catches
// hangs: the bound is far above what any run takes, and nothing is measured against it.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::seconds bound = std::chrono::seconds(60));
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::promise<void> done_;
  std::thread thread_;
};

}  // namespace quill::test
