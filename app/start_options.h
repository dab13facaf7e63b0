// The tool's own options, the ones before a subcommand, and the start both executables share. quilltool
// (the command line) and quilltool-gui (the window) read them with one function of the core and put them in
// force with another, so that the store, the debug log and the window's options mean the same in both.
#pragma once

#include <optional>
#include <string>

#include "app/gui_main.h"

namespace quill {

struct StartOptions {
  GuiOptions gui;
  std::string store;                    // --store DIR; empty: the user's own store
  std::optional<std::string> debugLog;  // --debug-log (empty: stderr) or --debug-log=FILE; -v, --verbose
  bool quiet = false;                   // -q, --quiet: for the command line
  int next = 0;  // index in argv of the subcommand; argc when there is none (the window)
};

// Something the start found wrong, for the front end to say its own way (stderr, a message box).
struct StartProblem {
  int exitCode = 1;
  std::string message;
};

// The tool's version, as --version prints it after the name.
const char* ToolVersion();

// The first step of both executables: the application is named after argv[0], a peer that closes its end
// gives an error result instead of ending the process (SIGPIPE ignored), and the options are read up to the
// first word that is not one. Nothing else changes, so quilltool can still hand the same arguments to the
// window. The exit code when the process ends here: 0 after --help (help() printed) or --version, 2 after a
// usage error (said on stderr).
std::optional<int> ReadStartOptions(int argc, char** argv, std::string (*help)(), StartOptions& out);

// The second step, in the process that runs the tool: the debug log (QUILL_DEBUG_LOG, then --debug-log) and
// the store's folder, which must be a folder or not exist yet.
std::optional<StartProblem> ApplyStartOptions(const StartOptions& options);

// Whether a window can open: Qt ends the process when its platform finds no display.
bool DisplayAvailable();
// The line that says so on stderr, with what to run instead.
std::string NoDisplayLine();

}  // namespace quill
