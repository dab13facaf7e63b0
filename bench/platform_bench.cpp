// The cost of the thread plumbing every link message goes through: an event handed between two threads,
// and a posted message delivered to a window-owning thread's queue.
#include <benchmark/benchmark.h>

#include <thread>

#include "platform/event.h"
#include "platform/message.h"

namespace {

void BM_EventPingPong(benchmark::State& state) {
  quill::Event ping, pong, stop(quill::Event::Kind::ManualReset);
  std::thread peer([&] {
    for (;;) {
      quill::Waitable items[] = {quill::Waitable(ping), quill::Waitable(stop)};
      if (quill::WaitAny(items, std::chrono::microseconds::max()) != 0) return;
      pong.Set();
    }
  });
  for (auto _ : state) {
    ping.Set();
    pong.Wait(quill::kInfinite);
  }
  stop.Set();
  peer.join();
}
BENCHMARK(BM_EventPingPong)->UseRealTime();

void BM_PostAndGet(benchmark::State& state) {
  quill::MessageQueue q;
  quill::Message m;
  for (auto _ : state) {
    quill::Message out;
    out.message = 0x602;
    q.Post(std::move(out));
    q.Get(m);
  }
}
BENCHMARK(BM_PostAndGet);

}  // namespace

BENCHMARK_MAIN();
