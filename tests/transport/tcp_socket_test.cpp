// CTcpSocket against loopback peers, owned by a window on a real window-owning thread that drives it as the
// network link does: Call on create, OnConnect for its own socket (Close on 0), Close on WM_SOCKET_CLOSED
// for its own socket, Hangup on destroy.
#include "transport/tcp_socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "platform/timing.h"
#include "sim/tcp_loader.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/transport_harness.h"
#include "transport/winsock.h"

namespace quill {
namespace {

using namespace test;

struct LinkOptions {
  const char* peer;
  int port = 0;
  std::optional<int> replyError;  // stands in for the error the connect completion carries
};

// The network link's window, reduced to what the transport needs.
class Link {
 public:
  explicit Link(const char* peer, int port = 0, std::optional<int> replyError = std::nullopt)
      : options_{peer, port, replyError}, owner_([this](OwnerWindow<CTcpSocket>& w) {
          w.onCreate = [this](OwnerWindow<CTcpSocket>& w) {
            called_ = w.transport.Call(Ip(options_.peer), w.GetSafeHwnd(), options_.port);
            return true;
          };
          w.onMessage = [this](OwnerWindow<CTcpSocket>& w, Message& m) { OnMessage(w, m); };
          w.onDestroy = [](OwnerWindow<CTcpSocket>& w) { w.transport.Hangup(); };
        }) {}

  Owner<CTcpSocket>& owner() { return owner_; }
  Inbox& inbox() { return inbox_; }
  bool called() const { return called_; }
  // What OnConnect returned, once the connect reply has been handled.
  std::optional<uint32_t> WaitForConnect() {
    if (!inbox_.WaitForCount(WM_SOCKET_CONNECT, 1)) return std::nullopt;
    return connectResult_.load();
  }
  int Socket() {
    int s = -1;
    owner_.Run([&](OwnerWindow<CTcpSocket>& w) { s = w.transport.GetSocket(); });
    return s;
  }

 private:
  void OnMessage(OwnerWindow<CTcpSocket>& w, Message& m) {
    bool own = static_cast<int>(m.wParam) == w.transport.GetSocket();
    if (m.message == WM_SOCKET_CONNECT && own) {
      LPARAM reply = m.lParam;
      if (options_.replyError) reply = WSAMAKESELECTREPLY(FD_CONNECT, *options_.replyError);
      uint32_t peer = w.transport.OnConnect(reply);
      connectResult_ = peer;
      if (peer == 0) w.transport.Close();
    } else if (m.message == WM_SOCKET_CLOSED && own) {
      w.transport.Close();
    }
    inbox_.Add(m);
  }

  LinkOptions options_;
  Inbox inbox_;
  std::atomic<bool> called_{false};
  std::atomic<uint32_t> connectResult_{0};
  Owner<CTcpSocket> owner_;  // last: its thread stops before the rest goes
};

CTcpSocket& TransportOf(Link& link) {
  CTcpSocket* transport = nullptr;
  link.owner().Run([&](OwnerWindow<CTcpSocket>& w) { transport = &w.transport; });
  return *transport;
}

// Writes count blocks from the test's own thread (Write may come from any thread); returns what went out.
std::vector<uint8_t> WriteBlocks(CTcpSocket& transport, size_t count, size_t size, uint8_t seed) {
  std::vector<uint8_t> all;
  for (size_t i = 0; i < count; ++i) {
    auto block = Pattern(size, static_cast<uint8_t>(seed + i));
    EXPECT_TRUE(transport.Write(block.data(), block.size()));
    all.insert(all.end(), block.begin(), block.end());
  }
  return all;
}

TEST(TcpSocket, PortZeroReachesTheLoaderPortAndBlocksFlowBothWaysUntilHangup) {
  LogWatch log;
  Census before;
  {
    TcpPeer phone(loopback::kTcpSocketLoader.dotted, kLoaderPort);
    ASSERT_TRUE(phone.IsListening());
    Link link(loopback::kTcpSocketLoader.dotted);
    ASSERT_TRUE(phone.Accept());
    ASSERT_EQ(link.WaitForConnect(), loopback::kTcpSocketLoader.Network());
    EXPECT_TRUE(link.called());
    int socket = link.Socket();
    auto connect = link.inbox().Of(WM_SOCKET_CONNECT).at(0);
    EXPECT_EQ(connect.wParam, static_cast<WPARAM>(socket));
    EXPECT_EQ(WSAGETSELECTEVENT(connect.lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(connect.lParam), 0);

    // Out: one block per Write, from the owner's thread or any other; the largest block is 180 bytes.
    auto sent = Pattern(128, 1);
    bool queued = false;
    link.owner().Run(
        [&](OwnerWindow<CTcpSocket>& w) { queued = w.transport.Write(sent.data(), sent.size()); });
    EXPECT_TRUE(queued);
    auto more = WriteBlocks(TransportOf(link), 1, kTcpBlockSize, 9);
    sent.insert(sent.end(), more.begin(), more.end());
    EXPECT_EQ(phone.Receive(sent.size()), sent);

    // In: whatever the peer sends arrives in blocks of at most 179 bytes, each with room for a terminator.
    auto answer = Pattern(1000, 3);
    ASSERT_TRUE(phone.Send(answer));
    ASSERT_TRUE(link.inbox().WaitForBytes(WM_SOCKET_DATA, answer.size()));
    EXPECT_EQ(link.inbox().Joined(WM_SOCKET_DATA), answer);
    for (auto& r : link.inbox().Of(WM_SOCKET_DATA)) {
      EXPECT_GT(r.bytes.size(), 0u);
      EXPECT_LE(r.bytes.size(), kTcpReceiveSize);
      EXPECT_EQ(r.capacity, kTcpBlockSize);
      EXPECT_TRUE(r.lParamIsBlock);
      EXPECT_EQ(r.wParam, static_cast<WPARAM>(socket));
    }

    link.owner().Run([](OwnerWindow<CTcpSocket>& w) { w.transport.Hangup(); });
    ASSERT_TRUE(link.inbox().WaitForCount(WM_SOCKET_CLOSED, 1));
    auto closed = link.inbox().Of(WM_SOCKET_CLOSED).at(0);
    EXPECT_EQ(closed.wParam, static_cast<WPARAM>(socket));
    EXPECT_EQ(static_cast<uint32_t>(closed.lParam), loopback::kTcpSocketLoader.Network());
    EXPECT_TRUE(phone.SeesEnd());
    EXPECT_EQ(link.Socket(), -1);  // the owner closed it on WM_SOCKET_CLOSED
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Calling " + loopback::kTcpSocketLoader + "\n",
                                                   loopback::kTcpSocketLoader + " joined the meeting\n",
                                                   "Hangup by myself\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(TcpSocket, ARefusedConnectIsReportedByTheOwnerAndLeavesTheObjectIdle) {
  LogWatch log;
  Census before;
  {
    Link link(loopback::kTcpSocketRefused.dotted, 8739);  // nobody listens there
    ASSERT_EQ(link.WaitForConnect(), 0u);
    auto connect = link.inbox().Of(WM_SOCKET_CONNECT).at(0);
    EXPECT_EQ(WSAGETSELECTEVENT(connect.lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(connect.lParam), WSAECONNREFUSED);
    EXPECT_EQ(link.Socket(), -1);
    bool queued = true;
    uint8_t byte = 1;
    link.owner().Run([&](OwnerWindow<CTcpSocket>& w) { queued = w.transport.Write(&byte, 1); });
    EXPECT_FALSE(queued);
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Calling " + loopback::kTcpSocketRefused + "\n",
                                                   loopback::kTcpSocketRefused + " 处没有应用程序应答\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(TcpSocket, EveryOtherConnectFailureSaysThePhoneIsNotOnTheNetwork) {
  // Loopback cannot produce these; the reply the owner hands to OnConnect carries them instead.
  for (int error : {WSAETIMEDOUT, WSAEHOSTUNREACH, WSAENETUNREACH, WSAECONNRESET}) {
    SCOPED_TRACE(error);
    LogWatch log;
    Census before;
    {
      TcpPeer phone(loopback::kTcpSocketNotOnNetwork.dotted, 8740);
      Link link(loopback::kTcpSocketNotOnNetwork.dotted, 8740, error);
      ASSERT_EQ(link.WaitForConnect(), 0u);
      EXPECT_EQ(link.Socket(), -1);
    }
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Calling " + loopback::kTcpSocketNotOnNetwork + "\n",
                                                     loopback::kTcpSocketNotOnNetwork + " 没有在网络上\n"}));
    EXPECT_TRUE(before.Back()) << before.Describe();
  }
}

TEST(TcpSocket, WriteRefusesBeforeAnyCallAndBeyondTheBlockSize) {
  LogWatch log;
  CTcpSocket idle;
  uint8_t bytes[200] = {};
  EXPECT_FALSE(idle.Write(bytes, 1));
  EXPECT_EQ(idle.GetSocket(), -1);
  idle.Hangup();  // harmless without a connection
  idle.Close();
  idle.Close();
  EXPECT_TRUE(log.Lines().empty());

  TcpPeer phone(loopback::kTcpSocketWrite.dotted, kLoaderPort);
  Link link(loopback::kTcpSocketWrite.dotted);
  ASSERT_TRUE(phone.Accept());
  ASSERT_EQ(link.WaitForConnect(), loopback::kTcpSocketWrite.Network());
  auto big = Pattern(kTcpBlockSize + 1, 5);
  bool queued = true;
  link.owner().Run([&](OwnerWindow<CTcpSocket>& w) { queued = w.transport.Write(big.data(), big.size()); });
  EXPECT_FALSE(queued);
  EXPECT_EQ(log.Count("Block longer than 180 bytes refused in CTcpSocket::Write\n"), 1u);
  // Nothing of the refused block went out: the next block is the first the peer sees.
  auto next = WriteBlocks(TransportOf(link), 1, 4, 7);
  EXPECT_EQ(phone.Receive(next.size() + 1, 500ms), next);
}

TEST(TcpSocket, BlocksQueuedWhileThePeerDoesNotReadAllArriveInOrderOnceItReads) {
  LogWatch log;
  Census before;
  {
    TcpPeer phone(loopback::kTcpSocketQueued.dotted, kLoaderPort, 4, 4096);
    Link link(loopback::kTcpSocketQueued.dotted);
    ASSERT_TRUE(phone.Accept());
    ASSERT_EQ(link.WaitForConnect(), loopback::kTcpSocketQueued.Network());
    // Small buffers on both ends: most of what follows waits in the queue, and sends come back short.
    int sendBuffer = 4096;
    ASSERT_EQ(::setsockopt(link.Socket(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer), 0);
    auto sent = WriteBlocks(TransportOf(link), 3000, 128, 0);
    EXPECT_EQ(phone.Receive(sent.size(), 30s), sent);
    link.owner().Run([](OwnerWindow<CTcpSocket>& w) { w.transport.Hangup(); });
    ASSERT_TRUE(link.inbox().WaitForCount(WM_SOCKET_CLOSED, 1));
  }
  for (auto& line : log.Lines())
    EXPECT_TRUE(line == "Calling " + loopback::kTcpSocketQueued + "\n" ||
                line == loopback::kTcpSocketQueued + " joined the meeting\n" ||
                line == "Not all data sent out in CTcpSocket::HandleOutputEvent()!\n" ||
                line == "Hangup by myself\n")
        << line;
  EXPECT_TRUE(before.Back()) << before.Describe();
}

// A connection that takes at most 50 bytes per send, as a busy one does.
class ShortSendingSocket : public CTcpSocket {
 public:
  ShortSendingSocket() {
    SetSendCall([](int fd, const void* data, size_t length, int flags) {
      return ::send(fd, data, std::min<size_t>(length, 50), flags);
    });
  }
};

TEST(TcpSocket, TheRestOfAShortSendGoesOutNextAndNothingIsLost) {
  LogWatch log;
  Census before;
  {
    TcpPeer phone(loopback::kTcpSocketShortSend.dotted, kLoaderPort);
    Inbox inbox;
    Owner<ShortSendingSocket> owner([&](OwnerWindow<ShortSendingSocket>& w) {
      w.onCreate = [](OwnerWindow<ShortSendingSocket>& w) {
        return w.transport.Call(loopback::kTcpSocketShortSend.Network(), w.GetSafeHwnd());
      };
      w.onMessage = [&](OwnerWindow<ShortSendingSocket>& w, Message& m) {
        if (m.message == WM_SOCKET_CONNECT) w.transport.OnConnect(m.lParam);
        inbox.Add(m);
      };
    });
    ASSERT_TRUE(phone.Accept());
    ASSERT_TRUE(inbox.WaitForCount(WM_SOCKET_CONNECT, 1));
    CTcpSocket* transport = nullptr;
    owner.Run([&](OwnerWindow<ShortSendingSocket>& w) { transport = &w.transport; });
    auto sent = WriteBlocks(*transport, 10, 128, 40);  // each goes out as 50 + 50 + 28 bytes
    EXPECT_EQ(phone.Receive(sent.size()), sent);
  }
  EXPECT_EQ(log.Count("Not all data sent out in CTcpSocket::HandleOutputEvent()!\n"), 20u);
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(TcpSocket, ThePeerClosingEndsTheThreadAndOnlyAResetIsLogged) {
  struct Row {
    bool reset;
    std::vector<std::string> lines;
  };
  for (const Row& row :
       {Row{false,
            {"Calling " + loopback::kTcpSocketPeerCloses + "\n",
             loopback::kTcpSocketPeerCloses + " joined the meeting\n"}},
        Row{true,
            {"Calling " + loopback::kTcpSocketPeerCloses + "\n",
             loopback::kTcpSocketPeerCloses + " joined the meeting\n", "Socket aborted\n"}}}) {
    SCOPED_TRACE(row.reset ? "reset" : "orderly");
    LogWatch log;
    Census before;
    {
      TcpPeer phone(loopback::kTcpSocketPeerCloses.dotted, kLoaderPort);
      Link link(loopback::kTcpSocketPeerCloses.dotted);
      ASSERT_TRUE(phone.Accept());
      ASSERT_EQ(link.WaitForConnect(), loopback::kTcpSocketPeerCloses.Network());
      if (!row.reset) {
        // What the phone sent before its orderly end is delivered before the end.
        ASSERT_TRUE(phone.Send(Text("bye")));
        ASSERT_TRUE(link.inbox().WaitForCount(WM_SOCKET_DATA, 1));
      }
      phone.Close(row.reset);
      ASSERT_TRUE(link.inbox().WaitForCount(WM_SOCKET_CLOSED, 1));
      auto all = link.inbox().All();
      EXPECT_EQ(all.back().message, WM_SOCKET_CLOSED);
      EXPECT_EQ(static_cast<uint32_t>(all.back().lParam), loopback::kTcpSocketPeerCloses.Network());
      if (!row.reset) {
        EXPECT_EQ(link.inbox().Joined(WM_SOCKET_DATA), Text("bye"));
      }
      EXPECT_EQ(link.Socket(), -1);
    }
    EXPECT_EQ(log.Lines(), row.lines);
    EXPECT_TRUE(before.Back()) << before.Describe();
  }
}

TEST(TcpSocket, AHangupOrCloseDuringTheConnectEndsItAtOnce) {
  LogWatch log;
  Census before;
  {
    // A listener whose accept queue is full drops further connection requests: the connect stays pending.
    TcpPeer phone(loopback::kTcpSocketConnectEnds.dotted, kLoaderPort, 0);
    ASSERT_TRUE(phone.IsListening());
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kLoaderPort);
    a.sin_addr.s_addr = loopback::kTcpSocketConnectEnds.Network();
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    for (bool hangupFirst : {true, false}) {
      Link link(loopback::kTcpSocketConnectEnds.dotted);
      ASSERT_TRUE(link.owner().Run([&](OwnerWindow<CTcpSocket>& w) {
        if (hangupFirst) w.transport.Hangup();
        w.transport.Close();
      }));
      EXPECT_EQ(link.Socket(), -1);
      EXPECT_TRUE(link.inbox().All().empty());  // no reply once the call is given up
    }
    ::close(filler);
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Calling " + loopback::kTcpSocketConnectEnds + "\n",
                                                   "Calling " + loopback::kTcpSocketConnectEnds + "\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(TcpSocket, AnIoThreadThatDoesNotEndInTimeIsGivenUpSafely) {
  LogWatch log;
  Census before;
  {
    test::ScaledTiming fast(0.01);  // the 3000 ms limit is 30 ms here
    TcpPeer phone(loopback::kTcpSocketIoThreadStuck.dotted, kLoaderPort);
    Link link(loopback::kTcpSocketIoThreadStuck.dotted);
    ASSERT_TRUE(phone.Accept());
    ASSERT_EQ(link.WaitForConnect(), loopback::kTcpSocketIoThreadStuck.Network());
    log.Hold("Hangup by myself\n", 1000ms);  // the I/O thread is stuck for a second after the hang-up
    ASSERT_TRUE(link.owner().Run([](OwnerWindow<CTcpSocket>& w) {
      w.transport.Hangup();
      w.transport.Close();
    }));
    EXPECT_TRUE(log.Holding().Wait(0));
    EXPECT_EQ(link.Socket(), -1);
    // The socket was released although the given-up thread still holds its number.
    EXPECT_TRUE(phone.SeesEnd());
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Calling " + loopback::kTcpSocketIoThreadStuck + "\n",
                                      loopback::kTcpSocketIoThreadStuck + " joined the meeting\n",
                                      "Hangup by myself\n"}));
}

// The races at the socket, made certain: the phone (the simulator) resets the connection as soon as it
// accepts it, or sends its answer and the reset in one turn, while the tool's side is kept from looking
// until both are there. What the phone sent comes first, then the end; a connection that was made is never
// a failed connect.
sim::TcpLoader* g_resettingPhone = nullptr;

// The I/O thread's send, which then waits until the phone has answered and reset the connection, so that
// the thread's next look finds the answer and the reset together.
class SendThenAwaitResetSocket : public CTcpSocket {
 public:
  SendThenAwaitResetSocket() {
    SetSendCall([](int fd, const void* data, size_t length, int flags) {
      ssize_t n = ::send(fd, data, length, flags);
      g_resettingPhone->WaitForClosedConnections(1, 10s);
      return n;
    });
  }
};

std::unique_ptr<sim::TcpLoader> ResettingPhone(const char* address, int resetAfterAnswers) {
  auto phone = std::make_unique<sim::TcpLoader>(sim::TcpLoader::Config{address});
  sim::TcpFaults faults;
  faults.resetAfterAnswers = resetAfterAnswers;
  phone->SetFaults(faults);
  return phone->Start() ? std::move(phone) : nullptr;
}

TEST(TcpSocketRaces, AnAnswerSentWithAResetIsDeliveredBeforeTheEnd) {
  LogWatch log;
  Census before;
  {
    auto phone = ResettingPhone(loopback::kTcpSocketAnswerWithReset.dotted, 1);
    ASSERT_NE(phone, nullptr);
    g_resettingPhone = phone.get();
    Inbox inbox;
    Owner<SendThenAwaitResetSocket> owner([&](OwnerWindow<SendThenAwaitResetSocket>& w) {
      w.onCreate = [](OwnerWindow<SendThenAwaitResetSocket>& w) {
        return w.transport.Call(loopback::kTcpSocketAnswerWithReset.Network(), w.GetSafeHwnd());
      };
      w.onMessage = [&](OwnerWindow<SendThenAwaitResetSocket>& w, Message& m) {
        const bool own = static_cast<int>(m.wParam) == w.transport.GetSocket();
        if (m.message == WM_SOCKET_CONNECT && own && w.transport.OnConnect(m.lParam) == 0)
          w.transport.Close();
        if (m.message == WM_SOCKET_CLOSED && own) w.transport.Close();
        inbox.Add(m);
      };
      w.onDestroy = [](OwnerWindow<SendThenAwaitResetSocket>& w) { w.transport.Hangup(); };
    });
    ASSERT_TRUE(inbox.WaitForCount(WM_SOCKET_CONNECT, 1));
    ASSERT_TRUE(owner.Run([](OwnerWindow<SendThenAwaitResetSocket>& w) {
      const uint8_t command = sim::kCmdSettings;
      EXPECT_TRUE(w.transport.Write(&command, 1));
    }));
    ASSERT_TRUE(inbox.WaitForCount(WM_SOCKET_CLOSED, 1));
    std::vector<uint32_t> order;
    for (const Received& r : inbox.All()) order.push_back(r.message);
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_SOCKET_CONNECT, WM_SOCKET_DATA, WM_SOCKET_CLOSED}));
    EXPECT_EQ(inbox.Joined(WM_SOCKET_DATA), std::vector<uint8_t>{sim::kLoaderAck});
    owner.Stop();
    g_resettingPhone = nullptr;
  }
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Calling " + loopback::kTcpSocketAnswerWithReset + "\n",
                                      loopback::kTcpSocketAnswerWithReset + " joined the meeting\n",
                                      "Socket aborted\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(TcpSocketRaces, AConnectionAcceptedAndResetAtOnceJoinedAndWasAborted) {
  LogWatch log;
  Census before;
  {
    auto phone = ResettingPhone(loopback::kTcpSocketAcceptedAndReset.dotted, 0);
    ASSERT_NE(phone, nullptr);
    // The owner's thread stops in its "Calling" line, before the connect is watched, until the phone has
    // accepted and reset the connection.
    log.Hold("Calling " + loopback::kTcpSocketAcceptedAndReset + "\n", 10s);
    std::thread phoneFirst([&] {
      log.Holding().Wait(10000);
      phone->WaitForClosedConnections(1, 10s);
      log.Release();
    });
    Link link(loopback::kTcpSocketAcceptedAndReset.dotted);
    phoneFirst.join();
    ASSERT_EQ(phone->ClosedConnections(), 1);
    EXPECT_EQ(link.WaitForConnect(), loopback::kTcpSocketAcceptedAndReset.Network());
    ASSERT_TRUE(link.inbox().WaitForCount(WM_SOCKET_CLOSED, 1));
    EXPECT_EQ(link.inbox().All().size(), 2u);  // the connect, then the end; no data
  }
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Calling " + loopback::kTcpSocketAcceptedAndReset + "\n",
                                      loopback::kTcpSocketAcceptedAndReset + " joined the meeting\n",
                                      "Socket aborted\n"}));
  EXPECT_TRUE(before.Back()) << before.Describe();
}

TEST(WinSockErrors, ErrnoValuesMapToTheirWinSockCodes) {
  struct Row {
    int err;
    int wsa;
  };
  for (const Row& row :
       {Row{0, 0}, Row{ECONNREFUSED, WSAECONNREFUSED}, Row{ETIMEDOUT, WSAETIMEDOUT},
        Row{EHOSTUNREACH, WSAEHOSTUNREACH}, Row{ENETUNREACH, WSAENETUNREACH}, Row{ENETDOWN, WSAENETDOWN},
        Row{ECONNRESET, WSAECONNRESET}, Row{EAGAIN, WSAEWOULDBLOCK}, Row{EINPROGRESS, WSAEWOULDBLOCK},
        Row{EADDRINUSE, WSAEADDRINUSE}, Row{ENOTSOCK, 10000 + ENOTSOCK}}) {
    EXPECT_EQ(WinSockErrorFromErrno(row.err), row.wsa) << row.err;
  }
  LPARAM reply = WSAMAKESELECTREPLY(FD_CONNECT, WSAECONNREFUSED);
  EXPECT_EQ(reply, 0x274D0010);
  EXPECT_EQ(WSAGETSELECTEVENT(reply), FD_CONNECT);
  EXPECT_EQ(WSAGETSELECTERROR(reply), WSAECONNREFUSED);
}

}  // namespace
}  // namespace quill
