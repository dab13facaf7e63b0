#include "tests/support/test_env.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "platform/settings_store.h"

namespace quill::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quilltest-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  path_ = made ? made : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

void UsePrivateStore() {
  static TempDir dir;  // removed when the test process ends
  SettingsStore::SetLocation(dir.Path());
}

void ClearStore() {
  StoreResult cleared = SettingsStore::Profile().Clear();
  if (!cleared) ADD_FAILURE() << cleared.Message();
}

namespace {
int CountEntries(const char* folder) {
  int n = 0;
  if (DIR* d = ::opendir(folder)) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
    --n;  // the descriptor of the directory being read
  }
  return n;
}
}  // namespace

int OpenDescriptorCount() {
  return CountEntries("/proc/self/fd");
}
int ThreadCount() {
  return CountEntries("/proc/self/task") + 1;
}

int SettledThreadCount() {
  long tid = 0;
  std::thread([&tid] { tid = ::syscall(SYS_gettid); }).join();
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  // No event marks a task leaving the list: look again shortly, within a bound.
  while (::access(task.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return ThreadCount();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::string s = ReadFile(path);
  return std::vector<unsigned char>(s.begin(), s.end());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

}  // namespace quill::test
