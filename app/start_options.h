// The tool's own options, the ones before a subcommand. The command line and the GUI module read the same
// arguments with this one parser, so that both agree on the store, the debug log and the GUI's options.
#pragma once

#include <string>

#include "app/gui_main.h"

namespace quill {

struct StartOptions {
  enum class Outcome { Run, Help, Version, Error };
  GuiOptions gui;
  std::string store;  // --store DIR; empty: the user's own store
  int next = 0;       // index in argv of the subcommand; argc when there is none (the GUI)
};

// Reads the options up to the first argument that is not one; --debug-log takes effect at once. Error:
// the message is printed already (exit code 2).
StartOptions::Outcome ParseStartOptions(int argc, char** argv, StartOptions& out);

}  // namespace quill
