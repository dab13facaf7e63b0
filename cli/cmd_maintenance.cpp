// The maintenance commands of the main window on the command line: flash page and program update, the
// data-area updates, SDRAM load and export, the factory-restore instructions and the connection test. They
// run the same code as the window's buttons and show the same messages; the exit code is 0 only when the
// command did what it was asked.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/tool_options.h"
#include "cli/subcommand.h"
#include "fleet/child_report.h"
#include "link/command_files.h"
#include "link/maintenance_commands.h"
#include "settings/settings_text_file.h"
#include "transport/net_helpers.h"

namespace quill::cli {
namespace {

// The main window's values for one command line. The phone, the link, the port and the SDRAM length are
// this run's arguments only (never the store's, so a one-off --serial cannot make the next run serial);
// the audio options come from the store so that storing them, as the window does, changes nothing.
class CliCommandHost : public CommandHost {
 public:
  CliCommandHost(Ui& ui, ToolOptions options, std::optional<long long> sdramLength,
                 std::string workingDirectory)
      : ui_(ui),
        options_(options),
        sdramLength_(sdramLength),
        workingDirectory_(std::move(workingDirectory)) {}

  CommandValues SaveToolOptions() override {
    // The window's range check of the SDRAM length field: a refused value is said and left as stored,
    // every other option is stored and the command goes on.
    bool lengthValid = false;
    if (sdramLength_ && SdramLengthInRange(*sdramLength_)) {
      options_.sdramLength = static_cast<int>(*sdramLength_);
      lengthValid = true;
    } else if (sdramLength_) {
      ui_.Message(RangeMessage(0, kMaxSdramLength));
    }
    const StoreResult stored = WriteToolOptions(options_, lengthValid);
    if (!stored) {
      ui_.Message(stored.Message());
      storeFailed_ = true;
    }
    return CommandValuesOf(options_, lengthValid, stored.Ok());
  }
  uint32_t IpFieldAddress() const override { return options_.ipField; }
  std::string WorkingDirectory() const override { return workingDirectory_; }
  bool StoreFailed() const { return storeFailed_; }

 private:
  Ui& ui_;
  ToolOptions options_;
  std::optional<long long> sdramLength_;  // --length; only the SDRAM export takes one
  std::string workingDirectory_;
  bool storeFailed_ = false;
};

using Command = bool (CMaintenanceCommands::*)();

// Which commands talk to a phone over the network.
enum class Reach {
  None,  // nothing is sent
  Icmp,  // always over the network: --phone is required
  Link,  // over the run's link: --phone is required unless --serial is given
};

struct Entry {
  const char* name;
  const char* summary;
  const char* arguments;  // the positional argument's name, or nullptr
  std::string details;
  Command command;
  std::vector<std::string> flags;
  std::vector<std::string> values;
  Reach reach = Reach::Link;
};

constexpr const char* kCommonOptions =
    "Options:\n"
    "  --phone ADDRESS   the phone's address, as typed into the IP field; required unless --serial\n"
    "  --serial | --tcp  the link for this run (default TCP/IP)\n"
    "  --port COM1|COM2  the serial port for this run (default COM1; `quilltool options` shows the\n"
    "                    device behind each)\n"
    "  --yes             answer yes to a question\n"
    "The options are stored as the window stores them, but no run takes its phone, link or port from the\n"
    "store: each run uses only what its own command line says.\n";

// What the file argument may be: the commands read it whole, and refuse anything else before any traffic.
std::string FileLimit(size_t limit) {
  return "FILE must be a regular file of at most " + std::to_string(limit >> 20) + " MiB.\n";
}

std::string Usage(const Entry& e) {
  std::string text = std::string("Usage: quilltool ") + e.name;
  if (e.arguments) text += std::string(" ") + e.arguments;
  bool linkOptions = e.reach == Reach::Link;
  if (e.reach == Reach::Icmp) text += " --phone ADDRESS";
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

int MissingOption(const Entry& e, const char* option, const char* why) {
  std::fprintf(stderr, "quilltool %s: %s is required: %s\n", e.name, option, why);
  std::fputs(Usage(e).c_str(), stderr);
  return kExitUsage;
}

bool WantsValue(const Entry& e, const char* name) {
  return std::find(e.values.begin(), e.values.end(), name) != e.values.end();
}

int RunEntry(const Entry& e, const Args& args, TerminalUi& ui) {
  auto positionals = args.Positionals();
  // `ping ADDRESS`, the older form, names the phone as --phone does.
  std::optional<std::string> phone = args.Value("--phone");
  if (e.reach == Reach::Icmp && !phone && positionals.size() == 1) {
    phone = positionals[0];
    positionals.clear();
  }
  const size_t wanted = e.arguments ? 1 : 0;
  if (positionals.size() != wanted) {
    std::fputs(Usage(e).c_str(), stderr);
    return kExitUsage;
  }
  // The stored audio options, to be stored back unchanged; the window's fresh page, chip and IP field.
  ToolOptions options = LoadToolOptions();
  options.linkType = 1;
  options.serialPortIndex = 0;
  if (args.Has("--serial") && args.Has("--tcp")) {
    std::fputs("quilltool: give --serial or --tcp, not both\n", stderr);
    return kExitUsage;
  }
  if (args.Has("--serial")) options.linkType = 0;
  if (auto port = args.Value("--port")) {
    if (*port != "COM1" && *port != "COM2") {
      std::fputs("quilltool: --port takes COM1 or COM2\n", stderr);
      return kExitUsage;
    }
    options.serialPortIndex = *port == "COM1" ? 0 : 1;
  }
  const bool network = e.reach == Reach::Icmp || (e.reach == Reach::Link && options.linkType == 1);
  if (network && !phone)
    return MissingOption(e, "--phone ADDRESS",
                         "the phone to talk to over the network (it is never taken from the store)");
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
  std::optional<long long> sdramLength;
  if (WantsValue(e, "--length")) {
    auto length = args.Value("--length");
    if (!length) return MissingOption(e, "--length N", "the number of bytes to read");
    sdramLength = ParseIntegerArg(*length);
    if (!sdramLength) {
      std::fputs("quilltool: --length takes an integer\n", stderr);
      return kExitUsage;
    }
    // Its range is the window's check, with the window's message.
  }
  std::string directory = args.Value("--dir").value_or(CurrentDirectory());

  // Run by the fleet: the steps go to its pipe as they happen.
  std::optional<fleet::ChildReporter> reporter;
  std::unique_ptr<Ui> reporting;
  if (auto fd = args.Value("--progress-fd")) {
    auto n = ParseIntegerArg(*fd);
    if (!n || *n < 3 || *n > 1023) {
      std::fputs("quilltool: --progress-fd takes a descriptor number from 3 to 1023\n", stderr);
      return kExitUsage;
    }
    reporter.emplace(static_cast<int>(*n));
    reporting = reporter->Wrap(ui);
    fleet::ChildReporter::InstallStopHandler();
  }
  Ui& shown = reporting ? *reporting : ui;

  // The file argument answers the command's file dialog.
  if (e.arguments) ui.PushFileAnswer(positionals[0]);
  CliCommandHost host(shown, options, sdramLength, directory);
  CMaintenanceLink link(shown);
  if (reporter) link.SetStageObserver(reporter->Observer());
  CMaintenanceCommands commands(shown, link, host);
  const bool done = (commands.*e.command)();
  // Options that could not be stored are a failure of the run, whatever the phone did.
  return done && !host.StoreFailed() ? kExitOk : kExitFailure;
}

const std::vector<std::string> kLinkFlags = {"--serial", "--tcp", "--yes"};
// --progress-fd: the fleet's event pipe (fleet/child_report.h), not for people.
const std::vector<std::string> kLinkValues = {"--phone", "--port", "--progress-fd"};

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
       "Sends the program image FILE to the phone, which writes it into its flash.\n" +
           FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateProgram, kLinkFlags, kLinkValues},
      {"update-ring", "replace the phone's ring tone (TCP)", "FILE",
       "Sends the ring tone FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateRing, kLinkFlags, kLinkValues},
      {"update-map", "replace the phone's digit map (TCP)", "FILE",
       "Sends the digit map FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateDigitMap, kLinkFlags, kLinkValues},
      {"update-hold", "replace the phone's hold announcement (TCP)", "FILE",
       "Sends the hold announcement FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateHoldAnnouncement, kLinkFlags, kLinkValues},
      {"update-alternate", "send four alternate settings records from a settings text file (TCP)", "FILE",
       "Reads the phone's settings, applies the settings text FILE ([SETTING1]..[SETTING4]) to four\n"
       "copies of them and sends the four records.\n" +
           FileLimit(kMaxSettingsTextFile),
       &CMaintenanceCommands::UpdateAlternateSettings, kLinkFlags, kLinkValues},
      {"push-settings", "read the phone's settings, then send the settings built from the store (TCP)",
       nullptr,
       "Reads the phone's settings into the store's section \"PhoneSettings\" as the settings dialog\n"
       "would show them, then, after the question (--yes), sends the record built from the store.\n",
       &CMaintenanceCommands::EditAndPushSettings, kLinkFlags, kLinkValues},
      {"sdram-load", "write a file into the phone's SDRAM (at most 640000 bytes)", "FILE",
       "Writes FILE, a regular file (its first 640000 bytes), into the phone's SDRAM.\n",
       &CMaintenanceCommands::LoadSdram, kLinkFlags, kLinkValues},
      {"sdram-save", "read the phone's SDRAM into a file", "FILE",
       "Reads N bytes of the phone's SDRAM into FILE.\n"
       "  --length N        bytes to read, 0..640000 (required)\n",
       &CMaintenanceCommands::SaveSdram, kLinkFlags, Plus(kLinkValues, {"--length"})},
      {"factory-restore",
       "show the keypad sequence that restores the phone's factory settings",
       nullptr,
       "Nothing is sent to the phone.\n",
       &CMaintenanceCommands::ShowFactoryRestore,
       {},
       {},
       Reach::None},
      {"ping",
       "test the connection to a phone with one ICMP echo",
       nullptr,
       "Sends one ICMP echo request to ADDRESS (required; `quilltool ping ADDRESS` also works). No option\n"
       "is stored.\n",
       &CMaintenanceCommands::TestConnection,
       {},
       {"--phone", "--progress-fd"},
       Reach::Icmp},
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
