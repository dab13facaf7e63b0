// `quilltool fleet`: one maintenance command on many phones, each in a child process of its own running
// the single-phone subcommand, with a log per phone and a report at the end; and `apply-settings`, the
// single-phone command the fleet runs for per-phone settings.
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/signal_guard.h"
#include "cli/subcommand.h"
#include "fleet/child_report.h"
#include "fleet/inventory.h"
#include "fleet/plan.h"
#include "fleet/report.h"
#include "fleet/runner.h"
#include "link/command_files.h"
#include "link/maintenance_link.h"
#include "platform/application.h"
#include "platform/file_io.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"
#include "transport/net_helpers.h"

namespace quill::cli {
namespace {

using fleet::Outcome;
using fleet::PhoneState;

constexpr int kDefaultJobs = 8;
constexpr int kMaxJobs = 500;
constexpr int kMaxRetries = 10;
constexpr uint8_t kSettingsCommand = 0x80;
constexpr int kSettingsProbeWait = 1000;

const char kUsage[] =
    "Usage: quilltool fleet INVENTORY COMMAND [FILE] [options]\n"
    "       quilltool fleet --phones A,B,...|A-B COMMAND [FILE] [options]\n"
    "(quilltool fleet --help describes the commands and options)\n";
const char kDescription[] =
    "Runs one maintenance command on many phones, each in a process of its own, and writes a log per phone\n"
    "and report.csv and report.json into the run folder. Exit status 1 when any phone failed.\n"
    "INVENTORY is a CSV file with a header: address (required), name and settings (optional; a settings\n"
    "text file for that phone, taken from the inventory's folder), other columns ignored; \"#\" starts a\n"
    "comment line. Or a list A,B,... or a range A-B of addresses in place of the file. Every problem is\n"
    "reported with its line before anything is sent.\n"
    "Commands (TCP):\n"
    "  ping                         one ICMP echo to each phone\n"
    "  update-program FILE          the program image\n"
    "  update-page [--page N] [--chip T] [--dir DIR]   Page0.hex of DIR into flash page N\n"
    "  update-ring FILE | update-map FILE | update-hold FILE | update-alternate FILE\n"
    "  sdram-save PATTERN --length N  each phone's SDRAM into PATTERN with {address} and {name} replaced\n"
    "  settings [KEY=VALUE...] [--set KEY=VALUE]   read each phone's settings, apply the inventory's\n"
    "                               settings file and these lines, send them back (ip= and mac= only from\n"
    "                               a phone's own file)\n"
    "Ctrl-C once: no new phone starts, the running ones finish, the report is written. Twice: phones that\n"
    "have not been sent their command byte stop too; a phone that is erasing is never cut off.\n";

void Complain(const std::string& text) {
  std::fprintf(stderr, "%s fleet: %s\n", ApplicationName().c_str(), text.c_str());
}

std::string SelfProgram() {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  return n > 0 ? self.substr(0, static_cast<size_t>(n)) : std::string("quilltool");
}

// The live view on a terminal: a line per running phone and a total line, redrawn in place.
class LiveView {
 public:
  explicit LiveView(bool terminal) : terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

  void Draw(const std::vector<PhoneState>& phones) {
    if (!terminal_) return;
    std::string text;
    for (int i = 0; i < drawn_; ++i) text += "\033[1A\033[2K";
    drawn_ = 0;
    int done = 0, failed = 0, left = 0;
    double fraction = 0;
    for (const PhoneState& p : phones) {
      if (fleet::Good(p.outcome))
        ++done;
      else if (fleet::Ended(p.outcome))
        ++failed;
      else
        ++left;
      if (fleet::Ended(p.outcome))
        fraction += 1;
      else if (p.outcome == Outcome::Running && p.total > 0)
        fraction += static_cast<double>(p.done) / static_cast<double>(p.total);
      if (p.outcome != Outcome::Running) continue;
      const int percent = p.total > 0 ? static_cast<int>(p.done * 100 / p.total) : 0;
      const int filled = percent / 5;
      char line[256];
      std::snprintf(line, sizeof line, "%-15s %-12.12s %-22.22s [%s%s] %3d%%\n", p.phone.address.c_str(),
                    p.phone.name.c_str(), p.step.c_str(),
                    std::string(static_cast<size_t>(filled), '#').c_str(),
                    std::string(static_cast<size_t>(20 - filled), '.').c_str(), percent);
      text += line;
      ++drawn_;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string estimate = "?";
    if (fraction > 0.01 && left > 0)
      estimate = Clock(elapsed * (static_cast<double>(phones.size()) - fraction) / fraction);
    if (left == 0) estimate = "0:00";
    char total[256];
    std::snprintf(total, sizeof total, "done %d, failed %d, left %d, elapsed %s, left about %s\n", done,
                  failed, left, Clock(elapsed).c_str(), estimate.c_str());
    text += total;
    ++drawn_;
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }
  void Clear() {
    if (!terminal_) return;
    std::string text;
    for (int i = 0; i < drawn_; ++i) text += "\033[1A\033[2K";
    drawn_ = 0;
    std::fputs(text.c_str(), stderr);
  }

 private:
  static std::string Clock(double seconds) {
    const long long s = std::llround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
  }
  bool terminal_;
  int drawn_ = 0;
  std::chrono::steady_clock::time_point start_;
};

std::string EndLine(const PhoneState& p) {
  char text[128];
  std::snprintf(text, sizeof text, " (%.1f s, %d attempt%s)", p.seconds, p.attempts,
                p.attempts == 1 ? "" : "s");
  std::string message = p.message;
  std::replace(message.begin(), message.end(), '\n', ' ');
  return p.phone.address + (p.phone.name.empty() ? "" : " " + p.phone.name) + ": " +
         fleet::OutcomeName(p.outcome) + ": " + message + text + "\n";
}

int Run(const Args& args, TerminalUi&) {
  std::vector<std::string> positionals = args.Positionals();
  fleet::Inventory inventory;
  std::string origin;
  std::vector<std::string> inputs;  // files the run reads: never an output
  if (auto list = args.Value("--phones")) {
    inventory = fleet::InventoryFromList(*list);
    origin = "--phones";
  } else {
    if (positionals.empty()) {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    origin = positionals.front();
    positionals.erase(positionals.begin());
    struct stat st {};
    const bool file = ::stat(origin.c_str(), &st) == 0;
    fleet::Inventory asList = fleet::InventoryFromList(origin);
    if (!file && asList.Ok()) {
      inventory = std::move(asList);
    } else {
      inventory = fleet::ReadInventory(origin);
      inputs.push_back(origin);
    }
  }
  if (positionals.empty()) {
    Complain("no command given");
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  fleet::Request request;
  request.command = positionals.front();
  positionals.erase(positionals.begin());
  if (!fleet::CommandKnown(request.command)) {
    Complain("\"" + request.command + "\" is not a command the fleet runs");
    return kExitUsage;
  }
  if (fleet::CommandTakesFile(request.command)) {
    if (positionals.size() > 1) {
      Complain(request.command + " takes one FILE");
      return kExitUsage;
    }
    if (!positionals.empty()) request.file = positionals.front();
  } else if (request.command == "settings") {
    request.lines = positionals;
    if (auto set = args.Value("--set")) request.lines.push_back(*set);
  } else if (!positionals.empty()) {
    request.file = positionals.front();
  }
  for (const std::string option : {"--page", "--chip", "--dir", "--length"})
    if (auto value = args.Value(option)) request.options[option] = *value;
  if (auto problem = fleet::Plan::CheckRequest(request)) {
    Complain(*problem);
    return kExitUsage;
  }
  long long jobs = kDefaultJobs, retries = 0;
  if (auto text = args.Value("--jobs")) {
    auto v = ParseIntegerArg(*text);
    if (!v || *v < 1 || *v > kMaxJobs) {
      Complain("--jobs takes a number from 1 to " + std::to_string(kMaxJobs));
      return kExitUsage;
    }
    jobs = *v;
  }
  if (auto text = args.Value("--retries")) {
    auto v = ParseIntegerArg(*text);
    if (!v || *v < 0 || *v > kMaxRetries) {
      Complain("--retries takes a number from 0 to " + std::to_string(kMaxRetries));
      return kExitUsage;
    }
    retries = *v;
  }

  // Everything is checked before anything is sent: the inventory, the files, the outputs.
  if (!inventory.problems.empty() || inventory.phones.empty()) {
    std::fputs(fleet::DescribeProblems(inventory, origin).c_str(), stderr);
    if (inventory.problems.empty()) Complain(origin + ": no phones");
    return kExitUsage;
  }
  request.inputs = inputs;
  fleet::Plan plan;
  std::vector<std::string> problems = plan.Make(request, inventory.phones, origin);
  std::set<std::string> succeeded;
  if (auto resume = args.Value("--resume")) {
    std::string error;
    if (!fleet::ReadSucceeded(*resume, succeeded, error)) problems.push_back(error);
  }
  if (!problems.empty()) {
    for (const std::string& p : problems) Complain(p);
    return kExitUsage;
  }

  std::vector<PhoneState> phones;
  for (const fleet::Phone& phone : inventory.phones) {
    PhoneState state;
    state.phone = phone;
    if (succeeded.count(phone.address)) {
      state.outcome = Outcome::Skipped;
      state.message = "succeeded in " + *args.Value("--resume");
    }
    phones.push_back(std::move(state));
  }

  if (args.Has("--dry-run")) {
    for (const PhoneState& p : phones) {
      std::string what = p.phone.address + (p.phone.name.empty() ? "" : " " + p.phone.name) + ": ";
      what += p.outcome == Outcome::Skipped ? "skipped (" + p.message + ")" : plan.Describe(p.phone);
      std::printf("%s\n", what.c_str());
    }
    std::printf("%zu phones, --jobs %lld; nothing sent (dry run)\n", phones.size(), jobs);
    return kExitOk;
  }

  std::string runDir = args.Value("--run-dir").value_or(fleet::DefaultRunDir());
  std::string error;
  if (!fleet::MakeRunDir(runDir, args.Value("--run-dir").has_value(), error)) {
    Complain(error);
    return kExitFailure;
  }
  for (PhoneState& p : phones) p.logPath = runDir + "/" + p.phone.address + ".log";
  // The phone's own settings lines, as the file its child reads.
  if (!plan.WritePhoneFiles(runDir, phones, error)) {
    Complain(error);
    return kExitFailure;
  }
  auto argsFor = [&](const PhoneState& p) { return plan.ChildArgs(runDir, p.phone); };

  fleet::RunnerOptions options;
  options.program = SelfProgram();
  options.runDir = runDir;
  options.jobs = static_cast<int>(jobs);
  options.retries = static_cast<int>(retries);
  fleet::FleetRunner runner(options, phones, argsFor);

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  LiveView view(terminal);
  std::vector<bool> told(phones.size(), false);
  runner.SetOnChange([&](size_t index) {
    if (terminal || told[index]) return;
    const PhoneState now = runner.Snapshot(index);
    if (!fleet::Ended(now.outcome)) return;
    told[index] = true;
    std::fputs(EndLine(now).c_str(), stderr);
  });
  runner.SetOnTick([&] { view.Draw(runner.Snapshot()); }, std::chrono::milliseconds(200));
  SignalGuard signals;
  runner.WatchFd(signals.Fd(), [&] {
    signalfd_siginfo info{};
    if (::read(signals.Fd(), &info, sizeof info) <= 0) return;
    runner.RequestStop();
    view.Clear();
    Complain(runner.StopLevel() == 1
                 ? "stopping: no new phone starts, running ones finish (Ctrl-C again to stop those not yet "
                   "sent their command)"
                 : "stopping the phones not yet sent their command; phones that are writing finish");
  });
  std::fprintf(stderr, "%zu phones, %lld at a time; run folder %s\n", phones.size(), jobs, runDir.c_str());
  runner.Run();
  view.Clear();

  const std::vector<PhoneState> result = runner.Snapshot();
  const int code = runner.ExitCode();
  std::fputs(fleet::SummaryTable(result).c_str(), stdout);
  std::fflush(stdout);
  if (!fleet::WriteReports(runDir, plan.CommandLine(), result, code, error)) {
    Complain(error);
    return code == 130 ? 130 : kExitFailure;
  }
  std::fprintf(stderr, "report: %s/report.csv and %s/report.json\n", runDir.c_str(), runDir.c_str());
  return code;
}

// --- apply-settings: one phone's settings read, changed and sent back -------------------------------------

const char kApplyUsage[] = "Usage: quilltool apply-settings FILE --phone ADDRESS\n";
const char kApplyDescription[] =
    "Reads the phone's settings image, applies the settings text FILE (key=value lines; section lines are\n"
    "skipped) to it, prints each change, and sends it back, as the settings push does. Nothing is sent when\n"
    "the read fails or nothing changes. The store is not used.\n";

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02x", v);
    text += b;
  }
  return text;
}

int RunApply(const Args& args, TerminalUi& terminal) {
  const auto& positionals = args.Positionals();
  auto phoneText = args.Value("--phone");
  if (positionals.size() != 1 || !phoneText) {
    std::fputs(kApplyUsage, stderr);
    return kExitUsage;
  }
  const uint32_t address = ResolveHost(*phoneText);
  if (address == kResolveFailed) {
    std::fprintf(stderr, "quilltool: %s is not an address\n", phoneText->c_str());
    return kExitUsage;
  }
  const uint32_t phone = NetworkToHostAddress(address);
  std::string error;
  auto text = fleet::ReadSettingsText(positionals[0], error);
  if (!text) {
    terminal.Message(error);
    return kExitFailure;
  }
  fleet::ChildReporting reporting;
  if (auto fd = args.Value("--progress-fd"); fd && !reporting.Start(ParseIntegerArg(*fd), terminal)) {
    std::fputs("quilltool: --progress-fd takes a descriptor number from 3 to 1023\n", stderr);
    return kExitUsage;
  }
  Ui& ui = reporting.Shown(terminal);
  CMaintenanceLink link(ui);
  reporting.Watch(link);

  SettingsImage image{};
  if (!link.ReadImage(phone, image)) return kExitFailure;
  const SettingsImage before = image;
  std::string_view rest = *text;
  int changes = 0;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '[') continue;
    const SettingsImage was = image;
    ApplySettingsLine(SettingsImageSpan(image), line);
    for (size_t i = 0; i < image.size(); ++i) {
      if (image[i] == was[i]) continue;
      size_t j = i;
      while (j < image.size() && image[j] != was[j]) ++j;
      std::printf("%.*s: bytes %zu..%zu: %s -> %s\n", static_cast<int>(line.size()), line.data(), i, j - 1,
                  Hex(std::span(was).subspan(i, j - i)).c_str(),
                  Hex(std::span(image).subspan(i, j - i)).c_str());
      ++changes;
      i = j;
    }
  }
  std::fflush(stdout);
  if (image == before) {
    ui.MessageBox("Settings unchanged; nothing sent", ApplicationName(), MbButtons::Ok, MbIcon::Information);
    return kExitOk;
  }
  if (!link.SendImage(phone, image, kSettingsCommand, 0x00)) return kExitFailure;
  if (link.ProbeTcpLink(phone, kSettingsProbeWait)) {
    ui.Message("Invalid settings method");
    return kExitFailure;
  }
  ui.MessageBox("New settings updated", ApplicationName(), MbButtons::Ok, MbIcon::Information);
  return kExitOk;
}

const bool registered = [] {
  Subcommand many{"fleet", "run one maintenance command on many phones, with a report", kDescription, {}, {},
                  Run};
  many.synopsis = "INVENTORY|--phones A,B,...|A-B COMMAND [FILE|KEY=VALUE...]";
  many.options = {
      {"--phones", "LIST", "the phones as A,B,... or a range A-B, in place of an inventory file"},
      {"--jobs", "N", "phones at once (default 8, at most 500)"},
      {"--retries", "N", "retry a phone up to N times, only while it cannot have started writing"},
      {"--run-dir", "DIR", "the run folder (default fleet-YYYYMMDD-HHMMSS); must be new or empty",
       ValueKind::Folder},
      {"--dry-run", "",
       "check the inventory, the files and the outputs, say what each phone gets, send nothing"},
      {"--resume", "REPORT", "skip the phones an earlier run's report.csv lists as succeeded",
       ValueKind::File},
      {"--set", "KEY=VALUE", "settings: one more line every phone gets"},
      {"--length", "N", "sdram-save: the bytes to read from each phone"},
      {"--page", "N", "update-page: the flash page"},
      {"--chip", "T", "update-page: the flash chip"},
      {"--dir", "DIR", "update-page: the folder holding Page0.hex", ValueKind::Folder},
  };
  return RegisterSubcommand(std::move(many));
}() && [] {
  Subcommand apply{"apply-settings",
                   "read a phone's settings, apply a settings text file, send them back (TCP)",
                   kApplyDescription,
                   {},
                   {},
                   RunApply};
  apply.synopsis = "FILE --phone ADDRESS";
  apply.options = {{"--phone", "ADDRESS", "the phone's address (required)"},
                   {"--progress-fd", "N", "write progress events to descriptor N (used by `fleet`)"}};
  apply.minPositionals = 1;
  apply.maxPositionals = 1;
  return RegisterSubcommand(std::move(apply));
}();

}  // namespace
}  // namespace quill::cli
