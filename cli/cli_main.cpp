#include "cli/cli_main.h"

#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/file_io.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "transport/winsock.h"

namespace quill::cli {

int RunCli(const std::string& subcommand, const std::vector<std::string>& args) {
  TerminalUi ui;
  // An interrupted command removes the files it was writing and exits 130 (Ctrl-C), 143 or 129.
  ExitOnInterrupt();
  SetThreadLocale(kLocaleEnglishUS);
  SettingsStore::SetRegistryKey("Quillmark Communications");
  if (!InitWinSock2()) {
    ui.Message("Winsock 2.0 failed");
    return kExitFailure;
  }
  if (!CreateProcessEvents()) {
    FreeWinSock2();
    return kExitFailure;
  }
  int code = RunSubcommand(subcommand, args, ui);
  CloseProcessEvents();
  FreeWinSock2();
  return code;
}

}  // namespace quill::cli
