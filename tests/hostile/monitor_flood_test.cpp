// Both monitors against what a hostile or broken sender can put on ports 8225 and 8227: datagrams of every
// size up to the largest UDP payload, random bytes, no zero byte, nothing but zero bytes. The monitors keep
// running, show what comes after the flood, and hold no more than a fixed number of datagrams however
// large the flood. Each test listens on a loopback address of its own; the flood comes from another.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "debugmon/debug_text_assembler.h"
#include "debugmon/monitor_thread.h"
#include "platform/process_events.h"
#include "sim/datagram_sender.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/transport_harness.h"
#include "transport/net_helpers.h"
#include "transport/udp_socket.h"

namespace quill {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr const char* kMonitorAddress = loopback::kFloodMonitor.dotted;
constexpr const char* kFloodAddress = loopback::kFloodSender.dotted;
const std::string P = std::string(kFloodAddress) + ": ";
constexpr size_t kLargestUdpPayload = 65507;

// A view that can hold the monitor's thread inside Append, as a busy user interface would, and that finds
// a text without searching again what it searched before (the flood shows megabytes).
class HoldingView : public OutputView {
 public:
  void Append(std::string text) override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !held_; });
    text_ += text;
    changed_.notify_all();
  }
  void Show() override {}
  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  bool WaitForText(const std::string& needle, std::chrono::milliseconds limit = 30s) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t from = 0;
    return changed_.wait_for(lock, limit, [&] {
      size_t found = text_.find(needle, from);
      from = text_.size() > needle.size() ? text_.size() - needle.size() : 0;
      return found != std::string::npos;
    });
  }
  std::string Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  size_t Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  bool held_ = false;
};

class FloodUi : public FakeUi {
 public:
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec&) override {
    auto view = std::make_shared<HoldingView>();
    std::lock_guard<std::mutex> lock(mutex_);
    made_.push_back(view);
    changed_.notify_all();
    return view;
  }
  std::shared_ptr<HoldingView> WaitForView(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, 10s, [&] { return made_.size() > n; })) return nullptr;
    return made_[n];
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<HoldingView>> made_;
};

enum class Kind { Debug, Cdr };
uint16_t Port(Kind kind) {
  return kind == Kind::Debug ? sim::kDebugPort : sim::kCdrPort;
}

// The flood: every kind of datagram in turn, sizes and bytes from a fixed seed.
class Flood {
 public:
  explicit Flood(unsigned seed) : random_(seed) {}
  std::vector<uint8_t> Next() {
    static constexpr size_t kEdgeSizes[] = {
        1, 2, 479, 480, 481, 1398, 1399, 1400, 1401, 1472, 8192, 65506, kLargestUdpPayload};
    const int kind = n_++ % 7;
    size_t size = std::uniform_int_distribution<size_t>(1, kLargestUdpPayload)(random_);
    std::vector<uint8_t> d;
    switch (kind) {
      case 0:  // random bytes, zeros included
        d.resize(size);
        for (auto& b : d) b = static_cast<uint8_t>(random_());
        break;
      case 1:  // no zero byte anywhere
        d.resize(size);
        for (auto& b : d) b = static_cast<uint8_t>(1 + random_() % 255);
        break;
      case 2:  // nothing but zero bytes: an empty piece per byte
        d.assign(size, 0);
        break;
      case 3: {  // the edge sizes, in text that ends in the middle of a code where the listener cuts it
        size = kEdgeSizes[(n_ / 7) % std::size(kEdgeSizes)];
        static const std::string kCodes = "0x1085 0x10a5 0x10BA 0xFFFF 0x0x 0x1";
        for (size_t i = 0; i < size; ++i) d.push_back(static_cast<uint8_t>(kCodes[i % kCodes.size()]));
        break;
      }
      case 4:  // codes only: the decoder's longest names and reasons, back to back
        for (size_t i = 0; i < size; ++i) d.push_back(static_cast<uint8_t>("0x1085"[i % 6]));
        break;
      case 5:  // high bytes: neither UTF-8 nor anything else
        d.resize(size);
        for (auto& b : d) b = static_cast<uint8_t>(0x80 | random_());
        break;
      default:  // empty: the listener drops it
        break;
    }
    return d;
  }

 private:
  std::mt19937 random_;
  int n_ = 0;
};

// The most text one datagram can add: the listener keeps 1400 bytes, each zero byte is a prefixed empty
// piece, and each six-character code can become a name and a reason of at most 90 characters.
constexpr size_t kMostShownPerDatagram = kMonitorReceiveSize * 16 + 64;

class MonitorFloodTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& view : views_)
      if (view) view->Release();
    CUdpDebugThread::Stop(debug_);
    CCdrDebugThread::Stop(cdr_);
  }
  // One after the other: each makes its view on its own thread.
  bool StartBoth() {
    if (!CUdpDebugThread::Start(debug_, ui_, Ip(kMonitorAddress)) || !(views_[0] = ui_.WaitForView(0)) ||
        !CCdrDebugThread::Start(cdr_, ui_, Ip(kMonitorAddress)) || !(views_[1] = ui_.WaitForView(1)))
      return false;
    return WaitForCount("UDP IO thread starting\n", 2);
  }
  bool WaitForCount(const std::string& line, size_t n) {
    for (int i = 0; i < 1000 && log_.Count(line) < n; ++i) std::this_thread::sleep_for(10ms);
    return log_.Count(line) >= n;
  }
  HoldingView& View(Kind kind) { return *views_[kind == Kind::Debug ? 0 : 1]; }
  // Sends text until it shows: a flood may have filled the socket's buffer, where the system drops what
  // comes next. Each copy sent is bounded in count; once one shows, everything sent before it has been
  // read.
  bool SendUntilShown(sim::DatagramSender& sender, Kind kind, const std::string& text,
                      const std::string& shown) {
    for (int i = 0; i < 120; ++i) {
      if (!sender.Send(Port(kind), Text(text))) return false;
      if (View(kind).WaitForText(shown, 500ms)) return true;
    }
    return false;
  }

  ScopedProcessEvents events_;
  ScopedHostNameLookup host_{
      [](const std::string&) -> std::optional<uint32_t> { return loopback::kFloodHost.Network(); }};
  LogWatch log_;
  FloodUi ui_;
  std::optional<ThreadHandle> debug_, cdr_;
  std::shared_ptr<HoldingView> views_[2];
};

TEST_F(MonitorFloodTest, BothMonitorsOutliveAFloodAndShowWhatComesAfterIt) {
  ASSERT_TRUE(StartBoth());
  sim::DatagramSender phone(kFloodAddress, kMonitorAddress);
  ASSERT_TRUE(phone.Open()) << phone.Error();
  constexpr int kRounds = 12, kPerRound = 28;  // 336 datagrams to each port
  Flood flood(2088);
  size_t sent = 0, longer = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kPerRound; ++i) {
      std::vector<uint8_t> d = flood.Next();
      for (Kind kind : {Kind::Debug, Kind::Cdr}) ASSERT_TRUE(phone.Send(Port(kind), d)) << d.size();
      ++sent;
      if (d.size() > static_cast<size_t>(kMonitorReceiveSize)) ++longer;
    }
    // Both still read and show between rounds.
    std::string mark = "mark " + std::to_string(round) + "\n";
    ASSERT_TRUE(SendUntilShown(phone, Kind::Debug, "0x1018 " + mark, "arp send " + mark)) << round;
    ASSERT_TRUE(SendUntilShown(phone, Kind::Cdr, "cdr " + mark, "cdr " + mark)) << round;
  }
  ASSERT_GT(longer, 0u);

  // A piece that ends neither at 480 characters nor in the middle: what follows starts after its prefix.
  ASSERT_TRUE(SendUntilShown(phone, Kind::Debug, "sync\n", P + "sync\n"));
  ASSERT_TRUE(SendUntilShown(phone, Kind::Cdr, "sync\n", P + "sync\n"));
  const size_t debugBefore = View(Kind::Debug).Size(), cdrBefore = View(Kind::Cdr).Size();
  std::string debugExpected, cdrExpected;
  for (int i = 0; i < 20; ++i) {
    std::string n = std::to_string(i);
    ASSERT_TRUE(phone.Send(sim::kDebugPort, Text("after 0x1018 " + n + "\n")));
    ASSERT_TRUE(phone.Send(sim::kCdrPort, Text("CDR after 0x1018 " + n + "\r\n")));
    debugExpected += P + "after arp send " + n + "\n";
    cdrExpected += P + "CDR after 0x1018 " + n + "\r\n";
  }
  ASSERT_TRUE(View(Kind::Debug).WaitForText("after arp send 19\n"));
  ASSERT_TRUE(View(Kind::Cdr).WaitForText("CDR after 0x1018 19\r\n"));
  EXPECT_EQ(View(Kind::Debug).Text().substr(debugBefore), debugExpected);
  EXPECT_EQ(View(Kind::Cdr).Text().substr(cdrBefore), cdrExpected);

  // Longer datagrams were cut at the receive size, each with its line, and nothing else went wrong.
  const std::regex cut("Datagram of ([0-9]+) bytes cut to 1400 in CUdpSocket::ReadData\\(\\)\n");
  size_t cuts = 0;
  for (const std::string& line : log_.Lines()) {
    std::smatch m;
    if (std::regex_match(line, m, cut)) {
      ++cuts;
      size_t length = std::stoul(m[1]);
      EXPECT_GT(length, 1400u);
      EXPECT_LE(length, kLargestUdpPayload);
    } else {
      EXPECT_EQ(line, "UDP IO thread starting\n");
    }
  }
  EXPECT_GT(cuts, 0u);
  EXPECT_LE(cuts, 2 * longer);
  // What was shown stays within what the datagrams could show (markers and the text after included).
  const size_t datagrams = sent + (size_t{2} * (kRounds * 120 + 2 * 120 + 20));
  EXPECT_LE(View(Kind::Debug).Size(), datagrams * kMostShownPerDatagram);
  EXPECT_LE(View(Kind::Cdr).Size(), datagrams * (P.size() + kMonitorReceiveSize));
}

// The debug monitor's state between datagrams is the last piece's size and sender: whatever arrives, it
// stays within one datagram's receive size.
TEST(MonitorFloodAssembler, TheStateKeptBetweenDatagramsStaysWithinOneDatagram) {
  CDebugTextAssembler assembler;
  Flood flood(8225);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> d = flood.Next();
    // As the listener and the window hand it over: cut to the receive size, a zero after the data.
    d.resize(std::min(d.size(), static_cast<size_t>(kMonitorReceiveSize)));
    d.push_back(0);
    size_t shown = 0;
    for (const std::string& part : assembler.Assemble(Ip(kFloodAddress), d.data(), d.size() - 1))
      shown += part.size();
    EXPECT_LE(shown, kMostShownPerDatagram);
    EXPECT_LE(assembler.LastPieceSize(), static_cast<size_t>(kMonitorReceiveSize) + 1);
  }
}

// A window-owning thread with a monitor's window of the test's own, so the test can ask the window how
// many datagrams wait for it.
template <class Wnd>
class ExposedMonitorThread : public WindowThread {
 public:
  ExposedMonitorThread(Ui& ui, uint32_t address, std::atomic<COutputWnd*>* exposed)
      : WindowThread(nullptr), wnd_(ui, address) {
    exposed->store(&wnd_);
  }

 protected:
  bool InitInstance() override {
    if (!wnd_.Create()) return false;
    SetMainWindow(&wnd_);
    return true;
  }

 private:
  Wnd wnd_;
};

// While the user interface cannot take text, datagrams wait for the window; their number stays at the
// listener's limit when the flood doubles, the rest is left to the system's buffer, and everything sent
// after the user interface comes back is shown.
template <class Wnd>
void HeldWindowHoldsABoundedNumberOfDatagrams(Kind kind, const char* address) {
  ScopedHostNameLookup host(
      [](const std::string&) -> std::optional<uint32_t> { return loopback::kFloodHost.Network(); });
  LogWatch log;
  FloodUi ui;
  std::atomic<COutputWnd*> wnd{nullptr};
  std::optional<ThreadHandle> held;
  ASSERT_TRUE((StartWindowThreadOnce<ExposedMonitorThread<Wnd>>(held, ui, Ip(address), &wnd)));
  std::shared_ptr<HoldingView> view = ui.WaitForView(0);
  ASSERT_TRUE(view);
  ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
  view->Hold();
  // Whatever fails below, the window's thread is let go before its stop is awaited.
  std::shared_ptr<void> letGo(nullptr, [&](void*) { view->Release(); });
  sim::DatagramSender phone(kFloodAddress, address);
  ASSERT_TRUE(phone.Open()) << phone.Error();
  const std::vector<uint8_t> tiny = Text("x");
  // Until the window holds its fill (the system drops some of a flood this fast, so the count sent varies).
  int sent = 0;
  while (wnd.load()->DatagramsWaiting() < kUdpMaxBlocksHeld && sent < 40 * kUdpMaxBlocksHeld) {
    sent += phone.SendBurst(Port(kind), tiny, sim::kMaxBurst);
    std::this_thread::yield();
  }
  EXPECT_EQ(wnd.load()->DatagramsWaiting(), kUdpMaxBlocksHeld) << "after " << sent << " datagrams";
  // Twice the flood: the same number waits.
  for (int more = 0; more < sent; more += sim::kMaxBurst) phone.SendBurst(Port(kind), tiny, sim::kMaxBurst);
  EXPECT_LE(wnd.load()->DatagramsWaiting(), kUdpMaxBlocksHeld);

  view->Release();
  bool shown = false;
  for (int i = 0; i < 240 && !shown; ++i) {
    ASSERT_TRUE(phone.Send(Port(kind), Text("back\n")));
    shown = view->WaitForText(P + "back\n", 500ms);
  }
  ASSERT_TRUE(shown);
  const size_t before = view->Size();
  ASSERT_TRUE(phone.Send(Port(kind), Text("later\n")));
  ASSERT_TRUE(view->WaitForText(P + "later\n"));
  // The copies of "back" sent while the window caught up may still come in between.
  std::string after = view->Text().substr(before);
  EXPECT_EQ(after.substr(after.size() - (P.size() + 6)), P + "later\n") << after.substr(0, 200);
  EXPECT_EQ(log.Count("UDP IO thread shutting down\n"), 0u);
  StopMonitorThread(held, nullptr);
}

TEST(MonitorFloodHeld, TheDebugWindowHoldsABoundedNumberOfDatagrams) {
  HeldWindowHoldsABoundedNumberOfDatagrams<CUdpDebugWnd>(Kind::Debug, loopback::kFloodHeldDebug.dotted);
}

TEST(MonitorFloodHeld, TheCdrWindowHoldsABoundedNumberOfDatagrams) {
  HeldWindowHoldsABoundedNumberOfDatagrams<CCdrDebugWnd>(Kind::Cdr, loopback::kFloodHeldCdr.dotted);
}

}  // namespace
}  // namespace quill
