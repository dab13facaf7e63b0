// `quilltool monitor debug|cdr|serial`: the debug or CDR monitor, or the phone's serial text, without a
// display. It listens as the windows do ("Udp Debug Output", "Cdr Debug Output", "Rs232 Output") and writes
// what they would show to standard output, each text as soon as it comes, so that a technician can grep a
// phone's output live; --timestamps stamps each line, --log keeps a copy, --from keeps one phone's lines.
// SIGINT or SIGTERM ends it cleanly.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/signal_guard.h"
#include "cli/subcommand.h"
#include "debugmon/line_stamper.h"
#include "debugmon/monitor_thread.h"
#include "link/maintenance_link.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/event.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "transport/net_helpers.h"

namespace quill::cli {
namespace {

const char kDescription[] =
    "Listens as the \"Udp Debug Output\" (debug, UDP port 8225), \"Cdr Debug Output\" (cdr, UDP port\n"
    "8227) or \"Rs232 Output\" (serial, 19200 baud) window and writes what it would show to standard output\n"
    "until interrupted (Ctrl-C). --address and --from are for debug and cdr, --port and --device for "
    "serial.\n"
    "The log file is created if missing and never truncated; what is shown is appended to it as it comes.\n";

// What the command needs of each monitor.
struct MonitorRow {
  bool (*start)(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress, uint32_t onlyFrom);
  void (*stop)(std::optional<ThreadHandle>& held);
  int port;
};

template <class Monitor>
constexpr MonitorRow RowOf() {
  return {&CMonitorThread<Monitor>::Start, &CMonitorThread<Monitor>::Stop, Monitor::kPort};
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "%s monitor: %s\n", ApplicationName().c_str(), text.c_str());
}

// The view of the command line: every text, stamped when asked, straight to standard output with one
// write, so a reader sees it at once, and to the log. A reader that went away or a log that cannot be
// written ends the command. Only the monitor's own thread appends.
class StdoutView : public OutputView {
 public:
  StdoutView(Event& failed, CLineStamper::Mode stamps, CAppendFile* log)
      : failed_(failed), stamper_(stamps), log_(log) {}
  void Append(std::string text) override {
    if (broken_) return;
    const std::string shown = stamper_.Stamp(text);
    size_t done = 0;
    while (done < shown.size()) {
      ssize_t n = ::write(STDOUT_FILENO, shown.data() + done, shown.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = errno;
        Break();
        return;
      }
      done += static_cast<size_t>(n);
    }
    if (log_ && !log_->Append(shown)) Break();
  }
  void Show() override {}
  // The errno of the write to standard output that failed; read after the monitor has stopped.
  int Error() const { return error_; }

 private:
  void Break() {
    broken_ = true;
    failed_.Set();
  }
  Event& failed_;
  CLineStamper stamper_;
  CAppendFile* log_;
  bool broken_ = false;
  int error_ = 0;
};

// The terminal's Ui, but with the view above.
class MonitorUi : public Ui {
 public:
  MonitorUi(TerminalUi& base, std::shared_ptr<StdoutView> view) : base_(base), view_(std::move(view)) {}
  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                      MbIcon icon) override {
    return base_.MessageBox(text, caption, buttons, icon);
  }
  std::optional<std::string> FileDialog(const FileDialogSpec& spec) override {
    return base_.FileDialog(spec);
  }
  std::unique_ptr<ProgressWindow> OpenProgress() override { return base_.OpenProgress(); }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec&) override { return view_; }
  bool RunSettingsDialog() override { return base_.RunSettingsDialog(); }

 private:
  TerminalUi& base_;
  std::shared_ptr<StdoutView> view_;
};

// Passes the debug log on as it was directed, and notices a reader that ends by itself (a UDP port it could
// not bind, a receive error, a serial device unplugged): the window would then sit showing nothing, the
// command says so and ends, with the last line of the transport's that was no routine one.
class ListenerWatch {
 public:
  ListenerWatch(std::string_view ending, std::vector<std::string_view> routine)
      : ending_(ending), routine_(std::move(routine)) {
    previous_ = DebugLog::SetSink([this](std::string_view text) {
      if (previous_) previous_(text);
      std::lock_guard<std::mutex> lock(mutex_);
      if (text == ending_) {
        ended_.Set();
      } else if (std::none_of(routine_.begin(), routine_.end(),
                              [text](std::string_view r) { return text.substr(0, r.size()) == r; })) {
        lastLine_.assign(text);
        while (!lastLine_.empty() && lastLine_.back() == '\n') lastLine_.pop_back();
      }
    });
  }
  ~ListenerWatch() { DebugLog::SetSink(previous_); }
  ListenerWatch(const ListenerWatch&) = delete;
  ListenerWatch& operator=(const ListenerWatch&) = delete;
  Event& Ended() { return ended_; }
  std::string LastLine() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastLine_;
  }

 private:
  const std::string_view ending_;
  const std::vector<std::string_view> routine_;
  DebugLog::Sink previous_;
  mutable std::mutex mutex_;
  std::string lastLine_;
  Event ended_{Event::Kind::ManualReset};
};

// A dotted IPv4 address (network order) from an option; false, after saying why, when it is none. Dotted
// only: a name would be looked up.
bool DottedOption(const Args& args, const char* name, const char* what, uint32_t& into) {
  auto given = args.Value(name);
  if (!given) return true;
  in_addr parsed{};
  if (::inet_pton(AF_INET, given->c_str(), &parsed) != 1) {
    UsageError("monitor", std::string(name) + " takes " + what + ", not '" + *given + "'");
    return false;
  }
  into = parsed.s_addr;
  return true;
}

// What ends a run, in the order of the wait.
enum class Ending { Signal, OutputFailed, ReaderEnded, WaitFailed };

Ending WaitForEnd(SignalGuard& signals, Event& outputFailed, ListenerWatch& reader) {
  Waitable items[] = {Waitable(signals.Fd(), POLLIN), Waitable(outputFailed), Waitable(reader.Ended())};
  switch (WaitAny(items, std::chrono::microseconds::max())) {
    case 0:
      return Ending::Signal;
    case 1:
      return Ending::OutputFailed;
    case 2:
      return Ending::ReaderEnded;
    default:
      return Ending::WaitFailed;
  }
}

int Run(const Args& args, TerminalUi& ui) {
  const auto& kinds = args.Positionals();
  const bool serial = kinds.size() == 1 && kinds[0] == "serial";
  if (kinds.size() != 1 || (kinds[0] != "debug" && kinds[0] != "cdr" && !serial)) {
    return UsageError("monitor",
                      "give debug, cdr or serial" + (kinds.empty() ? "" : ", not '" + kinds[0] + "'"));
  }
  CLineStamper::Mode stamps = CLineStamper::Mode::Off;
  if (args.Has("--timestamps")) stamps = CLineStamper::Mode::WallClock;
  if (args.Has("--timestamps=relative")) stamps = CLineStamper::Mode::Relative;

  // Each kind takes its own options only, so that a mistyped command never runs as another one.
  std::string portName = "COM1";
  uint32_t address = 0;   // every local address
  uint32_t onlyFrom = 0;  // every phone
  std::string addressText = "every local address";
  if (serial) {
    for (const char* udpOnly : {"--address", "--from"})
      if (args.Value(udpOnly))
        return UsageError("monitor", std::string(udpOnly) + " is for the UDP monitors, not serial");
    auto port = args.Value("--port");
    auto device = args.Value("--device");
    if (port && device) return UsageError("monitor", "give --port or --device, not both");
    if (port && *port != "COM1" && *port != "COM2")
      return UsageError("monitor", "--port takes COM1 or COM2, not '" + *port + "'");
    if (device && device->find('/') == std::string::npos)
      return UsageError("monitor",
                        "--device takes a device path such as /dev/ttyUSB0, not '" + *device + "'");

    // A device path goes through the port map as it stands.
    if (port) portName = *port;
    if (device) portName = *device;
  } else {
    for (const char* serialOnly : {"--port", "--device"})
      if (args.Value(serialOnly))
        return UsageError("monitor", std::string(serialOnly) + " is for the serial monitor, not " + kinds[0]);
    if (!DottedOption(args, "--address", "a dotted IPv4 address of this computer", address) ||
        !DottedOption(args, "--from", "a phone's dotted IPv4 address", onlyFrom))
      return kExitUsage;
    if (address != 0) addressText = AddressToString(address);
  }

  SignalGuard signals;
  if (signals.Fd() < 0) {
    Complain("cannot watch for signals");
    return kExitFailure;
  }
  CAppendFile log;
  if (auto logPath = args.Value("--log")) {
    if (!log.Open(*logPath)) {
      ui.Message(FileFailureText("Can not open the log file", log.Error()));
      return kExitFailure;
    }
  }
  Event outputFailed{Event::Kind::ManualReset};
  auto view = std::make_shared<StdoutView>(outputFailed, stamps, log.IsOpen() ? &log : nullptr);
  MonitorUi monitorUi(ui, view);

  std::string readerText;
  Ending ending;
  std::string why;
  if (serial) {
    ListenerWatch reader("CommPort read thread shutting down\n",
                         {"CommPort read thread starting", "CommPort write thread", "Read ", "Data waiting",
                          "Waiting for a CommEvent", "Comm Event: "});
    // The link as the window's serial debug output runs it: the port opened, then the "Rs232 Output" view.
    CMaintenanceLink link(monitorUi);
    if (!link.StartSerialLink(portName)) return kExitFailure;  // the link has said why
    link.ShowSerialOutput();
    const std::string device = ComPortDevice(portName);
    readerText = "the serial port " + (device == portName ? device : portName + " (" + device + ")");
    if (::isatty(STDERR_FILENO)) Complain(readerText + " at 19200 baud; Ctrl-C ends");
    ending = WaitForEnd(signals, outputFailed, reader);
    link.StopSerialLink();
    why = reader.LastLine();
  } else {
    const MonitorRow monitor = kinds[0] == "debug" ? RowOf<UdpDebugMonitor>() : RowOf<CdrMonitor>();
    ListenerWatch reader("UDP IO thread shutting down\n", {"UDP IO thread starting"});
    std::optional<ThreadHandle> held;
    if (!monitor.start(held, monitorUi, address, onlyFrom)) {
      Complain("cannot start the monitor");
      return kExitFailure;
    }
    readerText = "the listener on UDP port " + std::to_string(monitor.port) + " of " + addressText;
    if (::isatty(STDERR_FILENO))
      Complain("UDP port " + std::to_string(monitor.port) + " on " + addressText + "; Ctrl-C ends");
    ending = WaitForEnd(signals, outputFailed, reader);
    monitor.stop(held);
    why = reader.LastLine();
  }
  // Whatever ended the run, the log must hold everything shown.
  const bool logKept = log.Close();
  if (!logKept && ending != Ending::OutputFailed) ending = Ending::OutputFailed;

  switch (ending) {
    case Ending::Signal:
      return kExitOk;
    case Ending::OutputFailed:
      if (log.Failed())
        ui.Message(FileFailureText("Can not write the log file", log.Error()));
      else if (view->Error() != EPIPE)  // a reader that went away (a closed pipe) needs no message
        Complain("cannot write to standard output");
      return kExitFailure;
    case Ending::ReaderEnded:
      Complain(readerText + " ended" + (why.empty() ? std::string() : ": " + why));
      return kExitFailure;
    case Ending::WaitFailed:
    default:
      Complain("cannot wait for signals");
      return kExitFailure;
  }
}

const bool registered = [] {
  Subcommand c{
      "monitor",
      "show the phone's debug (UDP 8225), CDR (UDP 8227) or serial output on stdout, as its window would",
      kDescription,
      {},
      {},
      Run};
  c.synopsis = "debug|cdr|serial [options]";
  c.options = {
      {"--address", "A", "listen on this dotted address of the computer only (default: every local address)"},
      {"--from", "ADDRESS", "show only what the phone at this dotted address sends"},
      {"--port",
       "COM1|COM2",
       "the serial port (default COM1; `quilltool ports` shows the device behind each)",
       ValueKind::Choice,
       {"COM1", "COM2"}},
      {"--device", "PATH", "the serial device to open instead of a COM port; nothing is stored",
       ValueKind::File},
      {"--timestamps", "", "put the local date and time before each line"},
      {"--timestamps=relative", "", "put the seconds since the start before each line"},
      {"--log", "FILE", "append everything shown to FILE as well", ValueKind::File},
  };
  c.words = {"debug", "cdr", "serial"};
  c.positionalKind = ValueKind::Text;
  c.minPositionals = 1;
  c.maxPositionals = 1;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
