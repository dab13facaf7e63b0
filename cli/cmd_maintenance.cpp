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
                 std::string workingDirectory, std::optional<std::string> device = {})
      : ui_(ui),
        options_(options),
        sdramLength_(sdramLength),
        workingDirectory_(std::move(workingDirectory)),
        device_(std::move(device)) {}

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
    CommandValues values = CommandValuesOf(options_, lengthValid, stored.Ok());
    // --device: the serial port opens this path (the port map takes a path as it stands); never stored.
    if (device_) values.portName = *device_;
    return values;
  }
  uint32_t IpFieldAddress() const override { return options_.ipField; }
  std::string WorkingDirectory() const override { return workingDirectory_; }
  bool StoreFailed() const { return storeFailed_; }

 private:
  Ui& ui_;
  ToolOptions options_;
  std::optional<long long> sdramLength_;  // --length; only the SDRAM export takes one
  std::string workingDirectory_;
  std::optional<std::string> device_;
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
  std::vector<Option> options;
  Reach reach = Reach::Link;
};

const Option kPhone{"--phone", "ADDRESS",
                    "the phone's address, as typed into the IP field; required unless --serial"};
const Option kSerial{"--serial", "", "use the serial link for this run"};
const Option kTcp{"--tcp", "", "use the TCP/IP link for this run (the default)"};
const Option kPort{"--port",
                   "COM1|COM2",
                   "the serial port for this run (default COM1; `quilltool options` shows its device)",
                   ValueKind::Choice,
                   {"COM1", "COM2"}};
const Option kDevice{"--device", "PATH",
                     "the serial device for this run instead of a COM port (implies --serial; never stored)",
                     ValueKind::File};
const Option kYes{"--yes", "", "answer yes to a question"};

constexpr const char* kLinkNote =
    "The options are stored as the window stores them, but no run takes its phone, link or port from the\n"
    "store: each run uses only what its own command line says.\n";

// What the file argument may be: the commands read it whole, and refuse anything else before any traffic.
std::string FileLimit(size_t limit) {
  return "FILE must be a regular file of at most " + std::to_string(limit >> 20) + " MiB.\n";
}

std::string Synopsis(const Entry& e) {
  std::string text;
  if (e.arguments) text = e.arguments;
  if (e.reach == Reach::Icmp) text += std::string(text.empty() ? "" : " ") + "--phone ADDRESS";
  if (e.reach == Reach::Link) text += std::string(text.empty() ? "" : " ") + "[--phone ADDRESS] [options]";
  return text;
}

std::string Description(const Entry& e) {
  return e.details + (e.reach == Reach::Link ? kLinkNote : "");
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
  return buffer.data();
}

// Applies an option with a bounded integer value; false (after saying why) when it is not one.
bool IntegerOption(const std::string& command, const Args& args, const char* name, long long low,
                   long long high, int& into) {
  auto text = args.Value(name);
  if (!text) return true;
  auto value = ParseIntegerArg(*text);
  if (!value || *value < low || *value > high) {
    UsageError(command, std::string(name) + " takes an integer from " + std::to_string(low) + " to " +
                            std::to_string(high) + ", not '" + *text + "'");
    return false;
  }
  into = static_cast<int>(*value);
  return true;
}

int MissingOption(const Entry& e, const char* option, const char* why) {
  return UsageError(e.name, std::string(option) + " is required: " + why);
}

bool WantsValue(const Entry& e, const char* name) {
  return std::any_of(e.options.begin(), e.options.end(), [name](const Option& o) { return o.name == name; });
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
  if (positionals.size() > wanted)
    return UsageError(e.name, "unexpected argument '" + positionals[wanted] + "'");
  if (positionals.size() < wanted) return UsageError(e.name, std::string("missing argument ") + e.arguments);
  // The stored audio options, to be stored back unchanged; the window's fresh page, chip and IP field.
  ToolOptions options = LoadToolOptions();
  options.linkType = 1;
  options.serialPortIndex = 0;
  if (args.Has("--serial") && args.Has("--tcp"))
    return UsageError(e.name, "give --serial or --tcp, not both");
  if (args.Has("--serial")) options.linkType = 0;
  std::optional<std::string> device = args.Value("--device");
  if (device) {
    if (args.Has("--tcp") || args.Value("--port"))
      return UsageError(e.name, "--device is a serial device: give it without --tcp and --port");
    if (device->find('/') == std::string::npos)
      return UsageError(e.name, "--device takes a device path such as /dev/ttyUSB0, not '" + *device + "'");
    options.linkType = 0;
  }
  // Only COM1 and COM2 get this far (a declared choice).
  if (auto port = args.Value("--port")) options.serialPortIndex = *port == "COM1" ? 0 : 1;
  const bool network = e.reach == Reach::Icmp || (e.reach == Reach::Link && options.linkType == 1);
  if (network && !phone)
    return MissingOption(e, "--phone ADDRESS",
                         "the phone to talk to over the network (it is never taken from the store)");
  if (phone) {
    uint32_t address = ResolveHost(*phone);
    if (address == kResolveFailed)
      return UsageError(e.name, "--phone takes an address, not '" + *phone + "'");
    options.ipField = NetworkToHostAddress(address);
  }
  if (!IntegerOption(e.name, args, "--page", 0, 15, options.flashPage) ||
      !IntegerOption(e.name, args, "--chip", 0, 4, options.chipType))
    return kExitUsage;
  std::optional<long long> sdramLength;
  if (WantsValue(e, "--length")) {
    auto length = args.Value("--length");
    if (!length) return MissingOption(e, "--length N", "the number of bytes to read");
    sdramLength = ParseIntegerArg(*length);
    if (!sdramLength) return UsageError(e.name, "--length takes an integer, not '" + *length + "'");
    // Its range is the window's check, with the window's message.
  }
  std::string directory = args.Value("--dir").value_or(CurrentDirectory());

  // Run by the fleet: the steps go to its pipe as they happen.
  fleet::ChildReporting reporting;
  if (auto fd = args.Value("--progress-fd"); fd && !reporting.Start(ParseIntegerArg(*fd), ui)) {
    std::fputs("quilltool: --progress-fd takes a descriptor number from 3 to 1023\n", stderr);
    return kExitUsage;
  }
  Ui& shown = reporting.Shown(ui);

  // The file argument answers the command's file dialog.
  if (e.arguments) ui.PushFileAnswer(positionals[0]);
  CliCommandHost host(shown, options, sdramLength, directory, device);
  CMaintenanceLink link(shown);
  reporting.Watch(link);
  CMaintenanceCommands commands(shown, link, host);
  const bool done = (commands.*e.command)();
  // Options that could not be stored are a failure of the run, whatever the phone did.
  return done && !host.StoreFailed() ? kExitOk : kExitFailure;
}

// --progress-fd: the event pipe a fleet run gives each of its child processes (fleet/child_report.h).
const Option kProgressFd = {"--progress-fd", "N", "write progress events to descriptor N (used by `fleet`)"};
const std::vector<Option> kLinkOptions = {kPhone, kSerial, kTcp, kPort, kDevice, kYes, kProgressFd};

std::vector<Option> Plus(std::vector<Option> a, const std::vector<Option>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<Entry>& Entries() {
  static const std::vector<Entry> entries = {
      {"update-page", "program Page0.hex into one flash page of the phone (serial or TCP)", nullptr,
       "Loads Page0.hex of the working directory into the selected 64 KiB flash page, with the phone\n"
       "settings merged where the page holds them; over the serial line byte by byte, over TCP by the\n"
       "phone itself. Asks before a file whose name does not name the page (answer with --yes).\n"
       "Flash chip types: 0 AM29LV008B, 1 AM29LV002T, 2 AM29F040, 3 AM29LV004T, 4 AM29LV008T.\n",
       &CMaintenanceCommands::UpdateFlashPage,
       Plus(kLinkOptions,
            {{"--page", "N", "flash page 0..15 (default 0)"},
             {"--chip", "T", "flash chip type 0..4 (default 4)"},
             {"--dir", "DIR", "the working directory that holds Page0.hex (default: the current one)",
              ValueKind::Folder}})},
      {"update-program", "replace the phone's program image (TCP)", "FILE",
       "Sends the program image FILE to the phone, which writes it into its flash.\n" +
           FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateProgram, kLinkOptions},
      {"update-ring", "replace the phone's ring tone (TCP)", "FILE",
       "Sends the ring tone FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateRing, kLinkOptions},
      {"update-map", "replace the phone's digit map (TCP)", "FILE",
       "Sends the digit map FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateDigitMap, kLinkOptions},
      {"update-hold", "replace the phone's hold announcement (TCP)", "FILE",
       "Sends the hold announcement FILE to the phone.\n" + FileLimit(kMaxUpdateFile),
       &CMaintenanceCommands::UpdateHoldAnnouncement, kLinkOptions},
      {"update-alternate", "send four alternate settings records from a settings text file (TCP)", "FILE",
       "Reads the phone's settings, applies the settings text FILE ([SETTING1]..[SETTING4]) to four\n"
       "copies of them and sends the four records.\n" +
           FileLimit(kMaxSettingsTextFile),
       &CMaintenanceCommands::UpdateAlternateSettings, kLinkOptions},
      {"push-settings", "read the phone's settings, then send the settings built from the store (TCP)",
       nullptr,
       "Reads the phone's settings into the store's section \"PhoneSettings\" as the settings dialog\n"
       "would show them, then, after the question (--yes), sends the record built from the store.\n",
       &CMaintenanceCommands::EditAndPushSettings, kLinkOptions},
      {"sdram-load", "write a file into the phone's SDRAM (at most 640000 bytes)", "FILE",
       "Writes FILE, a regular file (its first 640000 bytes), into the phone's SDRAM.\n",
       &CMaintenanceCommands::LoadSdram, kLinkOptions},
      {"sdram-save", "read the phone's SDRAM into a file", "FILE",
       "Reads N bytes of the phone's SDRAM into FILE.\n", &CMaintenanceCommands::SaveSdram,
       Plus(kLinkOptions, {{"--length", "N", "bytes to read, 0..640000 (required)"}})},
      {"factory-restore",
       "show the keypad sequence that restores the phone's factory settings",
       nullptr,
       "Nothing is sent to the phone.\n",
       &CMaintenanceCommands::ShowFactoryRestore,
       {},
       Reach::None},
      {"ping",
       "test the connection to a phone with one ICMP echo",
       nullptr,
       "Sends one ICMP echo request to ADDRESS (required; `quilltool ping ADDRESS` also works). No option\n"
       "is stored.\n",
       &CMaintenanceCommands::TestConnection,
       {{"--phone", "ADDRESS", "the phone's address (required)"}, kProgressFd},
       Reach::Icmp},
  };
  return entries;
}

const bool registered = [] {
  bool all = true;
  for (const Entry& e : Entries()) {
    Subcommand c{e.name, e.summary, Description(e),
                 {},     {},        [&e](const Args& args, TerminalUi& ui) { return RunEntry(e, args, ui); }};
    c.synopsis = Synopsis(e);
    c.options = e.options;
    c.positionalKind = e.arguments ? ValueKind::File : ValueKind::Text;
    c.json = true;
    all = RegisterSubcommand(std::move(c)) && all;
  }
  return all;
}();

}  // namespace
}  // namespace quill::cli
