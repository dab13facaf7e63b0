// The debug monitor under a sustained stream, measured from outside the process that shows it: two phones on
// loopback addresses of their own send, together, RATE datagrams a second for SECONDS into port 8225 of the
// monitor's own loopback address; the monitor is `quilltool monitor debug` (its standard output read here)
// or the GUI's "Udp Debug Output" window (this program again as a child, offscreen, reading its own view).
//
// Every datagram carries its sender's sequence number, so each line shown is checked in order per sender.
// A datagram that does not come out was lost either before the socket (the kernel found the receive queue
// full: the socket's drops counter in /proc/net/udp) or after it (everything else: the tool's own loss).
// Memory is the child's VmRSS each second and its VmHWM at the end; CPU its user and system time over the
// stream and the drain after it. The GUI child runs a 10 ms timer on its GUI thread and reports the longest
// wall-clock gap between two ticks and the most processor time the GUI thread used between two ticks.
//
// Then the rate where loss begins: short runs, the rate doubled while nothing is lost (halved while
// something is), then halved intervals, a bounded number of steps.
//
//   monload_bench --tool=QUILLTOOL [--seconds=10] [--rate=50000] [--search-seconds=3] [--search-steps=6]
//                 [--only=cli|gui]
// prints one line per figure, "<cli|gui>_<name> <value...>".
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/qt_ui.h"
#include "bench/child_lines.h"
#include "debugmon/monitor_thread.h"
#include "platform/debug_log.h"
#include "platform/event.h"
#include "platform/process_events.h"
#include "resources/dialog_template.h"
#include "sim/datagram_sender.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "transport/net_helpers.h"

extern char** environ;

namespace {

using quill::bench::Child;
using quill::bench::MonotonicNs;
using quill::bench::ReadLine;
using quill::bench::Tell;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace loopback = quill::loopback;

constexpr const char* kListen = loopback::kBenchLoadListen.dotted;
const std::array<const char*, 2> kSenders = {loopback::kBenchLoadSenderA.dotted,
                                             loopback::kBenchLoadSenderB.dotted};
constexpr size_t kDatagramSize = 100;
constexpr int kTickMs = 10;
constexpr int kChildLifetimeS = 300;  // a child whose parent went away ends by itself
constexpr auto kDrainLimit = 30s;     // after the stream, the most time given to show what came
constexpr auto kStillLimit = 3s;      // ... and the longest time without a new line before giving up

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void Say(const std::string& line) {
  std::string text = line + "\n";
  if (::write(1, text.data(), text.size()) < 0) {
    // The parent has gone; the child's lifetime bound ends it.
  }
}

// The i-th datagram of a stream: an eight-digit sequence number, a code the decoder turns into a name, and
// filler up to 100 bytes with the line's end.
void StreamDatagram(int i, std::vector<uint8_t>& out) {
  char head[40];
  const int n = std::snprintf(head, sizeof head, "%08d 0x1018 %d ", i, i % 7);
  out.assign(kDatagramSize, '.');
  std::memcpy(out.data(), head, static_cast<size_t>(n));
  out.back() = '\n';
}

// Checks the lines of the senders as they come: "ADDRESS: NNNNNNNN ...". A line whose number is below one
// already shown from its sender is out of order; numbers skipped are missing (lost somewhere).
class LineCheck {
 public:
  void Line(std::string_view line) {
    for (size_t s = 0; s < kSenders.size(); ++s) {
      const std::string_view prefix = kSenders[s];
      if (line.size() < prefix.size() + 10 || line.substr(0, prefix.size()) != prefix ||
          line.substr(prefix.size(), 2) != ": ")
        continue;
      int64_t seq = 0;
      for (char c : line.substr(prefix.size() + 2, 8)) seq = seq * 10 + (c - '0');
      if (seq < next_[s]) ++outOfOrder_[s];
      if (seq > next_[s]) missing_ += seq - next_[s];
      next_[s] = std::max(next_[s], seq + 1);
      ++lines_;
      return;
    }
  }
  int64_t Lines() const { return lines_; }
  int64_t OutOfOrder(size_t s) const { return outOfOrder_[s]; }
  int64_t Missing() const { return missing_; }

 private:
  std::array<int64_t, 2> next_{};
  std::array<int64_t, 2> outOfOrder_{};
  int64_t missing_ = 0;
  int64_t lines_ = 0;
};

// --- The GUI child ---------------------------------------------------------------------------------------

// Sets an event when the listener's thread reports that it is bound.
class BoundWatch {
 public:
  BoundWatch() {
    previous_ = quill::DebugLog::SetSink([this](std::string_view text) {
      if (text == "UDP IO thread starting\n") bound_.Set();
    });
  }
  ~BoundWatch() { quill::DebugLog::SetSink(previous_); }
  BoundWatch(const BoundWatch&) = delete;
  BoundWatch& operator=(const BoundWatch&) = delete;
  bool Wait() { return bound_.Wait(10000); }

 private:
  quill::DebugLog::Sink previous_;
  quill::Event bound_{quill::Event::Kind::ManualReset};
};

QPlainTextEdit* FindView() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Udp Debug Output")
      return quill::gui::Control<QPlainTextEdit>(w, quill::kMonitorEditId);
  return nullptr;
}

// Reads the view each tick: the complete lines added since the last tick, found by walking back from the end
// to the last line already read (the view may have let older lines go meanwhile).
class ViewReader {
 public:
  explicit ViewReader(QPlainTextEdit* edit) : edit_(edit) {}
  void Read() {
    QTextDocument* doc = edit_->document();
    // The last block is the line still being written (empty after a line end): not complete yet.
    QTextBlock last = doc->findBlockByNumber(doc->blockCount() - 2);
    QTextBlock from = last;
    while (from.isValid() && from.text() != lastText_) from = from.previous();
    from = from.isValid() ? from.next() : doc->begin();
    if (!last.isValid()) return;
    for (QTextBlock b = from; b.isValid() && b.blockNumber() <= last.blockNumber(); b = b.next()) {
      const QByteArray line = b.text().toLatin1();
      check_.Line(std::string_view(line.constData(), static_cast<size_t>(line.size())));
    }
    lastText_ = last.text();
  }
  const LineCheck& Check() const { return check_; }

 private:
  QPlainTextEdit* edit_;
  QString lastText_;
  LineCheck check_;
};

int RunGuiChild(int argc, char** argv) {
  ::alarm(kChildLifetimeS);
  // The offscreen platform says on every show that it cannot raise a window; nothing else is silenced.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (!text.contains("does not support raise")) std::fprintf(stderr, "%d %s\n", type, qPrintable(text));
  });
  QApplication app(argc, argv);
  quill::ScopedProcessEvents events;
  quill::ScopedHostNameLookup host(
      [](const std::string&) -> std::optional<uint32_t> { return loopback::kBenchLoadHost.Network(); });
  quill::QtUi ui;
  std::optional<quill::ThreadHandle> held;
  {
    BoundWatch bound;
    quill::CUdpDebugThread::Start(held, ui, loopback::kBenchLoadListen.Network());
    if (!bound.Wait()) {
      Say("error the listener did not start");
      return 1;
    }
  }
  QPlainTextEdit* edit = nullptr;
  QElapsedTimer clock;
  clock.start();
  while (!(edit = FindView()) && clock.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  if (!edit) {
    Say("error no view");
    return 1;
  }
  ViewReader reader(edit);
  qint64 lastTick = 0, stall = 0;
  double lastTickCpu = 0, stallCpu = 0;
  int ticks = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    stall = std::max(stall, now - lastTick);
    lastTick = now;
    const double cpu = ThreadCpuMs();
    stallCpu = std::max(stallCpu, cpu - lastTickCpu);
    reader.Read();
    // The reading is the benchmark's, not the tool's: it is left out of the next gap's processor time.
    lastTickCpu = ThreadCpuMs();
    if (++ticks % 10 == 0) Say("seen " + std::to_string(reader.Check().Lines()));
  });
  // The parent's commands: "go" when the stream starts (the gaps are counted from there), "stop" at the end.
  QSocketNotifier commands(0, QSocketNotifier::Read);
  std::string pending;
  QObject::connect(&commands, &QSocketNotifier::activated, [&] {
    char buf[256];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
      QApplication::quit();
      return;
    }
    pending.append(buf, static_cast<size_t>(n));
    for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
      const std::string command = pending.substr(0, nl);
      if (command == "go") {
        stall = 0;
        stallCpu = 0;
        lastTick = clock.elapsed();
        lastTickCpu = ThreadCpuMs();
      } else if (command == "stop") {
        tick.stop();
        reader.Read();
        const LineCheck& c = reader.Check();
        Say("lines " + std::to_string(c.Lines()));
        Say("missing " + std::to_string(c.Missing()));
        Say("order " + std::to_string(c.OutOfOrder(0)) + " " + std::to_string(c.OutOfOrder(1)));
        Say("stall_ms " + std::to_string(std::max<qint64>(0, stall - kTickMs)));
        Say("stall_cpu_ms " + std::to_string(stallCpu));
        Say("view_lines " + std::to_string(edit->document()->blockCount()));
        QApplication::quit();
      }
    }
  });
  tick.start(kTickMs);
  lastTickCpu = ThreadCpuMs();
  Say("ready");
  QApplication::exec();
  quill::CUdpDebugThread::Stop(held);
  return 0;
}

// --- The parent --------------------------------------------------------------------------------------------

bool Spawn(Child& c, const std::vector<std::string>& args, const std::string& runtime) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return false;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return false;
  }
  // A large pipe: the reader here must not be what holds the tool back.
  ::fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0 && std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0)
      env.emplace_back(*e);
  env.emplace_back("QT_QPA_PLATFORM=offscreen");
  env.emplace_back("XDG_RUNTIME_DIR=" + runtime);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argCopy = args;
  std::vector<char*> argv;
  argv.reserve(argCopy.size() + 1);
  for (auto& a : argCopy) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Forked by hand for the one thing a spawn cannot ask: the child ends with this process, so a benchmark
  // stopped half way leaves no monitor listening. Nothing but system calls runs between fork and exec.
  c.pid = ::fork();
  if (c.pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1) ::_exit(127);
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  const int rc = c.pid > 0 ? 0 : -1;
  ::close(in[0]);
  ::close(out[1]);
  c.toChild = in[1];
  c.fromChild = out[0];
  return rc == 0;
}

// Ends the child: the given signal (0: none, it was told), then at most 10 s, then SIGKILL.
void End(Child& c, int sig) {
  if (c.pid <= 0) return;
  if (sig) ::kill(c.pid, sig);
  for (int i = 0; i < 1000; ++i) {
    if (::waitpid(c.pid, nullptr, WNOHANG) == c.pid) {
      c.pid = -1;
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  if (c.pid > 0) {
    ::kill(c.pid, SIGKILL);
    ::waitpid(c.pid, nullptr, 0);
    c.pid = -1;
  }
  ::close(c.toChild);
  ::close(c.fromChild);
}

// A field of /proc/<pid>/status in KiB.
int64_t StatusKib(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::atoll(line.c_str() + field.size() + 1);
  return -1;
}

// User and system time of the process, all its threads, in milliseconds.
double CpuMs(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  double user = 0, system = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) user = std::atof(field.c_str());
    if (i == 15) system = std::atof(field.c_str());
  }
  return (user + system) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The drops counter of the UDP socket bound to the listen address and port 8225; -1 while there is none.
int64_t SocketDrops() {
  char want[32];
  std::snprintf(want, sizeof want, "%08X:%04X", loopback::kBenchLoadListen.Network(), quill::kUdpDebugPort);
  std::ifstream in("/proc/net/udp");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, field, last;
    if (!(fields >> slot >> local) || local != want) continue;
    while (fields >> field) last = field;
    return std::atoll(last.c_str());
  }
  return -1;
}

struct Result {
  bool ok = false;
  std::string error;
  int64_t sent = 0;
  double sendSeconds = 0;
  int64_t shown = 0;
  int64_t kernelDrops = 0;
  int64_t missing = 0;
  std::array<int64_t, 2> order{};
  double cpuMs = 0;
  double wallMs = 0;
  int64_t peakKib = 0;
  std::vector<int64_t> rssKib;  // one a second from the stream's start
  int64_t stallMs = -1;
  double stallCpuMs = -1;
  int64_t viewLines = -1;
  int64_t Lost() const { return sent - shown; }
};

// One run: the monitor started, the stream sent, its lines read, the monitor stopped.
Result RunOnce(bool gui, const std::string& tool, const std::string& self, const std::string& folder,
               int rate, int seconds) {
  Result r;
  Child c;
  std::vector<std::string> args;
  if (gui)
    args = {self, "--gui-child"};
  else
    args = {tool, "--store", folder, "monitor", "debug", "--address", kListen};
  if (!Spawn(c, args, folder)) {
    r.error = "cannot start " + args[0];
    return r;
  }
  // The command line's lines, read and checked on a thread of their own as they come.
  LineCheck cliCheck;
  std::atomic<int64_t> cliLines{0};
  std::atomic<bool> readerStop{false};
  std::thread cliReader;
  bool ready = false;
  if (gui) {
    auto line = ReadLine(c, 20000);
    ready = line && *line == "ready";
    if (!ready) r.error = "the GUI child said " + line.value_or("nothing");
  } else {
    for (int i = 0; i < 1000 && !ready; ++i) {
      ready = SocketDrops() >= 0;
      if (!ready) std::this_thread::sleep_for(10ms);
    }
    if (!ready) r.error = "quilltool monitor debug did not bind its port";
    if (ready) {
      cliReader = std::thread([&] {
        std::string pending;
        char buf[1 << 16];
        while (!readerStop.load()) {
          pollfd p{c.fromChild, POLLIN, 0};
          if (::poll(&p, 1, 100) <= 0) continue;
          const ssize_t n = ::read(c.fromChild, buf, sizeof buf);
          if (n <= 0) break;
          pending.append(buf, static_cast<size_t>(n));
          size_t at = 0;
          for (size_t nl; (nl = pending.find('\n', at)) != std::string::npos; at = nl + 1)
            cliCheck.Line(std::string_view(pending).substr(at, nl - at));
          pending.erase(0, at);
          cliLines.store(cliCheck.Lines());
        }
      });
    }
  }
  if (!ready) {
    End(c, SIGKILL);
    return r;
  }
  const int64_t dropsBefore = std::max<int64_t>(0, SocketDrops());
  const double cpu0 = CpuMs(c.pid);
  if (gui) Tell(c, "go");
  const auto start = Clock::now();
  const int perSender = rate / static_cast<int>(kSenders.size());
  const int count = perSender * seconds;
  std::array<int, 2> sent{};
  std::atomic<int> sending{static_cast<int>(kSenders.size())};
  std::vector<std::thread> senders;
  for (size_t s = 0; s < kSenders.size(); ++s) {
    senders.emplace_back([&, s] {
      quill::sim::DatagramSender phone(kSenders[s], kListen);
      if (phone.Open())
        sent[s] = phone.SendPaced(quill::sim::kDebugPort, count, perSender,
                                  std::chrono::seconds(seconds * 2 + 5), StreamDatagram);
      --sending;
    });
  }
  // Memory each second while the stream runs; the GUI child's progress is read meanwhile.
  int64_t guiSeen = 0;
  auto shownNow = [&] {
    if (!gui) return cliLines.load();
    while (auto line = ReadLine(c, 0))
      if (line->rfind("seen ", 0) == 0) guiSeen = std::atoll(line->c_str() + 5);
    return guiSeen;
  };
  auto nextSample = start + 1s;
  while (sending.load() > 0) {
    shownNow();
    if (Clock::now() >= nextSample) {
      r.rssKib.push_back(StatusKib(c.pid, "VmRSS"));
      nextSample += 1s;
    }
    std::this_thread::sleep_for(20ms);
  }
  for (auto& t : senders) t.join();
  r.sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.sent = sent[0] + sent[1];
  // The drain: until every datagram is shown or counted dropped, or nothing new comes for a while.
  int64_t last = -1;
  auto still = Clock::now();
  const auto drainEnd = Clock::now() + kDrainLimit;
  while (Clock::now() < drainEnd) {
    const int64_t now = shownNow();
    const int64_t drops = std::max<int64_t>(0, SocketDrops() - dropsBefore);
    if (now + drops >= r.sent) break;
    if (now != last) {
      last = now;
      still = Clock::now();
    } else if (Clock::now() - still > kStillLimit) {
      break;
    }
    if (Clock::now() >= nextSample) {
      r.rssKib.push_back(StatusKib(c.pid, "VmRSS"));
      nextSample += 1s;
    }
    std::this_thread::sleep_for(20ms);
  }
  r.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  r.kernelDrops = std::max<int64_t>(0, SocketDrops() - dropsBefore);
  r.cpuMs = CpuMs(c.pid) - cpu0;
  r.peakKib = StatusKib(c.pid, "VmHWM");
  if (gui) {
    Tell(c, "stop");
    for (int i = 0; i < 8; ++i) {
      auto line = ReadLine(c, 20000);
      if (!line) break;
      std::istringstream f(*line);
      std::string key;
      f >> key;
      if (key == "lines") f >> r.shown;
      if (key == "missing") f >> r.missing;
      if (key == "order") f >> r.order[0] >> r.order[1];
      if (key == "stall_ms") f >> r.stallMs;
      if (key == "stall_cpu_ms") f >> r.stallCpuMs;
      if (key == "view_lines") {
        f >> r.viewLines;
        break;
      }
    }
    End(c, 0);
    r.ok = r.viewLines >= 0;
    if (!r.ok) r.error = "the GUI child gave no result";
  } else {
    End(c, SIGINT);
    readerStop.store(true);
    cliReader.join();
    r.shown = cliCheck.Lines();
    r.missing = cliCheck.Missing();
    r.order = {cliCheck.OutOfOrder(0), cliCheck.OutOfOrder(1)};
    r.ok = true;
  }
  return r;
}

void Print(const std::string& who, const Result& r, int rate) {
  auto say = [&](const std::string& key, const std::string& value) {
    std::printf("%s_%s %s\n", who.c_str(), key.c_str(), value.c_str());
  };
  say("rate", std::to_string(rate));
  say("sent", std::to_string(r.sent));
  say("send_rate", std::to_string(static_cast<int64_t>(static_cast<double>(r.sent) / r.sendSeconds)));
  say("shown", std::to_string(r.shown));
  say("lost_before_socket", std::to_string(r.kernelDrops));
  say("lost_after_socket", std::to_string(r.Lost() - r.kernelDrops));
  say("out_of_order", std::to_string(r.order[0]) + " " + std::to_string(r.order[1]));
  say("cpu_percent", std::to_string(100.0 * r.cpuMs / r.wallMs));
  say("peak_kib", std::to_string(r.peakKib));
  std::string rss;
  for (int64_t k : r.rssKib) rss += (rss.empty() ? "" : ",") + std::to_string(k / 1024);
  say("rss_mib", rss.empty() ? "-" : rss);
  // Growth after the first second: the highest later sample against the first.
  int64_t growth = 0;
  for (size_t i = 1; i < r.rssKib.size(); ++i) growth = std::max(growth, r.rssKib[i] - r.rssKib[0]);
  say("growth_kib", std::to_string(growth));
  if (r.stallMs >= 0) {
    say("stall_ms", std::to_string(r.stallMs));
    say("stall_cpu_ms", std::to_string(static_cast<int64_t>(r.stallCpuMs)));
    say("view_lines", std::to_string(r.viewLines));
  }
  std::fflush(stdout);
}

// The rate where loss begins, from short runs: the highest rate seen clean and the lowest seen losing
// (0 when none was).
void Search(bool gui, const std::string& who, const std::string& tool, const std::string& self,
            const std::string& folder, int start, bool startLost, int seconds, int steps) {
  int clean = startLost ? 0 : start, losing = startLost ? start : 0;
  int rate = startLost ? start / 2 : start * 2;
  for (int i = 0; i < steps && rate > 0; ++i) {
    const Result r = RunOnce(gui, tool, self, folder, rate, seconds);
    if (!r.ok) break;
    // A rate the senders themselves could not reach says nothing about the monitor.
    const double reached = static_cast<double>(r.sent) / r.sendSeconds;
    std::fprintf(stderr, "monload_bench: %s at %d/s (sent %.0f/s): %lld lost (%lld before the socket)\n",
                 who.c_str(), rate, reached, static_cast<long long>(r.Lost()),
                 static_cast<long long>(r.kernelDrops));
    if (r.Lost() > 0) {
      losing = losing ? std::min(losing, rate) : rate;
    } else if (reached < 0.9 * rate) {
      break;
    } else {
      clean = std::max(clean, rate);
    }
    if (losing == 0)
      rate *= 2;
    else if (clean == 0)
      rate /= 2;
    else if (losing - clean <= std::max(5000, clean / 10))
      break;
    else
      rate = (clean + losing) / 2 / 1000 * 1000;
  }
  std::printf("%s_loss_begins %d %d\n", who.c_str(), clean, losing);
  std::fflush(stdout);
}

std::string Option(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], (name + "=").c_str(), name.size() + 1) == 0) return argv[i] + name.size() + 1;
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--gui-child") == 0) return RunGuiChild(argc, argv);
  ::signal(SIGPIPE, SIG_IGN);
  const std::string tool = Option(argc, argv, "--tool", "");
  const int seconds = std::atoi(Option(argc, argv, "--seconds", "10").c_str());
  const int rate = std::atoi(Option(argc, argv, "--rate", "50000").c_str());
  const int searchSeconds = std::atoi(Option(argc, argv, "--search-seconds", "3").c_str());
  const int steps = std::atoi(Option(argc, argv, "--search-steps", "6").c_str());
  const std::string only = Option(argc, argv, "--only", "");
  if ((tool.empty() && only != "gui") || seconds < 1 || seconds > 60 || rate < 2 || rate > 2000000) {
    std::fprintf(stderr,
                 "usage: monload_bench --tool=QUILLTOOL [--seconds=1..60] [--rate=N] [--search-seconds=N] "
                 "[--search-steps=N] [--only=cli|gui]\n");
    return 2;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const quill::test::TempDir folder;  // the children's store and Qt's runtime folder, removed at the end
  ::chmod(folder.Path().c_str(), 0700);
  for (const bool gui : {false, true}) {
    const std::string who = gui ? "gui" : "cli";
    if (!only.empty() && only != who) continue;
    const Result r = RunOnce(gui, tool, self, folder.Path(), rate, seconds);
    if (!r.ok) {
      std::fprintf(stderr, "monload_bench: %s: %s\n", who.c_str(), r.error.c_str());
      return 1;
    }
    Print(who, r, rate);
    if (steps > 0) Search(gui, who, tool, self, folder.Path(), rate, r.Lost() > 0, searchSeconds, steps);
  }
  return 0;
}
