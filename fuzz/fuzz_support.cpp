#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/settings_store.h"
#include "transport/net_helpers.h"

namespace quill::fuzz {
namespace {

void RemoveWorkFolder() {
  std::error_code ec;
  std::filesystem::remove_all(WorkFolder(), ec);
}

}  // namespace

std::unique_ptr<ProgressWindow> SilentUi::OpenProgress() {
  return std::make_unique<SilentProgressWindow>();
}

std::shared_ptr<OutputView> SilentUi::CreateOutputView(const OutputViewSpec&) {
  return std::make_shared<SilentOutputView>();
}

const std::string& WorkFolder() {
  static const std::string folder = [] {
    // Every run writes its input to a file: memory-backed storage keeps that from setting the pace.
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const auto base = ::access(shm.c_str(), W_OK) == 0 ? shm : std::filesystem::temp_directory_path(ec);
    std::string pattern = (base / "quillfuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Fail("cannot make the work folder");
    return pattern;
  }();
  static const bool removed = [] { return std::atexit(RemoveWorkFolder) == 0; }();
  (void)removed;
  return folder;
}

std::string WorkFile(const std::string& name) {
  return WorkFolder() + "/" + name;
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create an input file");
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n <= 0) Fail("cannot write an input file");
    data += n;
    size -= static_cast<size_t>(n);
  }
  ::close(fd);
}

void UsePrivateStore() {
  static int argc = 1;
  static char name[] = "quillfuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);  // lives as long as the process
  (void)app;
  const std::string folder = WorkFile("store");
  std::filesystem::create_directories(folder);
  SettingsStore::SetLocation(folder);
}

void UseOfflineHostNames() {
  InstallHostNameLookup([](const std::string& name) -> std::optional<uint32_t> {
    if (name == "phone.lan") return HostToNetworkAddress(0x7F0000E6);
    return std::nullopt;
  });
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace quill::fuzz
