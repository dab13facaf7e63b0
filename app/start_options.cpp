#include "app/start_options.h"

#include <cstdio>

#include "platform/application.h"
#include "platform/debug_log.h"

namespace quill {

StartOptions::Outcome ParseStartOptions(int argc, char** argv, StartOptions& out) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") return StartOptions::Outcome::Help;
    if (a == "--version") return StartOptions::Outcome::Version;
    if (a == "--debug-log") {
      DebugLog::ToStderr();
    } else if (a.rfind("--debug-log=", 0) == 0) {
      if (!DebugLog::ToFile(a.substr(12))) {
        std::fprintf(stderr, "%s: cannot open debug log file %s\n", ApplicationName().c_str(),
                     a.substr(12).c_str());
        return StartOptions::Outcome::Error;
      }
    } else if (a == "--store" && i + 1 < argc) {
      out.store = argv[++i];
    } else if (a.rfind("--store=", 0) == 0) {
      out.store = a.substr(8);
    } else if (a == "--demo") {
      out.gui.demo = true;
    } else if (a == "--full") {
      out.gui.full = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "%s: unknown option %s (see %s --help)\n", ApplicationName().c_str(), a.c_str(),
                   ApplicationName().c_str());
      return StartOptions::Outcome::Error;
    } else {
      break;
    }
  }
  out.next = i;
  return StartOptions::Outcome::Run;
}

}  // namespace quill
