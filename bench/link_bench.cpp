// The maintenance link against the phone simulator, each beside the floor its transport sets on this
// machine, measured in the same run:
// - SendImage of one 64 KiB flash page over loopback TCP, per 128-byte block, against a raw TCP ping-pong of
//   a 128-byte block and a one-byte answer between two plain sockets (512 rounds, a page's worth);
// - one serial chunk (0x08 and eight data bytes, a run of eight back) through the serial link on a
//   pseudo-terminal, against a raw exchange of the same nine bytes, one per write, and eight back.
// Every figure is a round trip between two threads: run pinned to one core (taskset -c 0), where a wake-up
// is a context switch and not an inter-processor interrupt, or the numbers swing by an order of magnitude.
//
// The counter us_per_round (per block, or per chunk) is the figure; bench/run divides tool by floor.
// cs_per_round counts the context switches of every thread of this process (the simulator's included, the
// kernel's workers not) over the timed iterations, per round: the hand-offs a round costs.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link/maintenance_link.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "sim/unique_fd.h"
#include "tests/support/loopback.h"
#include "tests/support/silent_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using sim::UniqueFd;

// This benchmark's own loopback addresses: the simulator's loader listens on the fixed port 8739.
constexpr const char* kPhoneAddress = loopback::kBenchLinkPhone.dotted;
constexpr uint32_t kPhoneAddressValue = loopback::kBenchLinkPhone.value;  // as the store keeps it
constexpr const char* kRawAddress = loopback::kBenchLinkRaw.dotted;

constexpr size_t kPage = size_t{64} * 1024;
constexpr size_t kBlock = 128;
constexpr int kBlocksPerPage = static_cast<int>(kPage / kBlock);
constexpr int kChunkData = 8;
constexpr uint8_t kChunkLead = 0x08;
constexpr int kWaitMs = 5000;  // every bounded wait of the raw ends; a healthy round trip takes microseconds

std::vector<uint8_t> PageBytes() {
  std::vector<uint8_t> page(kPage);
  for (size_t i = 0; i < kPage; ++i) page[i] = static_cast<uint8_t>(i * 31 + 7);
  return page;
}

bool ReadFull(int fd, uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) != 1) return false;
    ssize_t r = ::read(fd, out + got, n - got);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

bool WriteFull(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Context switches of all threads of the process so far, voluntary and not (ended threads included).
long ProcessSwitches() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

// Counts the switches of the timed loop: taken before the first iteration and after the last.
class SwitchCount {
 public:
  void Start() { start_ = ProcessSwitches(); }
  void Stop() { total_ = ProcessSwitches() - start_; }
  long Total() const { return total_; }

 private:
  long start_ = 0;
  long total_ = 0;
};

// One counter name for every benchmark here, so that the CSV report has one column for each.
void PerRound(benchmark::State& state, int roundsPerIteration, const SwitchCount& switches) {
  const double rounds = static_cast<double>(state.iterations()) * roundsPerIteration;
  state.counters["us_per_round"] =
      benchmark::Counter(rounds * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["cs_per_round"] = rounds > 0 ? static_cast<double>(switches.Total()) / rounds : 0.0;
}

// --- TCP ---------------------------------------------------------------------------------------------

// The floor: a plain client socket sends 128 bytes and waits for one, a plain server thread answers each
// whole block with 0xFF. Both ends with TCP_NODELAY, as a loopback link sends small segments at once.
void BM_RawTcpPingPong(benchmark::State& state) {
  SwitchCount switches;
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::inet_pton(AF_INET, kRawAddress, &a.sin_addr);
  socklen_t len = sizeof a;
  if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener.Get(), 1) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    state.SkipWithError("cannot listen on the raw address");
    return;
  }
  std::thread server([&] {
    pollfd p{listener.Get(), POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) != 1) return;
    UniqueFd c(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    int one = 1;
    ::setsockopt(c.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t block[kBlock];
    const uint8_t ack = 0xFF;
    while (ReadFull(c.Get(), block, kBlock) && WriteFull(c.Get(), &ack, 1)) {
    }
  });
  UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int one = 1;
  ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(client.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    state.SkipWithError("cannot connect to the raw server");
  } else {
    std::vector<uint8_t> page = PageBytes();
    uint8_t ack = 0;
    switches.Start();
    for (auto _ : state) {
      for (int i = 0; i < kBlocksPerPage; ++i) {
        if (!WriteFull(client.Get(), page.data() + i * kBlock, kBlock) || !ReadFull(client.Get(), &ack, 1)) {
          state.SkipWithError("the raw server did not answer");
          break;
        }
      }
    }
    switches.Stop();
  }
  client.Reset();  // the server sees the end and returns
  server.join();
  PerRound(state, kBlocksPerPage, switches);
}
BENCHMARK(BM_RawTcpPingPong)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The same raw client against the simulator's loader instead of the plain server: what the phone's side
// adds, so that the tool's own share can be told from it.
void BM_RawTcpToSimulator(benchmark::State& state) {
  SwitchCount switches;
  sim::TcpLoader::Config config;
  config.address = kRawAddress;
  config.port = 0;
  sim::TcpLoader phone(config);
  if (!phone.Start()) {
    state.SkipWithError(("the simulator did not start: " + phone.Error()).c_str());
    return;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(phone.Port());
  ::inet_pton(AF_INET, kRawAddress, &a.sin_addr);
  UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int one = 1;
  ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(client.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    state.SkipWithError("cannot connect to the simulator");
  } else {
    std::vector<uint8_t> page = PageBytes();
    uint8_t ack = 0;
    switches.Start();
    for (auto _ : state) {
      for (int i = 0; i < kBlocksPerPage; ++i) {
        if (!WriteFull(client.Get(), page.data() + i * kBlock, kBlock) || !ReadFull(client.Get(), &ack, 1)) {
          state.SkipWithError("the simulator did not answer");
          break;
        }
      }
      phone.Log().Clear();
    }
    switches.Stop();
  }
  client.Reset();
  phone.Stop();
  PerRound(state, kBlocksPerPage, switches);
}
BENCHMARK(BM_RawTcpToSimulator)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The tool: one SendImage call per iteration, as the flash page update makes it: connect, 512 blocks each
// waited for, stop the link. No page command follows, so the simulated phone does not go away to erase.
void BM_SendImage64KiBPage(benchmark::State& state) {
  SwitchCount switches;
  sim::TcpLoader::Config config;
  config.address = kPhoneAddress;
  sim::TcpLoader phone(config);
  if (!phone.Start()) {
    state.SkipWithError(("the simulator did not start: " + phone.Error()).c_str());
    return;
  }
  test::SilentUi ui;
  CMaintenanceLink link(ui);
  const std::vector<uint8_t> page = PageBytes();
  switches.Start();
  for (auto _ : state) {
    if (!link.SendImage(kPhoneAddressValue, page, kNoCommand, 0xFF)) {
      state.SkipWithError(("SendImage failed: " + ui.LastMessage()).c_str());
      break;
    }
    phone.Log().Clear();
  }
  switches.Stop();
  phone.Stop();
  PerRound(state, kBlocksPerPage, switches);
}
BENCHMARK(BM_SendImage64KiBPage)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// --- Serial line ---------------------------------------------------------------------------------------

// The floor: nine single-byte writes on the slave of a raw pseudo-terminal, a thread on the master that
// answers every nine bytes with eight, and the eight read back.
void BM_RawPtyExchange(benchmark::State& state) {
  SwitchCount switches;
  int masterFd = -1, slaveFd = -1;
  termios raw{};
  ::cfmakeraw(&raw);
  if (::openpty(&masterFd, &slaveFd, nullptr, &raw, nullptr) != 0) {
    state.SkipWithError("openpty failed");
    return;
  }
  UniqueFd master(masterFd), slave(slaveFd);
  std::thread phone([&] {
    uint8_t in[1 + kChunkData];
    const uint8_t answer[kChunkData] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    while (ReadFull(master.Get(), in, sizeof in) &&
           ::write(master.Get(), answer, sizeof answer) == sizeof answer) {
    }
  });
  const uint8_t chunk[1 + kChunkData] = {kChunkLead, 1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t answer[kChunkData];
  switches.Start();
  for (auto _ : state) {
    bool ok = true;
    for (uint8_t byte : chunk) ok = ok && ::write(slave.Get(), &byte, 1) == 1;
    if (!ok || !ReadFull(slave.Get(), answer, sizeof answer)) {
      state.SkipWithError("the raw exchange failed");
      break;
    }
  }
  switches.Stop();
  slave.Reset();  // the master reads a hang-up and the thread returns
  phone.join();
  PerRound(state, 1, switches);
}
BENCHMARK(BM_RawPtyExchange)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The same raw exchange against the simulator's serial loader: an SDRAM load started, then nine
// single-byte writes and the run of eight read back.
void BM_RawPtyToSimulator(benchmark::State& state) {
  SwitchCount switches;
  sim::SerialLoader phone;
  if (!phone.Start()) {
    state.SkipWithError(("the simulator did not start: " + phone.Error()).c_str());
    return;
  }
  UniqueFd port(::open(phone.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  const uint8_t start[kChunkData] = {};
  uint8_t answer[kChunkData];
  if (!port.IsOpen() || ::write(port.Get(), start, sizeof start) != sizeof start ||
      !ReadFull(port.Get(), answer, sizeof answer)) {
    state.SkipWithError("the SDRAM load did not start");
  } else {
    uint8_t chunk[1 + kChunkData] = {kChunkLead, 1, 2, 3, 4, 5, 6, 7, 8};
    switches.Start();
    for (auto _ : state) {
      bool ok = true;
      for (uint8_t byte : chunk) ok = ok && ::write(port.Get(), &byte, 1) == 1;
      if (!ok || !ReadFull(port.Get(), answer, sizeof answer)) {
        state.SkipWithError("a chunk was not answered");
        break;
      }
      if (phone.Log().Count() > 100000) phone.Log().Clear();
    }
    switches.Stop();
    const uint8_t end = 0xFF;
    if (::write(port.Get(), &end, 1) != 1) state.SkipWithError("the load did not end");
  }
  port.Reset();
  phone.Stop();
  PerRound(state, 1, switches);
}
BENCHMARK(BM_RawPtyToSimulator)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The tool: the serial link opened on the simulator's pseudo-terminal as COM1, an SDRAM load started (eight
// 0x00, answered by eight), then one chunk per iteration as the commands write it (WriteSerialChunk): 0x08
// and eight data bytes, each byte its own write and the rest of the time slice given up after each data
// byte, then the wait for the run of eight that the link's answer rule recognises.
void BM_SerialChunk(benchmark::State& state) {
  SwitchCount switches;
  sim::SerialLoader phone;
  if (!phone.Start()) {
    state.SkipWithError(("the simulator did not start: " + phone.Error()).c_str());
    return;
  }
  if (const StoreResult mapped =
          SettingsStore::Profile().WriteString("Rs232", "COM1Device", phone.SlavePath());
      !mapped) {
    state.SkipWithError(mapped.Message().c_str());
    phone.Stop();
    return;
  }
  test::SilentUi ui;
  {
    CMaintenanceLink link(ui);
    bool ok = link.StartSerialLink("COM1");
    for (int i = 0; ok && i < kChunkData; ++i) ok = link.WriteSerial(0x00);
    if (!ok || !link.WaitSerialAck(2000)) {
      state.SkipWithError("the SDRAM load did not start");
    } else {
      uint8_t data = 0;
      switches.Start();
      for (auto _ : state) {
        bool sent = link.WriteSerial(kChunkLead);
        for (int i = 0; sent && i < kChunkData; ++i) {
          sent = link.WriteSerial(data++);
          Timing::Current().YieldSlice();
        }
        if (!sent || !link.WaitSerialAck(1000)) {
          state.SkipWithError("a chunk was not answered");
          break;
        }
        if (phone.Log().Count() > 100000) phone.Log().Clear();
      }
      switches.Stop();
      link.WriteSerial(0xFF);  // ends the load
    }
    link.StopSerialLink();
  }
  phone.Stop();
  PerRound(state, 1, switches);
}
BENCHMARK(BM_SerialChunk)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

}  // namespace
}  // namespace quill

int main(int argc, char** argv) {
  // A private store: the phone's address and the COM1 device are written there, never into the user's.
  quill::test::UsePrivateStore();
  int rc = 0;
  {
    quill::ScopedProcessEvents events;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
      rc = 1;
    } else {
      benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
  }
  return rc;
}
