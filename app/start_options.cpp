#include "app/start_options.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/settings_store.h"

namespace quill {

const char* ToolVersion() {
  return QUILL_VERSION;
}

std::optional<int> ReadStartOptions(int argc, char** argv, std::string (*help)(), StartOptions& out) {
  std::signal(SIGPIPE, SIG_IGN);
  SetApplicationNameFromPath(argc > 0 ? argv[0] : "quilltool");
  const std::string name = ApplicationName();
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(help().c_str(), stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("%s %s\n", name.c_str(), ToolVersion());
      return 0;
    }
    if (a == "--debug-log") {
      out.debugLog = std::string();
    } else if (a.substr(0, 12) == "--debug-log=") {
      out.debugLog = std::string(a.substr(12));
    } else if (a == "--store" && i + 1 < argc) {
      out.store = argv[++i];
    } else if (a.substr(0, 8) == "--store=") {
      out.store = a.substr(8);
    } else if (a == "-v" || a == "--verbose") {
      if (!out.debugLog) out.debugLog = std::string();
    } else if (a == "-q" || a == "--quiet") {
      out.quiet = true;
    } else if (a == "--demo") {
      out.gui.demo = true;
    } else if (a == "--full") {
      out.gui.full = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "%s: unknown option %s (see %s --help)\n", name.c_str(), argv[i], name.c_str());
      return 2;
    } else {
      break;
    }
  }
  out.next = i;
  return std::nullopt;
}

std::optional<StartProblem> ApplyStartOptions(const StartOptions& options) {
  DebugLog::FromEnvironment();
  if (options.debugLog) {
    if (options.debugLog->empty())
      DebugLog::ToStderr();
    else if (!DebugLog::ToFile(*options.debugLog))
      return StartProblem{2, "cannot open debug log file " + *options.debugLog};
  }
  if (!options.store.empty()) {
    SettingsStore::SetLocation(options.store);
    // Said now rather than at the first write, which may come after the user's work.
    if (const StoreResult usable = SettingsStore::CheckLocation(options.store); !usable)
      return StartProblem{1, usable.Message()};
  }
  return std::nullopt;
}

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

// A platform named in QT_QPA_PLATFORM (a list tried in order, each name with optional ":options") may need
// no display (offscreen, the frame buffer, VNC); the X and Wayland ones need theirs, and so does Qt's
// default.
bool DisplayAvailable() {
  const bool x = IsSet("DISPLAY");
  const bool wayland = IsSet("WAYLAND_DISPLAY");
  const char* platforms = std::getenv("QT_QPA_PLATFORM");
  if (!platforms || !*platforms) return x || wayland;
  std::string_view list(platforms);
  while (!list.empty()) {
    const size_t end = list.find(';');
    const std::string_view entry = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    const std::string_view name = entry.substr(0, entry.find(':'));
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

std::string NoDisplayLine() {
  const std::string name = ApplicationName();
  return name + ": no display found for the window; run a subcommand instead (see " + name + " --help)\n";
}

}  // namespace quill
