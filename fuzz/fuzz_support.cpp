#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "transport/net_helpers.h"

namespace quill::fuzz {

const std::string& WorkFolder() {
  // Every run writes its input to a file: memory-backed storage keeps that from setting the pace.
  static const test::TempDir folder(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "");
  if (folder.Path() == "/tmp") Fail("cannot make the work folder");
  return folder.Path();
}

std::string WorkFile(const std::string& name) {
  return WorkFolder() + "/" + name;
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  Check(test::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size)),
        "cannot write an input file");
}

void UsePrivateStore() {
  static int argc = 1;
  static char name[] = "quillfuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);  // lives as long as the process
  (void)app;
  const std::string folder = WorkFile("store");
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  test::UsePrivateStore(folder);
}

void UseOfflineHostNames() {
  InstallHostNameLookup([](const std::string& name) -> std::optional<uint32_t> {
    if (name == "phone.lan") return HostToNetworkAddress(loopback::kFuzzPhoneLan.value);
    return std::nullopt;
  });
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace quill::fuzz
