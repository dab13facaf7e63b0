// The transports' speed on loopback: the round trip of one maintenance block over CTcpSocket (a 128-byte
// block out, the phone's one-byte answer back), which bounds how fast a flash page goes out, and how fast
// CUdpSocket delivers a burst of debug datagrams to its owner.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_thread.h"
#include "tests/support/loopback.h"
#include "transport/data_block.h"
#include "transport/tcp_socket.h"
#include "transport/udp_socket.h"

namespace quill {
namespace {

// A window-owning thread whose window holds transport T and hands its messages to handle.
template <class T>
class BenchOwner : public WindowThread {
 public:
  struct Win : Window {
    T transport;
    std::function<bool(Win&)> create;
    std::function<void(Win&, Message&)> handle;
    ~Win() override { DestroyWindow(); }
    bool OnCreate() override { return create(*this); }
    void OnMessage(Message& m) override { handle(*this, m); }
  };
  BenchOwner(Event* ended, Event* ready, std::function<bool(Win&)> create,
             std::function<void(Win&, Message&)> handle)
      : WindowThread(ended), ready_(ready) {
    window_.create = std::move(create);
    window_.handle = std::move(handle);
  }
  bool InitInstance() override {
    if (!window_.Create()) return false;
    SetMainWindow(&window_);
    ready_->Set();
    return true;
  }

 private:
  Win window_;
  Event* ready_;
};

sockaddr_in Address(const char* dotted, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = ::inet_addr(dotted);
  return a;
}

void BM_TcpBlockRoundTrip(benchmark::State& state) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = Address(loopback::kBenchTcp.dotted, kLoaderPort);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0) {
    state.SkipWithError(("cannot listen on " + loopback::kBenchTcp).c_str());
    ::close(listener);
    return;
  }
  // The phone: answers every 128-byte block with 0xFF until the connection ends.
  std::thread phone([listener] {
    int c = ::accept(listener, nullptr, nullptr);
    uint8_t block[128];
    size_t have = 0;
    for (;;) {
      ssize_t n = ::recv(c, block + have, sizeof block - have, 0);
      if (n <= 0) break;
      have += static_cast<size_t>(n);
      if (have < sizeof block) continue;
      have = 0;
      uint8_t ack = 0xFF;
      if (::send(c, &ack, 1, MSG_NOSIGNAL) != 1) break;
    }
    ::close(c);
  });

  Event ended, ready(Event::Kind::ManualReset), connected(Event::Kind::ManualReset), answered;
  std::atomic<CTcpSocket*> socket{nullptr};
  using Owner = BenchOwner<CTcpSocket>;
  std::optional<ThreadHandle> held;
  StartWindowThreadOnce<Owner>(
      held, &ended, &ready,
      [](Owner::Win& w) { return w.transport.Call(loopback::kBenchTcp.Network(), w.GetSafeHwnd()); },
      [&](Owner::Win& w, Message& m) {
        if (m.message == WM_SOCKET_CONNECT && w.transport.OnConnect(m.lParam) != 0) {
          socket = &w.transport;
          connected.Set();
        } else if (m.message == WM_SOCKET_DATA) {
          answered.Set();
        }
      });
  if (!ready.Wait(5000) || !connected.Wait(5000)) {
    state.SkipWithError("no connection");
  } else {
    std::vector<uint8_t> block(128, 0x5A);
    for (auto _ : state) {
      socket.load()->Write(block.data(), block.size());
      if (!answered.Wait(5000)) {
        state.SkipWithError("no answer");
        break;
      }
    }
  }
  StopWindowThread(held, ended);
  phone.join();
  ::close(listener);
}
BENCHMARK(BM_TcpBlockRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_UdpBurstDelivery(benchmark::State& state) {
  const int burst = static_cast<int>(state.range(0));
  Event ended, ready(Event::Kind::ManualReset), all;
  std::atomic<int> delivered{0};
  std::atomic<int> wanted{burst};
  using Owner = BenchOwner<CUdpSocket>;
  std::optional<ThreadHandle> held;
  StartWindowThreadOnce<Owner>(
      held, &ended, &ready,
      [](Owner::Win& w) {
        return w.transport.Enter(w.GetSafeHwnd(), WM_UDP_DATA, 0, 8225, kUdpBurstDatagramSize,
                                 loopback::kBenchUdpMonitor.Network());
      },
      [&](Owner::Win&, Message& m) {
        m.Take<DataBlock>();
        if (++delivered == wanted) all.Set();
      });
  int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in from = Address(loopback::kBenchUdpSender.dotted, 0);
  const bool bound = ::bind(sender, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
  sockaddr_in to = Address(loopback::kBenchUdpMonitor.dotted, 8225);
  std::vector<uint8_t> datagram(kUdpBurstDatagramSize, 'x');
  // The listener is ready once a probe datagram comes through.
  wanted = 1;
  bool up = false;
  for (int i = 0; i < 100 && bound && !up; ++i) {
    ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    up = all.Wait(50);
  }
  if (!bound)
    state.SkipWithError(
        ("cannot bind the sender to " + std::string(loopback::kBenchUdpSender.dotted)).c_str());
  else if (!ready.Wait(0) || !up)
    state.SkipWithError("listener did not come up");
  for (auto _ : state) {
    if (!up) break;
    state.PauseTiming();
    all.Reset();
    delivered = 0;
    wanted = burst;
    state.ResumeTiming();
    for (int i = 0; i < burst; ++i)
      ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (!all.Wait(30000)) {
      state.SkipWithError("datagrams lost");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * burst);
  ::close(sender);
  StopWindowThread(held, ended);
}
BENCHMARK(BM_UdpBurstDelivery)->Arg(kUdpBurstDatagrams)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quill

BENCHMARK_MAIN();
