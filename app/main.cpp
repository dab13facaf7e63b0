// quilltool: with no subcommand the GUI ("Updating Tool"); with one, a command-line tool without a display.
#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/gui_main.h"
#include "cli/cli_main.h"
#include "cli/subcommand.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/settings_store.h"

int main(int argc, char** argv) {
  // A peer that closes its end must give an error result, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  quill::SetApplicationNameFromPath(argc > 0 ? argv[0] : "quilltool");
  quill::DebugLog::FromEnvironment();

  quill::GuiOptions gui;
  std::string store;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(quill::cli::MainHelp().c_str(), stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("%s 1.0.0\n", quill::ApplicationName().c_str());
      return 0;
    }
    if (a == "--debug-log") {
      quill::DebugLog::ToStderr();
    } else if (a.rfind("--debug-log=", 0) == 0) {
      if (!quill::DebugLog::ToFile(a.substr(12))) {
        std::fprintf(stderr, "%s: cannot open debug log file %s\n", quill::ApplicationName().c_str(),
                     a.substr(12).c_str());
        return 2;
      }
    } else if (a == "--store" && i + 1 < argc) {
      store = argv[++i];
    } else if (a.rfind("--store=", 0) == 0) {
      store = a.substr(8);
    } else if (a == "--demo") {
      gui.demo = true;
    } else if (a == "--full") {
      gui.full = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "%s: unknown option %s (see %s --help)\n", quill::ApplicationName().c_str(), a.c_str(),
                   quill::ApplicationName().c_str());
      return 2;
    } else {
      break;
    }
  }
  if (!store.empty()) quill::SettingsStore::SetLocation(store);

  if (i < argc) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> rest(argv + i + 1, argv + argc);
    return quill::cli::RunCli(argv[i], rest);
  }
  QApplication app(argc, argv);
  return quill::RunGui(gui);
}
