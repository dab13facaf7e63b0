#include "platform/application.h"

#include <mutex>

namespace quill {
namespace {

std::mutex g_mutex;
std::string& Name() {
  static std::string name = "quilltool";
  return name;
}

}  // namespace

std::string ApplicationName() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Name();
}

void SetApplicationName(std::string name) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  Name() = std::move(name);
}

void SetApplicationNameFromPath(std::string_view argv0) {
  auto slash = argv0.find_last_of("/\\");
  if (slash != std::string_view::npos) argv0.remove_prefix(slash + 1);
  auto dot = argv0.rfind('.');
  if (dot != std::string_view::npos && dot > 0) argv0 = argv0.substr(0, dot);
  SetApplicationName(std::string(argv0));
}

}  // namespace quill
