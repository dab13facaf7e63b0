#include "tests/support/test_env.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/settings_store.h"

namespace quill::test {

TempDir::TempDir(const std::string& base) {
  std::error_code ec;
  const std::filesystem::path parent =
      base.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(base);
  std::string pattern = (parent / "quilltest-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  path_ = made ? made : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

void UsePrivateHome() {
  static TempDir home;  // removed when the process ends
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
    const std::string folder = home.File(name);
    ::mkdir(folder.c_str(), 0700);
    ::setenv(name, folder.c_str(), 1);
  }
}

void UsePrivateStore(const std::string& folder) {
  if (!folder.empty()) {
    SettingsStore::SetLocation(folder);
    return;
  }
  static TempDir dir;  // removed when the process ends
  SettingsStore::SetLocation(dir.Path());
}

void ClearStore() {
  StoreResult cleared = SettingsStore::Profile().Clear();
  if (!cleared) throw std::runtime_error("cannot clear the settings store: " + cleared.Message());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::string s = ReadFile(path);
  return std::vector<unsigned char>(s.begin(), s.end());
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

Watchdog::Watchdog(std::string what, std::chrono::seconds bound) {
  thread_ = std::thread([future = done_.get_future(), what = std::move(what), bound] {
    if (future.wait_for(bound) == std::future_status::ready) return;
    std::fprintf(stderr, "hang: %s did not end within %lld s\n", what.c_str(),
                 static_cast<long long>(bound.count()));
    std::fflush(stderr);
    std::abort();
  });
}

Watchdog::~Watchdog() {
  done_.set_value();
  thread_.join();
}

}  // namespace quill::test
