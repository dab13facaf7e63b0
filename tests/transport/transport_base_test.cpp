#include <gtest/gtest.h>

#include <cerrno>

#include "platform/debug_log.h"
#include "transport/output_queue.h"
#include "transport/sync.h"
#include "transport/winsock.h"

namespace quill {
namespace {

TEST(OutputQueue, IsFirstInFirstOutWithPutBackAtTheHead) {
  COutputQueue<int> q;
  CCriticalSection section;
  CSingleLock lock(&section);
  EXPECT_FALSE(lock.IsLocked());
  ASSERT_TRUE(lock.Lock());
  for (int i = 1; i <= 3; ++i) q.PushBack(std::make_unique<int>(i));
  auto first = q.PopFront();
  EXPECT_EQ(*first, 1);
  q.PushFront(std::move(first));  // a send that would block puts its block back: order is kept
  std::vector<int> order;
  while (auto item = q.PopFront()) order.push_back(*item);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(q.IsEmpty());
  lock.Unlock();
  EXPECT_FALSE(lock.IsLocked());
}

TEST(WinSock, StartsWhenATcpStreamSocketCanBeMade) {
  DebugLogCapture log;
  EXPECT_TRUE(InitWinSock2());
  FreeWinSock2();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"WinSock2 Init\n", "WinSock2 Free\n"}));
}

TEST(WinSock, FailsAndReleasesWhenNoTcpProtocolIsThere) {
  DebugLogCapture log;
  EXPECT_FALSE(InitWinSock2([] { return EAFNOSUPPORT; }));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"WinSock2 Free\n"}));
  log.Clear();
  EXPECT_FALSE(InitWinSock2([] { return EMFILE; }));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"WSAEnumProtocols failed\n", "WinSock2 Free\n"}));
}

}  // namespace
}  // namespace quill

#include "tests/support/loopback.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

TEST(ParseNumber, ReadsHexAfter0xAndDecimalOtherwise) {
  EXPECT_EQ(ParseNumber("0x1F"), 0x1F);
  EXPECT_EQ(ParseNumber("0x1f"), 0x1F);
  EXPECT_EQ(ParseNumber("31"), 31);
  EXPECT_EQ(ParseNumber("-5"), -5);
  EXPECT_EQ(ParseNumber("xyz"), kParseNumberFailed);
  EXPECT_EQ(ParseNumber(""), kParseNumberFailed);
  EXPECT_EQ(ParseNumber("0x1018 3"), 0x1018);
  EXPECT_EQ(ParseNumber("0xzz"), kParseNumberFailed);
  // "0x" anywhere selects the hexadecimal scan, which must match from the start.
  EXPECT_EQ(ParseNumber("a0x12"), kParseNumberFailed);
  EXPECT_EQ(ParseNumber("0X10"), 0x10);  // lower-cased first
}

TEST(ResolveHost, DottedFirstThenNamesElseAllOnes) {
  // Names come from a table: no test ever asks a name server.
  ScopedHostNameLookup table([](const std::string& name) -> std::optional<uint32_t> {
    if (name == "phone.lan") return HostToNetworkAddress(loopback::kTransportBasePhoneLan.value);
    return std::nullopt;
  });
  EXPECT_EQ(NetworkToHostAddress(ResolveHost("192.168.0.20")), 0xC0A80014u);
  EXPECT_EQ(NetworkToHostAddress(ResolveHost("phone.lan")), loopback::kTransportBasePhoneLan.value);
  EXPECT_EQ(ResolveHost("no-such-host"), kResolveFailed);
  EXPECT_EQ(ResolveHost(""), kResolveFailed);
  EXPECT_EQ(AddressToString(HostToNetworkAddress(loopback::kOnlyInText.value)), loopback::kOnlyInText.dotted);
}

}  // namespace
}  // namespace quill
