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
