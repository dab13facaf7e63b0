// The GUI as a user starts it, measured from outside the process: time from the spawn to the first paint of
// the main window, CPU used while the tool sits idle with both monitors listening and no traffic, and the
// peak resident memory of that idle tool.
//
// The parent spawns this program again as a child that runs the tool's own GUI start-up (the same start-up
// and main window as `quilltool` with no arguments, offscreen, with a private settings store), reports the
// first paint of "Updating Tool" on its stdout, then starts the debug and CDR monitors as their toggles
// would, on this benchmark's own loopback address, and waits for a line on stdin to close the main window.
// Idle CPU is read from /proc/<child>/task/*/schedstat (nanoseconds on the CPU, per thread) at the start
// and end of the idle time; peak memory is VmHWM from /proc/<child>/status.
//
//   gui_bench [--runs=N] [--idle-seconds=S]    prints one line per figure:
//   start_ms_median <ms>
//   idle_cpu_percent <% of one core>
//   peak_rss_kib <KiB>
//   monitors <number running during the idle time>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/gui_main.h"
#include "app/qt_ui.h"
#include "bench/child_lines.h"
#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "transport/net_helpers.h"

#if __has_include("debugmon/monitor_thread.h")
#include "debugmon/monitor_thread.h"
#define QUILL_BENCH_HAS_MONITORS 1
#else
#define QUILL_BENCH_HAS_MONITORS 0
#endif

extern char** environ;

namespace {

using quill::bench::Child;
using quill::bench::MonotonicNs;
using quill::bench::ReadLine;

// The monitors listen on this benchmark's own loopback address (ports 8225 and 8227), not on every address
// as the tool does, so that tests and other benchmarks on the same ports never meet them.
constexpr uint32_t kListenAddress = quill::loopback::kBenchGuiListen.value;  // first octet most significant
constexpr const char* kMainCaption = "Updating Tool";
constexpr int kChildLifetimeMs = 120000;  // a child whose parent went away ends by itself

void Say(const std::string& line) {
  std::string text = line + "\n";
  if (::write(1, text.data(), text.size()) < 0) {
    // The parent has gone; the child's lifetime bound ends it.
  }
}

// --- The child: the tool's GUI -------------------------------------------------------------------------

class ChildProbe : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!painted_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
      QWidget* w = static_cast<QWidget*>(watched)->window();
      if (w->windowTitle() == kMainCaption) {
        painted_ = true;
        main_ = w;
        Say("shown " + std::to_string(MonotonicNs()));
        // Out of the paint: the monitors start as their toggles would start them, from the event loop.
        QTimer::singleShot(0, this, [this] { StartMonitors(); });
      }
    }
    return QObject::eventFilter(watched, event);
  }

  void StartMonitors() {
    int running = 0;
#if QUILL_BENCH_HAS_MONITORS
    const uint32_t address = quill::HostToNetworkAddress(kListenAddress);
    if (quill::CUdpDebugThread::Start(udp_, ui_, address)) ++running;
    if (quill::CCdrDebugThread::Start(cdr_, ui_, address)) ++running;
#endif
    Say("monitors " + std::to_string(running));
    quit_ = new QSocketNotifier(0, QSocketNotifier::Read, this);
    connect(quit_, &QSocketNotifier::activated, this, [this] { Quit(); });
  }

  void Quit() {
    if (quit_) quit_->setEnabled(false);
#if QUILL_BENCH_HAS_MONITORS
    quill::CUdpDebugThread::Stop(udp_);
    quill::CCdrDebugThread::Stop(cdr_);
#endif
    if (main_) main_->close();
  }

 private:
  bool painted_ = false;
  QPointer<QWidget> main_;
  QSocketNotifier* quit_ = nullptr;
  quill::QtUi ui_;
#if QUILL_BENCH_HAS_MONITORS
  std::optional<quill::ThreadHandle> udp_;
  std::optional<quill::ThreadHandle> cdr_;
#endif
};

int RunChild(int argc, char** argv, const std::string& store) {
  ::alarm(kChildLifetimeMs / 1000);
  quill::SetApplicationName("quilltool");
  quill::SettingsStore::SetLocation(store);
  // The host's own address, without asking a name server.
  quill::ScopedHostNameLookup host(
      [](const std::string&) -> std::optional<uint32_t> { return quill::loopback::kBenchGuiHost.Network(); });
  QApplication app(argc, argv);
  ChildProbe probe;
  app.installEventFilter(&probe);
  return quill::RunGui(quill::GuiOptions{});
}

// --- The parent: spawns and measures -----------------------------------------------------------------------

bool SpawnChild(Child& c, const std::string& self, const std::string& store) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0 && std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0)
      env.emplace_back(*e);
  env.emplace_back("QT_QPA_PLATFORM=offscreen");
  // Qt wants a private runtime folder; the store's folder serves, so nothing is left behind.
  const std::string runtime = store + "/runtime";
  ::mkdir(runtime.c_str(), 0700);
  env.emplace_back("XDG_RUNTIME_DIR=" + runtime);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string childFlag = "--child", storeArg = store;
  char* argv[] = {const_cast<char*>(self.c_str()), childFlag.data(), storeArg.data(), nullptr};
  int rc = ::posix_spawn(&c.pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  c.toChild = in[1];
  c.fromChild = out[0];
  return rc == 0;
}

bool EndChild(Child& c) {
  if (::write(c.toChild, "q\n", 2) != 2) ::kill(c.pid, SIGTERM);
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 1000 && !ended; ++i) {  // up to 10 s
    pid_t r = ::waitpid(c.pid, &status, WNOHANG);
    if (r == c.pid)
      ended = true;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!ended) {
    ::kill(c.pid, SIGKILL);
    ::waitpid(c.pid, &status, 0);
  }
  ::close(c.toChild);
  ::close(c.fromChild);
  return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Nanoseconds on the CPU of every thread of pid, and how many threads there are.
std::pair<int64_t, int> CpuNs(pid_t pid) {
  int64_t total = 0;
  int threads = 0;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* d = ::opendir(tasks.c_str())) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream f(tasks + "/" + e->d_name + "/schedstat");
      int64_t ns = 0;
      if (f >> ns) {
        total += ns;
        ++threads;
      }
    }
    ::closedir(d);
  }
  return {total, threads};
}

// utime + stime of the whole process in clock ticks, threads that ended included: the cross-check.
int64_t CpuTicks(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream rest(text.substr(paren + 2));
  std::string field;
  int64_t utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

long StatusKib(pid_t pid, const char* key) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return -1;
}

int RunParent(int runs, double idleSeconds) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const quill::test::TempDir folder;  // the children's private store, removed with what they wrote
  const std::string& store = folder.Path();
  std::vector<double> startMs;
  int rc = 0;
  for (int run = 0; run < runs && rc == 0; ++run) {
    Child c;
    const int64_t t0 = MonotonicNs();
    if (!SpawnChild(c, self, store)) {
      std::fprintf(stderr, "gui_bench: cannot start the GUI\n");
      rc = 1;
      break;
    }
    auto shown = ReadLine(c, 30000);
    auto monitors = ReadLine(c, 30000);
    if (!shown || shown->rfind("shown ", 0) != 0 || !monitors || monitors->rfind("monitors ", 0) != 0) {
      std::fprintf(stderr, "gui_bench: the main window was not shown\n");
      EndChild(c);
      rc = 1;
      break;
    }
    startMs.push_back(static_cast<double>(std::atoll(shown->c_str() + 6) - t0) / 1e6);
    if (run == runs - 1) {
      // Idle: let the start-up settle, then CPU over the idle time.
      std::this_thread::sleep_for(std::chrono::seconds(1));
      auto [ns0, threads0] = CpuNs(c.pid);
      int64_t ticks0 = CpuTicks(c.pid);
      const int64_t w0 = MonotonicNs();
      std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
      auto [ns1, threads1] = CpuNs(c.pid);
      int64_t ticks1 = CpuTicks(c.pid);
      const double wall = static_cast<double>(MonotonicNs() - w0);
      const double hz = static_cast<double>(::sysconf(_SC_CLK_TCK));
      std::printf("idle_cpu_percent %.3f\n", 100.0 * static_cast<double>(ns1 - ns0) / wall);
      std::printf("idle_cpu_percent_ticks %.3f\n",
                  100.0 * static_cast<double>(ticks1 - ticks0) / hz / (wall / 1e9));
      std::printf("idle_threads %d %d\n", threads0, threads1);
      std::printf("peak_rss_kib %ld\n", StatusKib(c.pid, "VmHWM:"));
      std::printf("%s\n", monitors->c_str());
    }
    if (!EndChild(c)) {
      std::fprintf(stderr, "gui_bench: the GUI did not end cleanly\n");
      rc = 1;
    }
  }
  if (!startMs.empty()) {
    std::vector<double> sorted = startMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("start_ms_median %.1f\n", sorted[sorted.size() / 2]);
    std::printf("start_ms_runs");
    for (double ms : startMs) std::printf(" %.1f", ms);
    std::printf("\n");
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return RunChild(1, argv, argv[2]);
  int runs = 5;
  double idleSeconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0)
      runs = std::max(1, std::atoi(argv[i] + 7));
    else if (std::strncmp(argv[i], "--idle-seconds=", 15) == 0)
      idleSeconds = std::atof(argv[i] + 15);
    else {
      std::fprintf(stderr, "usage: gui_bench [--runs=N] [--idle-seconds=S]\n");
      return 2;
    }
  }
  return RunParent(runs, idleSeconds);
}
