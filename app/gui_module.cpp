// The GUI as a module of its own, which quilltool loads only when it starts without a subcommand: a
// command-line run then never loads the GUI libraries (Qt Widgets and Gui and theirs, about half of a short
// command's run time). The module holds its own copy of the core, so it reads the options itself.
#include <QApplication>
#include <csignal>

#include "app/gui_main.h"
#include "app/start_options.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/settings_store.h"

extern "C" __attribute__((visibility("default"))) int QuillToolGuiMain(int argc, char** argv) {
  quill::SetApplicationNameFromPath(argc > 0 ? argv[0] : "quilltool");
  quill::DebugLog::FromEnvironment();
  quill::StartOptions options;
  if (quill::ParseStartOptions(argc, argv, options) != quill::StartOptions::Outcome::Run) return 2;
  if (!options.store.empty()) quill::SettingsStore::SetLocation(options.store);
  QApplication app(argc, argv);
  return quill::RunGui(options.gui);
}
