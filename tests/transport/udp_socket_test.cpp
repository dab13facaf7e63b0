// CUdpSocket owned by a monitor-like window on a real window-owning thread: Enter when the window is
// created, Leave when it is destroyed. Senders are plain sockets on other loopback addresses.
#include "transport/udp_socket.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "platform/timing.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/transport_harness.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using namespace test;

constexpr int kDebugPort = 8225;

struct ListenOptions {
  const char* bind = nullptr;  // nullptr: every local address
  const char* peer = nullptr;  // nullptr: no peer
  int size = 100;
};

class Monitor {
 public:
  explicit Monitor(ListenOptions options)
      : owner_([this, options](OwnerWindow<CUdpSocket>& w) {
          w.onCreate = [this, options](OwnerWindow<CUdpSocket>& w) {
            entered_ = w.transport.Enter(w.GetSafeHwnd(), WM_UDP_DATA, options.peer ? Ip(options.peer) : 0,
                                         kDebugPort, options.size, options.bind ? Ip(options.bind) : 0);
            return true;
          };
          w.onMessage = [this](OwnerWindow<CUdpSocket>&, Message& m) { inbox_.Add(m); };
          w.onDestroy = [](OwnerWindow<CUdpSocket>& w) { w.transport.Leave(); };
        }) {}
  bool entered() const { return entered_; }
  Inbox& inbox() { return inbox_; }
  Owner<CUdpSocket>& owner() { return owner_; }

 private:
  Inbox inbox_;
  std::atomic<bool> entered_{false};
  Owner<CUdpSocket> owner_;
};

// The host's own name looked up in a table, so that which address is "the tool's own" is the test's choice.
HostNameLookup HostIs(const char* address) {
  return [address](const std::string&) -> std::optional<uint32_t> {
    if (!address) return std::nullopt;
    return Ip(address);
  };
}

TEST(UdpSocket, DatagramsArriveWithTheirSenderAndRoomForATerminator) {
  ScopedHostNameLookup host(HostIs(loopback::kUdpArriveHost.dotted));
  LogWatch log;
  Census before;
  {
    Monitor monitor({loopback::kUdpArriveMonitor.dotted});
    ASSERT_TRUE(monitor.entered());
    ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
    UdpPeer phone(loopback::kUdpArrivePhone.dotted);
    auto full = Pattern(100, 1);  // exactly the receive size
    auto longer = Pattern(150, 2);
    ASSERT_TRUE(phone.SendTo(loopback::kUdpArriveMonitor.dotted, kDebugPort, full));
    ASSERT_TRUE(phone.SendTo(loopback::kUdpArriveMonitor.dotted, kDebugPort, {}));  // empty: dropped
    ASSERT_TRUE(phone.SendTo(loopback::kUdpArriveMonitor.dotted, kDebugPort, Text("0x1030 dns ip")));
    ASSERT_TRUE(phone.SendTo(loopback::kUdpArriveMonitor.dotted, kDebugPort,
                             longer));  // cut to the receive size, and listening goes on
    ASSERT_TRUE(phone.SendTo(loopback::kUdpArriveMonitor.dotted, kDebugPort, Text("end")));
    ASSERT_TRUE(monitor.inbox().WaitForCount(WM_UDP_DATA, 4));

    auto got = monitor.inbox().Of(WM_UDP_DATA);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].bytes, full);
    EXPECT_EQ(got[1].bytes, Text("0x1030 dns ip"));
    EXPECT_EQ(got[2].bytes, std::vector<uint8_t>(longer.begin(), longer.begin() + 100));
    EXPECT_EQ(got[3].bytes, Text("end"));
    for (auto& r : got) {
      EXPECT_EQ(r.wParam, static_cast<WPARAM>(loopback::kUdpArrivePhone.Network()));
      EXPECT_EQ(r.capacity, 101u);
      EXPECT_TRUE(r.lParamIsBlock);
    }
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"UDP IO thread starting\n",
                                                   "Datagram of 150 bytes cut to 100 in CUdpSocket::ReadData()\n",
                                                   "UDP IO thread shutting down\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(UdpSocket, DatagramsFromTheHostsOwnAddressAreNeverDelivered) {
  struct Row {
    const char* own;  // the host's own address, or none when its name cannot be looked up
    std::vector<std::string> expected;
  };
  for (const Row& row : {Row{loopback::kUdpOwnHost.dotted, {"other", "last"}},
                         Row{nullptr, {"own", "other", "own", "last"}}}) {
    SCOPED_TRACE(row.own ? row.own : "no address");
    ScopedHostNameLookup host(HostIs(row.own));
    EXPECT_EQ(LocalHostAddress(), row.own ? Ip(row.own) : 0u);
    LogWatch log;
    Monitor monitor({loopback::kUdpOwnMonitor.dotted});
    ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
    UdpPeer own(loopback::kUdpOwnHost.dotted);
    UdpPeer other(loopback::kUdpOwnOther.dotted);
    ASSERT_TRUE(own.SendTo(loopback::kUdpOwnMonitor.dotted, kDebugPort, Text("own")));
    ASSERT_TRUE(other.SendTo(loopback::kUdpOwnMonitor.dotted, kDebugPort, Text("other")));
    ASSERT_TRUE(own.SendTo(loopback::kUdpOwnMonitor.dotted, kDebugPort, Text("own")));
    ASSERT_TRUE(other.SendTo(loopback::kUdpOwnMonitor.dotted, kDebugPort, Text("last")));
    ASSERT_TRUE(monitor.inbox().WaitFor([](const std::vector<Received>& items) {
      return !items.empty() && items.back().bytes == Text("last");
    }));
    std::vector<std::string> texts;
    for (auto& r : monitor.inbox().Of(WM_UDP_DATA)) texts.emplace_back(r.bytes.begin(), r.bytes.end());
    EXPECT_EQ(texts, row.expected);
  }
}

TEST(UdpSocket, WithAPeerItListensOnTheHostsOwnAddressOnly) {
  ScopedHostNameLookup host(HostIs(loopback::kUdpPeerHost.dotted));
  LogWatch log;
  Census before;
  {
    Monitor monitor({loopback::kUdpPeerBind.dotted,
                     loopback::kUdpPeerPhone.dotted});  // the bind address gives way to the host's own
    ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
    UdpPeer phone(loopback::kUdpPeerSender.dotted);
    ASSERT_TRUE(phone.SendTo(loopback::kUdpPeerElsewhere.dotted, kDebugPort, Text("elsewhere")));
    ASSERT_TRUE(phone.SendTo(loopback::kUdpPeerBind.dotted, kDebugPort, Text("bind address")));
    ASSERT_TRUE(phone.SendTo(loopback::kUdpPeerHost.dotted, kDebugPort, Text("own address")));
    ASSERT_TRUE(monitor.inbox().WaitForCount(WM_UDP_DATA, 1));
    auto got = monitor.inbox().Of(WM_UDP_DATA);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Text("own address"));
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(UdpSocket, LeaveReturnsAtOnceWhenTheThreadHasAlreadyEnded) {
  ScopedHostNameLookup host(HostIs(loopback::kUdpLeaveHost.dotted));
  LogWatch log;
  Census before;
  {
    // The port is taken by a socket that does not share it: the listener cannot bind and its thread ends.
    UdpPeer squatter(loopback::kUdpLeave.dotted, kDebugPort, false);
    ASSERT_TRUE(squatter.IsBound());
    test::ScaledTiming slow(100.0);  // a Leave that waited out its limit would take five minutes
    Monitor monitor({loopback::kUdpLeave.dotted});
    ASSERT_TRUE(monitor.entered());
    ASSERT_TRUE(log.WaitFor("UDP IO thread shutting down\n"));
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(monitor.owner().Run([](OwnerWindow<CUdpSocket>& w) { w.transport.Leave(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    ASSERT_TRUE(monitor.owner().Run([](OwnerWindow<CUdpSocket>& w) { w.transport.Leave(); }));  // twice: harmless
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Could not bind address\n", "UDP IO thread shutting down\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(UdpSocket, AnInvalidReceiveSizeIsRefused) {
  LogWatch log;
  CUdpSocket socket;
  EXPECT_FALSE(socket.Enter(Hwnd{}, WM_UDP_DATA, 0, kDebugPort, 0, loopback::kUdpInvalidSize.Network()));
  socket.Leave();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Invalid receive size in CUdpSocket::Enter()\n"}));
}

TEST(UdpSocket, ABurstOfTenThousandDatagramsIsDeliveredWhole) {
  ScopedHostNameLookup host(HostIs(loopback::kUdpBurstHost.dotted));
  LogWatch log;
  Monitor monitor({loopback::kUdpBurstMonitor.dotted});
  ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
  UdpPeer phone(loopback::kUdpBurstPhone.dotted);
  for (int i = 0; i < kUdpBurstDatagrams; ++i)
    ASSERT_TRUE(phone.SendTo(loopback::kUdpBurstMonitor.dotted, kDebugPort,
                             Pattern(kUdpBurstDatagramSize, static_cast<uint8_t>(i))));
  ASSERT_TRUE(monitor.inbox().WaitForCount(WM_UDP_DATA, kUdpBurstDatagrams, 60s));
  auto got = monitor.inbox().Of(WM_UDP_DATA);
  EXPECT_EQ(got.front().bytes, Pattern(kUdpBurstDatagramSize, 0));
  EXPECT_EQ(got.back().bytes, Pattern(kUdpBurstDatagramSize, static_cast<uint8_t>(kUdpBurstDatagrams - 1)));
}

TEST(UdpSocket, AThreadThatDoesNotStopInTimeIsGivenUpAndItsSocketClosed) {
  ScopedHostNameLookup host(HostIs(loopback::kUdpStuckHost.dotted));
  LogWatch log;
  Census before;
  {
    test::ScaledTiming fast(0.01);                 // the 3000 ms limit is 30 ms here
    log.Hold("UDP IO thread starting\n", 1000ms);  // the thread is stuck for a second
    Monitor monitor({loopback::kUdpStuck.dotted});
    ASSERT_TRUE(log.Holding().Wait(10000));
    ASSERT_TRUE(monitor.owner().Run([](OwnerWindow<CUdpSocket>& w) { w.transport.Leave(); }));
    // The port is free again at once, even for a socket that does not share it.
    UdpPeer next(loopback::kUdpStuck.dotted, kDebugPort, false);
    EXPECT_TRUE(next.IsBound());
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"UDP IO thread starting\n", "UDP IO thread shutting down\n"}));
}

}  // namespace
}  // namespace quill
