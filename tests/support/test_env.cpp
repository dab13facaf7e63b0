#include "tests/support/test_env.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

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

void ClearStore() { SettingsStore::Profile().Clear(); }

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

int OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }
int ThreadCount() { return CountEntries("/proc/self/task") + 1; }

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

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace quill::test
