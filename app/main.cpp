// quilltool: with no subcommand the GUI ("Updating Tool"); with one, a command-line tool without a display.
// The GUI lives in a module loaded only for the GUI (app/gui_module.cpp), so that the command line starts
// without loading the GUI libraries.
#include <dlfcn.h>
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/start_options.h"
#include "cli/cli_main.h"
#include "cli/subcommand.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/settings_store.h"

namespace {

constexpr const char* kGuiModule = "quilltool-gui.so";
constexpr const char* kGuiEntry = "QuillToolGuiMain";

// Beside the executable in a build tree; in lib/quilltool/ beside bin/ when installed.
int RunGuiModule(int argc, char** argv) {
  std::string self(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  std::string folder = n > 0 ? self.substr(0, static_cast<size_t>(n)) : std::string(argv[0]);
  folder = folder.substr(0, folder.rfind('/') + 1);
  std::string error;
  for (const std::string& path : {folder + kGuiModule, folder + "../lib/quilltool/" + kGuiModule}) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      if (error.empty()) error = ::dlerror();  // the build tree's miss says most
      continue;
    }
    auto entry = reinterpret_cast<int (*)(int, char**)>(::dlsym(module, kGuiEntry));
    if (entry) return entry(argc, argv);
    error = ::dlerror();
    break;
  }
  std::fprintf(stderr, "%s: cannot load the GUI: %s\n", quill::ApplicationName().c_str(), error.c_str());
  return 1;
}

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether the GUI can start: Qt aborts the process when its platform finds no display. A platform named in
// QT_QPA_PLATFORM (a list tried in order, each name with optional ":options") may need none (offscreen,
// the frame buffer, VNC); the X and Wayland ones need theirs, and so does Qt's default.
bool DisplayAvailable() {
  const bool x = IsSet("DISPLAY");
  const bool wayland = IsSet("WAYLAND_DISPLAY");
  const char* platforms = std::getenv("QT_QPA_PLATFORM");
  if (!platforms || !*platforms) return x || wayland;
  std::string_view list(platforms);
  while (!list.empty()) {
    size_t end = list.find(';');
    std::string_view entry = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    std::string_view name = entry.substr(0, entry.find(':'));
    if (name.empty()) continue;
    if (name == "xcb") {
      if (x) return true;
    } else if (name.substr(0, 7) == "wayland") {
      if (wayland) return true;
    } else {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // A peer that closes its end must give an error result, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  quill::SetApplicationNameFromPath(argc > 0 ? argv[0] : "quilltool");
  quill::DebugLog::FromEnvironment();

  quill::StartOptions options;
  switch (quill::ParseStartOptions(argc, argv, options)) {
    case quill::StartOptions::Outcome::Help:
      std::fputs(quill::cli::MainHelp().c_str(), stdout);
      return 0;
    case quill::StartOptions::Outcome::Version:
      std::printf("%s 1.0.0\n", quill::ApplicationName().c_str());
      return 0;
    case quill::StartOptions::Outcome::Error:
      return 2;
    case quill::StartOptions::Outcome::Run:
      break;
  }
  if (options.next >= argc) {
    if (!DisplayAvailable()) {
      const std::string& name = quill::ApplicationName();
      std::fprintf(stderr, "%s: no display found for the window; run a subcommand instead (see %s --help)\n",
                   name.c_str(), name.c_str());
      return 2;
    }
    return RunGuiModule(argc, argv);
  }

  if (!options.store.empty()) quill::SettingsStore::SetLocation(options.store);
  const int i = options.next;
  QCoreApplication app(argc, argv);
  std::vector<std::string> rest(argv + i + 1, argv + argc);
  return quill::cli::RunCli(argv[i], rest);
}
