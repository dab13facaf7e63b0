// quilltool-gui: the window ("Updating Tool"). quilltool starts it when it is run without a subcommand,
// with its own arguments; run by itself it takes the same options.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "app/gui_main.h"
#include "app/start_options.h"
#include "platform/application.h"

namespace {

std::string Help() {
  const std::string name = quill::ApplicationName();
  return "usage: " + name + " [--store DIR] [--debug-log[=FILE]] [--demo] [--full]\n" +
         "The window of quilltool; `quilltool --help` lists the subcommands of the command line.\n";
}

}  // namespace

int main(int argc, char** argv) {
  quill::StartOptions options;
  if (const auto done = quill::ReadStartOptions(argc, argv, Help, options)) return *done;
  // Run by its own name, it is still quilltool's window: the store and the captions are quilltool's.
  if (std::string name = quill::ApplicationName(); name.size() > 4 && name.ends_with("-gui")) {
    name.resize(name.size() - 4);
    quill::SetApplicationName(name);
  }
  if (options.next < argc) {
    std::fprintf(stderr, "%s: the window takes no subcommand: %s (run it with %s)\n",
                 quill::ApplicationName().c_str(), argv[options.next], quill::ApplicationName().c_str());
    return 2;
  }
  if (!quill::DisplayAvailable()) {
    std::fputs(quill::NoDisplayLine().c_str(), stderr);
    return 2;
  }
  const auto problem = quill::ApplyStartOptions(options);
  QApplication app(argc, argv);
  if (problem) {
    QMessageBox::critical(nullptr, QString::fromStdString(quill::ApplicationName()),
                          QString::fromStdString(problem->message));
    return problem->exitCode;
  }
  return quill::RunGui(options.gui);
}
