// The debug monitor's whole path under a phone that logs fast: socket -> monitor thread -> decoder -> Qt
// view on the GUI thread, offscreen. A burst of 10 000 datagrams of 100 bytes comes from the simulator's
// sender; measured are the time until the last line is shown and the longest stall of the GUI's event loop
// (a timer that should tick every 10 ms). The view may already hold a large document.
//
// A stall in wall time is the GUI thread's own work plus the time other processes held the processor; on a
// loaded machine the second part swings. stall_cpu_ms_worst is the most processor time the GUI thread used
// between two ticks: how long its own work kept the event loop from turning. out_of_order counts the lines
// of the burst that are not shown in the order sent.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/output_view.h"
#include "app/qt_ui.h"
#include "debugmon/monitor_thread.h"
#include "platform/debug_log.h"
#include "platform/event.h"
#include "platform/process_events.h"
#include "resources/dialog_template.h"
#include "sim/datagram_sender.h"
#include "tests/support/loopback.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

constexpr const char* kListen = loopback::kBenchMonitorListen.dotted;
constexpr const char* kPhone = loopback::kBenchMonitorPhone.dotted;
constexpr int kBurst = 10000;
constexpr size_t kDatagramSize = 100;
constexpr int kTickMs = 10;

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Lines of the burst (from block first on) that do not carry the sequence number of their place.
int OutOfOrder(QTextDocument* document, int first) {
  int wrong = 0;
  for (int i = 0; i < kBurst; ++i) {
    QString text = document->findBlockByNumber(first + i).text();
    if (!text.startsWith(QString(kPhone) + QString(": %1 ").arg(i, 5, 10, QChar('0')))) ++wrong;
  }
  return wrong;
}

uint32_t Ip(const char* dotted) {
  return ::inet_addr(dotted);
}

// The datagrams of the burst: a sequence number, a code to decode, and filler up to 100 bytes.
std::vector<std::vector<uint8_t>> BurstDatagrams() {
  std::vector<std::vector<uint8_t>> out;
  out.reserve(kBurst);
  for (int i = 0; i < kBurst; ++i) {
    char head[32];
    std::snprintf(head, sizeof head, "%05d 0x1018 %d ", i, i % 7);
    std::string text = head + std::string(kDatagramSize - 1 - std::strlen(head), '.') + "\n";
    out.emplace_back(text.begin(), text.end());
  }
  return out;
}

// Sets an event when the listener's thread reports that it is bound.
class BoundWatch {
 public:
  BoundWatch() {
    previous_ = DebugLog::SetSink([this](std::string_view text) {
      if (text == "UDP IO thread starting\n") bound_.Set();
    });
  }
  ~BoundWatch() { DebugLog::SetSink(previous_); }
  bool Wait() { return bound_.Wait(10000); }

 private:
  DebugLog::Sink previous_;
  Event bound_{Event::Kind::ManualReset};
};

QWidget* TopLevel(const QString& caption) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == caption) return w;
  return nullptr;
}

// Lets the GUI's event loop run until done() holds or the limit passes.
bool RunUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > limitMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void BM_DebugMonitorBurstShownInQtView(benchmark::State& state) {
  const int preloadLines = static_cast<int>(state.range(0));
  const auto datagrams = BurstDatagrams();
  std::string preload;
  for (int i = 0; i < preloadLines; ++i)
    preload += loopback::kOnlyInText + ": earlier line " + std::to_string(i) + "\n";
  double worstStallMs = 0, worstStallCpuMs = 0, worstShowMs = 0, totalShowMs = 0;
  int64_t lost = 0, outOfOrder = 0;
  for (auto _ : state) {
    QtUi ui;
    std::optional<ThreadHandle> held;
    {
      BoundWatch bound;
      CUdpDebugThread::Start(held, ui, Ip(kListen));
      if (!bound.Wait()) {
        state.SkipWithError("the listener did not start");
        break;
      }
    }
    QPlainTextEdit* edit = nullptr;
    RunUntil(
        [&] {
          QWidget* w = TopLevel("Udp Debug Output");
          edit = w ? gui::Control<QPlainTextEdit>(w, 1029) : nullptr;
          return edit != nullptr;
        },
        10000);
    if (!edit) {
      state.SkipWithError("no view");
      break;
    }
    if (!preload.empty()) {
      QTextCursor c = edit->textCursor();
      c.movePosition(QTextCursor::End);
      c.insertText(QString::fromStdString(preload));
      edit->setTextCursor(c);
      QApplication::processEvents();
    }
    const int blocksBefore = edit->document()->blockCount();

    sim::DatagramSender phone(kPhone, kListen);
    if (!phone.Open()) {
      state.SkipWithError(phone.Error().c_str());
      break;
    }
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 lastTick = 0, stall = 0, shownAt = -1;
    double lastTickCpu = ThreadCpuMs(), stallCpu = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      qint64 now = clock.elapsed();
      stall = std::max(stall, now - lastTick);
      lastTick = now;
      double cpu = ThreadCpuMs();
      stallCpu = std::max(stallCpu, cpu - lastTickCpu);
      lastTickCpu = cpu;
      if (edit->document()->blockCount() - blocksBefore >= kBurst) {
        shownAt = now;
        loop.quit();
      }
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    clock.start();
    tick.start(kTickMs);
    std::thread sender([&] {
      for (const auto& d : datagrams) phone.Send(sim::kDebugPort, d);
    });
    loop.exec();
    sender.join();
    tick.stop();

    int shown = edit->document()->blockCount() - blocksBefore;
    lost += kBurst - std::min(shown, kBurst);
    outOfOrder += OutOfOrder(edit->document(), blocksBefore - 1);
    QString last = edit->document()->findBlockByNumber(edit->document()->blockCount() - 2).text();
    if (!last.startsWith(QString(kPhone) + QString(": %1 arp send").arg(kBurst - 1, 5, 10, QChar('0'))))
      state.SkipWithError("the last line shown is not the last one sent");
    double showMs = shownAt < 0 ? 60000.0 : static_cast<double>(shownAt);
    state.SetIterationTime(showMs / 1000.0);
    worstShowMs = std::max(worstShowMs, showMs);
    totalShowMs += showMs;
    worstStallMs = std::max(worstStallMs, static_cast<double>(stall - kTickMs));
    worstStallCpuMs = std::max(worstStallCpuMs, stallCpu);

    CUdpDebugThread::Stop(held);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  state.counters["show_ms_worst"] = worstShowMs;
  state.counters["show_ms_mean"] =
      state.iterations() ? totalShowMs / static_cast<double>(state.iterations()) : 0;
  state.counters["stall_ms_worst"] = worstStallMs;
  state.counters["stall_cpu_ms_worst"] = worstStallCpuMs;
  state.counters["lost"] = static_cast<double>(lost);
  state.counters["out_of_order"] = static_cast<double>(outOfOrder);
  state.counters["datagrams/s"] = benchmark::Counter(
      static_cast<double>(kBurst) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DebugMonitorBurstShownInQtView)
    ->Arg(0)
    // A view already as full as it stays with the burst in it: the lines it keeps, less the burst.
    ->Arg(kOutputViewMaxLines - kBurst)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quill

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quill::ScopedProcessEvents events;
  // The host's own address is the benchmark's own, and no name server is asked.
  quill::ScopedHostNameLookup host([](const std::string&) -> std::optional<uint32_t> {
    return quill::loopback::kBenchMonitorHost.Network();
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
