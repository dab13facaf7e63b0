// The maintenance commands of the main window on the command line: flash page and program update, the
// data-area updates, SDRAM load and export, the factory-restore instructions and the connection test. They
// run the same code as the window's buttons and show the same messages; the exit code is 0 only when the
// command did what it was asked.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/tool_options.h"
#include "cli/subcommand.h"
#include "link/maintenance_commands.h"
#include "transport/net_helpers.h"

namespace quill::cli {
namespace {

// The main window's values for one command line: the stored options as the window loads them, then what
// the arguments say. SaveToolOptions stores them as the window does, so the next command (and the GUI's
// TCP link) sees the same phone.
class CliCommandHost : public CommandHost {
 public:
  CliCommandHost(Ui& ui, ToolOptions options, long long sdramLength, std::string workingDirectory)
      : ui_(ui),
        options_(options),
        sdramLength_(sdramLength),
        workingDirectory_(std::move(workingDirectory)) {}

  bool SaveToolOptions() override {
    // The window's range check of the SDRAM length field; a refused value stores nothing.
    if (!SdramLengthInRange(sdramLength_)) {
      ui_.Message(RangeMessage(0, kMaxSdramLength));
      return false;
    }
    options_.sdramLength = static_cast<int>(sdramLength_);
    WriteToolOptions(options_);
    return true;
  }
  int LinkType() const override { return options_.linkType; }
  int FlashPage() const override { return options_.flashPage; }
  int ChipType() const override { return options_.chipType; }
  uint32_t IpFieldAddress() const override { return options_.ipField; }
  std::string PortName() const override { return options_.PortName(); }
  std::string WorkingDirectory() const override { return workingDirectory_; }

 private:
  Ui& ui_;
  ToolOptions options_;
  long long sdramLength_;
  std::string workingDirectory_;
};

using Command = bool (CMaintenanceCommands::*)();

struct Entry {
  const char* name;
  const char* summary;
  const char* arguments;  // the positional argument's name, or nullptr
  const char* details;
  Command command;
  std::vector<std::string> flags;
  std::vector<std::string> values;
};

constexpr const char* kCommonOptions =
    "Options:\n"
    "  --phone ADDRESS   the phone's address, as typed into the IP field (default 192.168.1.100, the\n"
    "                    address the window opens with); stored as the window stores it\n"
    "  --serial | --tcp  the link (default: the stored one, TCP/IP unless changed)\n"
    "  --port COM1|COM2  the serial port (default: the stored one; see `quilltool options` for devices)\n"
    "  --yes             answer yes to a question\n";

std::string Usage(const Entry& e) {
  std::string text = std::string("Usage: quilltool ") + e.name;
  if (e.arguments) text += std::string(" ") + e.arguments;
  bool linkOptions = !e.values.empty();
  text += linkOptions ? " [options]\n" : "\n";
  text += e.details;
  if (linkOptions) text += kCommonOptions;
  return text;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
  return buffer.data();
}

// Applies an option with a bounded integer value; false (after saying why) when it is not one.
bool IntegerOption(const Args& args, const char* name, long long low, long long high, int& into) {
  auto text = args.Value(name);
  if (!text) return true;
  auto value = ParseIntegerArg(*text);
  if (!value || *value < low || *value > high) {
    std::fprintf(stderr, "quilltool: %s takes an integer from %lld to %lld\n", name, low, high);
    return false;
  }
  into = static_cast<int>(*value);
  return true;
}

int RunEntry(const Entry& e, const Args& args, TerminalUi& ui) {
  const auto& positionals = args.Positionals();
  const size_t wanted = e.arguments ? 1 : 0;
  if (positionals.size() != wanted) {
    std::fputs(Usage(e).c_str(), stderr);
    return kExitUsage;
  }
  ToolOptions options = LoadToolOptions();
  long long sdramLength = options.sdramLength;
  if (args.Has("--serial") && args.Has("--tcp")) {
    std::fputs("quilltool: give --serial or --tcp, not both\n", stderr);
    return kExitUsage;
  }
  if (args.Has("--serial")) options.linkType = 0;
  if (args.Has("--tcp")) options.linkType = 1;
  if (auto port = args.Value("--port")) {
    if (*port != "COM1" && *port != "COM2") {
      std::fputs("quilltool: --port takes COM1 or COM2\n", stderr);
      return kExitUsage;
    }
    options.serialPortIndex = *port == "COM1" ? 0 : 1;
  }
  std::optional<std::string> phone = args.Value("--phone");
  if (std::string(e.name) == "ping") phone = positionals[0];
  if (phone) {
    uint32_t address = ResolveHost(*phone);
    if (address == kResolveFailed) {
      std::fprintf(stderr, "quilltool: %s is not an address\n", phone->c_str());
      return kExitUsage;
    }
    options.ipField = NetworkToHostAddress(address);
  }
  if (!IntegerOption(args, "--page", 0, 15, options.flashPage) ||
      !IntegerOption(args, "--chip", 0, 4, options.chipType))
    return kExitUsage;
  if (auto length = args.Value("--length")) {
    auto value = ParseIntegerArg(*length);
    if (!value) {
      std::fputs("quilltool: --length takes an integer\n", stderr);
      return kExitUsage;
    }
    sdramLength = *value;  // its range is the window's check, with the window's message
  }
  std::string directory = args.Value("--dir").value_or(CurrentDirectory());

  // The file argument answers the command's file dialog.
  if (e.arguments && std::string(e.name) != "ping") ui.PushFileAnswer(positionals[0]);
  CliCommandHost host(ui, options, sdramLength, directory);
  CMaintenanceLink link(ui);
  CMaintenanceCommands commands(ui, link, host);
  return (commands.*e.command)() ? kExitOk : kExitFailure;
}

const std::vector<std::string> kLinkFlags = {"--serial", "--tcp", "--yes"};
const std::vector<std::string> kLinkValues = {"--phone", "--port"};

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<Entry>& Entries() {
  static const std::vector<Entry> entries = {
      {"update-page", "program Page0.hex into one flash page of the phone (serial or TCP)", nullptr,
       "Loads Page0.hex of the working directory into the selected 64 KiB flash page, with the phone\n"
       "settings merged where the page holds them; over the serial line byte by byte, over TCP by the\n"
       "phone itself. Asks before a file whose name does not name the page (answer with --yes).\n"
       "  --page N          flash page 0..15 (default 0)\n"
       "  --chip T          flash chip type 0..4: AM29LV008B, AM29LV002T, AM29F040, AM29LV004T,\n"
       "                    AM29LV008T (default 4)\n"
       "  --dir DIR         the working directory that holds Page0.hex (default: the current one)\n",
       &CMaintenanceCommands::UpdateFlashPage, kLinkFlags, Plus(kLinkValues, {"--page", "--chip", "--dir"})},
      {"update-program", "replace the phone's program image (TCP)", "FILE",
       "Sends the program image FILE to the phone, which writes it into its flash.\n",
       &CMaintenanceCommands::UpdateProgram, kLinkFlags, kLinkValues},
      {"update-ring", "replace the phone's ring tone (TCP)", "FILE",
       "Sends the ring tone FILE to the phone.\n", &CMaintenanceCommands::UpdateRing, kLinkFlags,
       kLinkValues},
      {"update-map", "replace the phone's digit map (TCP)", "FILE",
       "Sends the digit map FILE to the phone.\n", &CMaintenanceCommands::UpdateDigitMap, kLinkFlags,
       kLinkValues},
      {"update-hold", "replace the phone's hold announcement (TCP)", "FILE",
       "Sends the hold announcement FILE to the phone.\n", &CMaintenanceCommands::UpdateHoldAnnouncement,
       kLinkFlags, kLinkValues},
      {"update-alternate", "send four alternate settings records from a settings text file (TCP)", "FILE",
       "Reads the phone's settings, applies the settings text FILE ([SETTING1]..[SETTING4]) to four\n"
       "copies of them and sends the four records.\n",
       &CMaintenanceCommands::UpdateAlternateSettings, kLinkFlags, kLinkValues},
      {"push-settings", "read the phone's settings, then send the settings built from the store (TCP)",
       nullptr,
       "Reads the phone's settings into the store's section \"PhoneSettings\" as the settings dialog\n"
       "would show them, then, after the question (--yes), sends the record built from the store.\n",
       &CMaintenanceCommands::EditAndPushSettings, kLinkFlags, kLinkValues},
      {"sdram-load", "write a file into the phone's SDRAM (at most 640000 bytes)", "FILE",
       "Writes FILE (its first 640000 bytes) into the phone's SDRAM.\n", &CMaintenanceCommands::LoadSdram,
       kLinkFlags, kLinkValues},
      {"sdram-save", "read the phone's SDRAM into a file", "FILE",
       "Reads the phone's SDRAM into FILE.\n"
       "  --length N        bytes to read, 0..640000 (default: the stored length)\n",
       &CMaintenanceCommands::SaveSdram, kLinkFlags, Plus(kLinkValues, {"--length"})},
      {"factory-restore",
       "show the keypad sequence that restores the phone's factory settings",
       nullptr,
       "Nothing is sent to the phone.\n",
       &CMaintenanceCommands::ShowFactoryRestore,
       {},
       {}},
      {"ping",
       "test the connection to a phone with one ICMP echo",
       "ADDRESS",
       "Sends one ICMP echo request to ADDRESS. No option is stored.\n",
       &CMaintenanceCommands::TestConnection,
       {},
       {}},
  };
  return entries;
}

const bool registered = [] {
  bool all = true;
  for (const Entry& e : Entries()) {
    all = RegisterSubcommand({e.name, e.summary, Usage(e), e.flags, e.values,
                              [&e](const Args& args, TerminalUi& ui) { return RunEntry(e, args, ui); }}) &&
          all;
  }
  return all;
}();

}  // namespace
}  // namespace quill::cli
