// The GUI front end: start-up with the main window run modally.
#pragma once

namespace quill {

struct GuiOptions {
  bool demo = false;  // embedded phone simulator on 127.0.0.1 and a pty as COM1
  bool full = false;  // show the template's hidden controls as well
};

// Runs start-up, the main window and tear-down; the process exit code.
int RunGui(const GuiOptions& options);

}  // namespace quill
