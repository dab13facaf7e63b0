// The debug and CDR monitors on their own threads, showing into the scripted Ui's view, fed by the
// simulator's datagram sender from other loopback addresses. Each test listens on its own address.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "debugmon/monitor_thread.h"
#include "platform/process_events.h"
#include "sim/datagram_sender.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/transport_harness.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr const char* kPhone = loopback::kMonitorPhone.dotted;
constexpr const char* kOtherPhone = loopback::kMonitorOtherPhone.dotted;
constexpr const char* kHostsOwn =
    loopback::kMonitorHost.dotted;  // what the host's name looks up to in these tests
const std::string P = loopback::kMonitorPhone + ": ";
const std::string P2 = loopback::kMonitorOtherPhone + ": ";

enum class Kind { Debug, Cdr };

const char* Name(Kind kind) {
  return kind == Kind::Debug ? "debug" : "cdr";
}
uint16_t Port(Kind kind) {
  return kind == Kind::Debug ? sim::kDebugPort : sim::kCdrPort;
}
// The owner's start and stop of a monitor of that kind.
bool StartMonitor(Kind kind, std::optional<ThreadHandle>& held, Ui& ui, const char* address) {
  return kind == Kind::Debug ? CUdpDebugThread::Start(held, ui, Ip(address))
                             : CCdrDebugThread::Start(held, ui, Ip(address));
}
void StopMonitor(Kind kind, std::optional<ThreadHandle>& held) {
  return kind == Kind::Debug ? CUdpDebugThread::Stop(held) : CCdrDebugThread::Stop(held);
}

// The process-wide events, the host's own address, and a watch on the listeners' log lines.
class MonitorTest : public ::testing::Test {
 protected:
  // Starts a monitor of that kind on address and waits until its listener is bound.
  bool Start(Kind kind, const char* address) {
    log_.Clear();
    kind_ = kind;
    return StartMonitor(kind, held_, ui_, address) && log_.WaitFor("UDP IO thread starting\n");
  }
  void Stop(Kind kind) { StopMonitor(kind, held_); }
  void TearDown() override { Stop(kind_); }
  // The view of the monitor started last (made before its listener was bound).
  FakeOutputView& View() { return *ui_.views.back(); }

  ScopedProcessEvents events_;
  ScopedHostNameLookup host_{[](const std::string&) -> std::optional<uint32_t> { return Ip(kHostsOwn); }};
  LogWatch log_;
  FakeUi ui_;
  std::optional<ThreadHandle> held_;
  Kind kind_ = Kind::Debug;  // of the monitor held
};

struct Datagram {
  const char* from;
  std::string bytes;  // may hold zero bytes
};

struct Row {
  const char* name;
  Kind kind;
  std::vector<Datagram> datagrams;
  std::string shown;
};

std::string Piece(size_t length) {
  std::string s;
  for (size_t i = 0; s.size() < length; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST_F(MonitorTest, EachDatagramIsShownAfterItsSender) {
  using namespace std::string_literals;
  const std::string a480 = Piece(480), a479 = Piece(479), a481 = Piece(481);
  const std::string longText = Piece(1000) + " 0x1018 2\n";  // the simulator cuts it into 480, 480, 50
  std::vector<Datagram> longDatagrams;
  for (const auto& d : sim::DebugDatagrams(longText)) longDatagrams.push_back({kPhone, {d.begin(), d.end()}});
  const std::vector<Row> rows = {
      {"no zero byte", Kind::Debug, {{kPhone, "abc"}}, P + "abc"},
      {"two pieces",
       Kind::Debug,
       {{kPhone, "0x1018 3\n\0boot 0x1000 0x1001\n\0"s}},
       P + "arp send 3\n" + P + "boot check point 0 check point 1\n"},
      {"480 continued in the next datagram",
       Kind::Debug,
       {{kPhone, a480 + '\0'}, {kPhone, "0x1018 1\n"}},
       P + a480 + "arp send 1\n"},
      {"480 continued in the same datagram",
       Kind::Debug,
       {{kPhone, a480 + '\0' + "tail\n"}},
       P + a480 + "tail\n"},
      {"480 without its zero", Kind::Debug, {{kPhone, a480}, {kPhone, "tail\n"}}, P + a480 + "tail\n"},
      {"479", Kind::Debug, {{kPhone, a479 + '\0'}, {kPhone, "tail\n"}}, P + a479 + P + "tail\n"},
      {"481", Kind::Debug, {{kPhone, a481 + '\0'}, {kPhone, "tail\n"}}, P + a481 + P + "tail\n"},
      {"a long text cut by the phone", Kind::Debug, longDatagrams, P + Piece(1000) + " arp send 2\n"},
      {"empty pieces keep their prefix", Kind::Debug, {{kPhone, "\0\0x\n"s}}, P + P + P + "x\n"},
      // Several phones report into one window: text from another phone never continues a piece.
      {"480 then another phone",
       Kind::Debug,
       {{kPhone, a480 + '\0'}, {kOtherPhone, "b\n"}, {kPhone, "c\n"}},
       P + a480 + P2 + "b\n" + P + "c\n"},
      {"cdr without zero byte", Kind::Cdr, {{kPhone, "abc"}}, P + "abc"},
      {"cdr codes are not decoded",
       Kind::Cdr,
       {{kPhone, "CDR 0x1018 00:00:05 call duration 12\r\n"}},
       P + "CDR 0x1018 00:00:05 call duration 12\r\n"},
      {"cdr up to its zero byte",
       Kind::Cdr,
       {{kPhone, "record\n\0junk"s}, {kOtherPhone, "second\n"}},
       P + "record\n" + P2 + "second\n"},
      {"cdr 480 is not continued", Kind::Cdr, {{kPhone, a480}, {kPhone, "x\n"}}, P + a480 + P + "x\n"},
  };
  const char* address = loopback::kMonitorShows.dotted;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(Start(row.kind, address));
    sim::DatagramSender phone(kPhone, address), other(kOtherPhone, address);
    ASSERT_TRUE(phone.Open()) << phone.Error();
    ASSERT_TRUE(other.Open()) << other.Error();
    for (const Datagram& d : row.datagrams) {
      auto& sender = std::string(d.from) == kPhone ? phone : other;
      ASSERT_TRUE(sender.Send(Port(row.kind), Text(d.bytes))) << sender.Error();
    }
    ASSERT_TRUE(phone.Send(Port(row.kind), Text("end\n")));  // shown last, after its own prefix
    EXPECT_TRUE(View().WaitForText(P + "end\n")) << View().Text();
    EXPECT_EQ(View().Text(), row.shown + P + "end\n");
    Stop(row.kind);
  }
}

TEST_F(MonitorTest, DatagramsFromTheHostsOwnAddressAreNeverShown) {
  for (Kind kind : {Kind::Debug, Kind::Cdr}) {
    SCOPED_TRACE(Name(kind));
    ASSERT_TRUE(Start(kind, loopback::kMonitorOwnDropped.dotted));
    sim::DatagramSender own(kHostsOwn, loopback::kMonitorOwnDropped.dotted),
        phone(kPhone, loopback::kMonitorOwnDropped.dotted);
    ASSERT_TRUE(own.Open()) << own.Error();
    ASSERT_TRUE(phone.Open()) << phone.Error();
    ASSERT_TRUE(own.Send(Port(kind), Text("own\n")));
    ASSERT_TRUE(phone.Send(Port(kind), Text("later\n")));
    ASSERT_TRUE(own.Send(Port(kind), Text("own again\n")));
    ASSERT_TRUE(phone.Send(Port(kind), Text("last\n")));
    EXPECT_TRUE(View().WaitForText(P + "last\n"));
    EXPECT_EQ(View().Text(), P + "later\n" + P + "last\n");
    Stop(kind);
  }
}

TEST_F(MonitorTest, TheOwnerHoldsOneMonitorOfAKindAndStopsItCompletely) {
  for (Kind kind : {Kind::Debug, Kind::Cdr}) {
    SCOPED_TRACE(Name(kind));
    Stop(kind);  // none held: nothing happens
    Census before;
    ASSERT_TRUE(Start(kind, loopback::kMonitorOneOfAKind.dotted));
    // Held: a second start does nothing.
    EXPECT_FALSE(StartMonitor(kind, held_, ui_, loopback::kMonitorOneOfAKind.dotted));
    EXPECT_EQ(ui_.views.size(), 1u);
    // Stopped while a flood is still coming in.
    sim::DatagramSender phone(kPhone, loopback::kMonitorOneOfAKind.dotted);
    ASSERT_TRUE(phone.Open());
    EXPECT_EQ(phone.SendBurst(Port(kind), Text("0x1018 1\n"), sim::kMaxBurst), sim::kMaxBurst);
    auto start = std::chrono::steady_clock::now();
    Stop(kind);
    EXPECT_FALSE(held_.has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
    phone.Close();
    EXPECT_TRUE(before.Back()) << before.Describe();
    EXPECT_EQ(log_.Count("UDP IO thread shutting down\n"), 1u);
    // The port is free again, even for a socket that does not share it.
    UdpPeer next(loopback::kMonitorOneOfAKind.dotted, Port(kind), false);
    EXPECT_TRUE(next.IsBound());
    ui_.views.clear();
  }
}

TEST_F(MonitorTest, AMonitorWhoseListenerCannotStartStaysOpenAndStops) {
  for (Kind kind : {Kind::Debug, Kind::Cdr}) {
    SCOPED_TRACE(Name(kind));
    Census before;
    {
      UdpPeer squatter(loopback::kMonitorCannotStart.dotted, Port(kind), false);  // does not share the port
      ASSERT_TRUE(squatter.IsBound());
      log_.Clear();
      kind_ = kind;
      ASSERT_TRUE(StartMonitor(kind, held_, ui_, loopback::kMonitorCannotStart.dotted));
      ASSERT_TRUE(log_.WaitFor("UDP IO thread shutting down\n"));
      EXPECT_TRUE(View().Shown());
      Stop(kind);
      EXPECT_EQ(log_.Lines(),
                (std::vector<std::string>{"Could not bind address\n", "UDP IO thread shutting down\n"}));
    }
    EXPECT_TRUE(before.Back()) << before.Describe();
  }
}

// The speed the phone's fast logging asks for: a burst of 10 000 datagrams of 100 bytes, every one shown,
// in the order sent.
TEST_F(MonitorTest, ABurstOfTenThousandDatagramsIsShownWholeAndInOrder) {
  constexpr int kCount = 10000;
  constexpr size_t kSize = 100;
  ASSERT_TRUE(Start(Kind::Debug, loopback::kMonitorBurst.dotted));
  sim::DatagramSender phone(kPhone, loopback::kMonitorBurst.dotted);
  ASSERT_TRUE(phone.Open());
  std::string expected;
  expected.reserve(kCount * (kSize + 32));
  for (int i = 0; i < kCount; ++i) {
    char head[32];
    std::snprintf(head, sizeof head, "%05d 0x1018 %d ", i, i % 7);
    std::string text = head + std::string(kSize - 1 - std::strlen(head), '.') + "\n";
    ASSERT_TRUE(phone.Send(sim::kDebugPort, Text(text))) << i << ": " << phone.Error();
    char shown[32];
    std::snprintf(shown, sizeof shown, "%05d arp send %d ", i, i % 7);
    expected += P + shown + text.substr(std::strlen(head));
  }
  char last[32];
  std::snprintf(last, sizeof last, "%05d arp send", kCount - 1);
  EXPECT_TRUE(View().WaitForText(last, 60000));
  std::string text = View().Text();
  EXPECT_EQ(text.size(), expected.size());
  EXPECT_TRUE(text == expected) << "the text differs from what was sent";
  Stop(Kind::Debug);
}

}  // namespace
}  // namespace quill
