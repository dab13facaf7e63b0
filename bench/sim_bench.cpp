// Round trips through the phone simulator from raw client ends: what a transfer costs the phone's side, so
// that the link's own benchmarks can tell their cost from the simulator's.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "sim/unique_fd.h"
#include "tests/support/loopback.h"

namespace {

using quill::sim::UniqueFd;

constexpr const char* kAddress = quill::loopback::kBenchSim.dotted;

UniqueFd ConnectTo(uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, kAddress, &sa.sin_addr);
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return UniqueFd();
  int one = 1;
  ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool ReadAll(int fd, uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
    ssize_t r = ::read(fd, out + got, n - got);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

// One 128-byte block and its 0xFF, as SendImage paces a page.
void BM_TcpBlockRoundTrip(benchmark::State& state) {
  quill::sim::TcpLoader::Config c;
  c.address = kAddress;
  c.port = 0;
  quill::sim::TcpLoader loader(c);
  if (!loader.Start()) {
    state.SkipWithError("loader did not start");
    return;
  }
  UniqueFd fd = ConnectTo(loader.Port());
  std::vector<uint8_t> block(128, 0x5A);
  uint8_t ack = 0;
  for (auto _ : state) {
    if (::send(fd.Get(), block.data(), block.size(), MSG_NOSIGNAL) != 128 || !ReadAll(fd.Get(), &ack, 1)) {
      state.SkipWithError("no answer");
      break;
    }
    // The log would grow by a unit per round; a long run keeps only its count.
    if (loader.Log().Count() > 100000) loader.Log().Clear();
  }
  state.SetBytesProcessed(state.iterations() * 128);
}
BENCHMARK(BM_TcpBlockRoundTrip)->UseRealTime();

// One "sh" and its 128-byte answer, as ReadImage paces a read.
void BM_TcpReadRequestRoundTrip(benchmark::State& state) {
  quill::sim::TcpLoader::Config c;
  c.address = kAddress;
  c.port = 0;
  quill::sim::TcpLoader loader(c);
  if (!loader.Start()) {
    state.SkipWithError("loader did not start");
    return;
  }
  loader.SetSettingsImage(std::vector<uint8_t>(512, 0x11));
  std::vector<uint8_t> answer(128);
  for (auto _ : state) {
    state.PauseTiming();
    UniqueFd fd = ConnectTo(loader.Port());  // a fresh connection every four requests, as the tool makes
    state.ResumeTiming();
    for (int i = 0; i < 4; ++i) {
      if (::send(fd.Get(), "sh", 2, MSG_NOSIGNAL) != 2 || !ReadAll(fd.Get(), answer.data(), answer.size())) {
        state.SkipWithError("no answer");
        return;
      }
    }
    if (loader.Log().Count() > 100000) loader.Log().Clear();
  }
  state.SetBytesProcessed(state.iterations() * 512);
}
BENCHMARK(BM_TcpReadRequestRoundTrip)->UseRealTime();

// One serial chunk (0x08 and eight bytes) and its run of eight over the pseudo-terminal.
void BM_SerialChunkRoundTrip(benchmark::State& state) {
  quill::sim::SerialLoader loader;
  if (!loader.Start()) {
    state.SkipWithError("loader did not start");
    return;
  }
  UniqueFd port(::open(loader.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  std::vector<uint8_t> start(8, 0x00);
  std::vector<uint8_t> answer(8);
  if (::write(port.Get(), start.data(), start.size()) != 8 || !ReadAll(port.Get(), answer.data(), 8)) {
    state.SkipWithError("no start answer");
    return;
  }
  uint8_t chunk[9] = {0x08, 1, 2, 3, 4, 5, 6, 7, 8};
  for (auto _ : state) {
    if (::write(port.Get(), chunk, sizeof chunk) != 9 || !ReadAll(port.Get(), answer.data(), 8)) {
      state.SkipWithError("no answer");
      break;
    }
    if (loader.Log().Count() > 100000) loader.Log().Clear();
  }
  state.SetBytesProcessed(state.iterations() * 8);
  port.Reset();
}
BENCHMARK(BM_SerialChunkRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
