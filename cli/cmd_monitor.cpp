// `quilltool monitor debug|cdr [--address A]`: the debug or CDR monitor without a display. It listens as the
// windows do and writes what they would show to standard output, each text as soon as it comes, so that a
// technician can log a phone to a file or grep its output live. SIGINT or SIGTERM ends it cleanly.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "cli/signal_guard.h"
#include "cli/subcommand.h"
#include "debugmon/monitor_thread.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/event.h"
#include "transport/net_helpers.h"

namespace quill::cli {
namespace {

const char kUsage[] =
    "Usage: quilltool monitor debug|cdr [--address A]\n"
    "Listens as the \"Udp Debug Output\" (debug, UDP port 8225) or \"Cdr Debug Output\" (cdr, UDP port\n"
    "8227) window and writes what it would show to standard output until interrupted (Ctrl-C).\n"
    "  --address A   listen on this dotted address of the computer only (default: every local address)\n";

// What the command needs of each monitor.
struct MonitorRow {
  bool (*start)(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress);
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

// The view of the command line: every text straight to standard output with one write, so a reader sees it
// at once. A reader that went away ends the command.
class StdoutView : public OutputView {
 public:
  explicit StdoutView(Event& failed) : failed_(failed) {}
  void Append(std::string text) override {
    if (broken_) return;
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = errno;
        broken_ = true;
        failed_.Set();
        return;
      }
      done += static_cast<size_t>(n);
    }
  }
  void Show() override {}
  // The errno of the write that failed; read after the monitor has stopped.
  int Error() const { return error_; }

 private:
  Event& failed_;
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

// Passes the debug log on as it was directed, and notices a listener that ends by itself (a port it could
// not bind, a receive error): the window would then sit showing nothing, the command says so and ends.
class ListenerWatch {
 public:
  ListenerWatch() {
    previous_ = DebugLog::SetSink([this](std::string_view text) {
      if (previous_) previous_(text);
      std::lock_guard<std::mutex> lock(mutex_);
      if (text == "UDP IO thread shutting down\n") {
        ended_.Set();
      } else if (text != "UDP IO thread starting\n") {
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
  DebugLog::Sink previous_;
  mutable std::mutex mutex_;
  std::string lastLine_;
  Event ended_{Event::Kind::ManualReset};
};

int Run(const Args& args, TerminalUi& ui) {
  const auto& kinds = args.Positionals();
  if (kinds.size() != 1 || (kinds[0] != "debug" && kinds[0] != "cdr")) {
    Complain("give debug or cdr");
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const MonitorRow monitor = kinds[0] == "debug" ? RowOf<UdpDebugMonitor>() : RowOf<CdrMonitor>();
  uint32_t address = 0;  // every local address
  std::string addressText = "every local address";
  if (auto given = args.Value("--address")) {
    // Dotted only: a name would be looked up, and the listener binds one of this computer's addresses.
    in_addr parsed{};
    if (::inet_pton(AF_INET, given->c_str(), &parsed) != 1) {
      Complain("--address takes a dotted IPv4 address of this computer, not " + *given);
      return kExitUsage;
    }
    address = parsed.s_addr;
    addressText = AddressToString(address);
  }
  const int port = monitor.port;

  SignalGuard signals;
  if (signals.Fd() < 0) {
    Complain("cannot watch for signals");
    return kExitFailure;
  }
  ListenerWatch listener;
  Event outputFailed{Event::Kind::ManualReset};
  auto view = std::make_shared<StdoutView>(outputFailed);
  MonitorUi monitorUi(ui, view);

  std::optional<ThreadHandle> held;
  if (!monitor.start(held, monitorUi, address)) {
    Complain("cannot start the monitor");
    return kExitFailure;
  }
  if (::isatty(STDERR_FILENO))
    Complain("UDP port " + std::to_string(port) + " on " + addressText + "; Ctrl-C ends");

  Waitable items[] = {Waitable(signals.Fd(), POLLIN), Waitable(outputFailed), Waitable(listener.Ended())};
  int index = WaitAny(items, std::chrono::microseconds::max());
  monitor.stop(held);

  switch (index) {
    case 0:
      return kExitOk;
    case 1:
      // A reader that went away (a closed pipe) needs no message; a full disk does.
      if (view->Error() != EPIPE) Complain("cannot write to standard output");
      return kExitFailure;
    case 2: {
      std::string why = listener.LastLine();
      Complain("the listener on UDP port " + std::to_string(port) + " of " + addressText + " ended" +
               (why.empty() ? std::string() : ": " + why));
      return kExitFailure;
    }
    default:
      Complain("cannot wait for signals");
      return kExitFailure;
  }
}

const bool registered = RegisterSubcommand({
    "monitor",
    "show the phone's debug (UDP 8225) or CDR (UDP 8227) output on stdout, as its window would",
    kUsage,
    {},
    {"--address"},
    Run,
});

}  // namespace
}  // namespace quill::cli
