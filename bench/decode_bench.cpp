// Decoder speed on a large generated debug log: the per-line decoder as the monitor and the file
// conversion call it, the block-fed stream decoder that `quilltool decode` runs, and plain text without
// codes, the fastest case.
//
// Whole-process comparison with cat (median of several runs):
//   build/bench/decode_bench --write-log=/tmp/debug.log --size-mb=100
//   for i in 1 2 3 4 5; do /usr/bin/time -f %e cat /tmp/debug.log >/dev/null; done
//   for i in 1 2 3 4 5; do /usr/bin/time -f %e build/quilltool decode /tmp/debug.log >/dev/null; done
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "debugmon/debug_decoder.h"
#include "debugmon/debug_stream_decoder.h"

namespace {

// A log shaped like a phone's: mostly one code and a value per line, some reason codes, hexadecimal values
// that are not codes, capital-X numbers and lines of plain text. Deterministic, so runs compare.
std::string GenerateLog(size_t bytes) {
  std::string log;
  log.reserve(bytes + 256);
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  char line[160];
  while (log.size() < bytes) {
    uint32_t r = next();
    uint32_t code = 0x1000 + next() % 454;
    int n = 0;
    switch (r % 8) {
      case 0:
        n = std::snprintf(line, sizeof line, "0x1085 %u\n", (next() % 9) * 16);
        break;
      case 1:
        n = std::snprintf(line, sizeof line, "rx %u bytes from 0x%08X 0x%04x %u\n", next() % 1500, next(),
                          code, next() % 100);
        break;
      case 2:
        n = std::snprintf(line, sizeof line, "plain status text without any event code, uptime %u s\n",
                          next());
        break;
      case 3:
        n = std::snprintf(line, sizeof line, "0X%04X %u 0x%04X %u\n", code, next() % 10, code, next() % 1000);
        break;
      default:
        n = std::snprintf(line, sizeof line, "0x%04X %u\n", code, next() % 100000);
        break;
    }
    log.append(line, static_cast<size_t>(n));
  }
  return log;
}

const std::string& Log() {
  static const std::string log = GenerateLog(32u << 20);
  return log;
}

std::vector<std::string_view> Lines(const std::string& text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.emplace_back(text.data() + start, nl - start);
  return lines;
}

void BM_DecodeDebugLinePerLine(benchmark::State& state) {
  static const std::vector<std::string_view> lines = Lines(Log());
  std::string out;
  for (auto _ : state) {
    for (std::string_view line : lines) {
      out.clear();
      quill::AppendDecodedDebugLine(line, out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Log().size()));
}
BENCHMARK(BM_DecodeDebugLinePerLine)->Unit(benchmark::kMillisecond);

void BM_DecodeDebugLineIntoBuffer(benchmark::State& state) {
  static const std::vector<std::string_view> lines = Lines(Log());
  std::vector<char> buffer(quill::MaxDecodedSize(4096));
  for (auto _ : state) {
    for (std::string_view line : lines) {
      if (quill::MaxDecodedSize(line.size()) > buffer.size())
        buffer.resize(quill::MaxDecodedSize(line.size()));
      benchmark::DoNotOptimize(quill::DecodeDebugLineInto(line, buffer.data()));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Log().size()));
}
BENCHMARK(BM_DecodeDebugLineIntoBuffer)->Unit(benchmark::kMillisecond);

void BM_DecodeDebugLineReturningString(benchmark::State& state) {
  static const std::vector<std::string_view> lines = Lines(Log());
  for (auto _ : state) {
    for (std::string_view line : lines) benchmark::DoNotOptimize(quill::DecodeDebugLine(line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Log().size()));
}
BENCHMARK(BM_DecodeDebugLineReturningString)->Unit(benchmark::kMillisecond);

void BM_StreamDecoder1MiBBlocks(benchmark::State& state) {
  const std::string& log = Log();
  constexpr size_t kBlock = 1 << 20;
  for (auto _ : state) {
    quill::CDebugStreamDecoder decoder;
    for (size_t i = 0; i < log.size(); i += kBlock)
      benchmark::DoNotOptimize(decoder.Feed(log.data() + i, std::min(kBlock, log.size() - i)).data());
    benchmark::DoNotOptimize(decoder.Finish().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(log.size()));
}
BENCHMARK(BM_StreamDecoder1MiBBlocks)->Unit(benchmark::kMillisecond);

void BM_PlainTextWithoutCodes(benchmark::State& state) {
  static const std::string text = [] {
    std::string t;
    while (t.size() < (8u << 20)) t += "plain status text without any event code, uptime 1234 s\n";
    return t;
  }();
  std::string out;
  for (auto _ : state) {
    out.clear();
    quill::AppendDecodedDebugLine(text, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_PlainTextWithoutCodes)->Unit(benchmark::kMillisecond);

// --write-log=FILE [--size-mb=N] writes the generated log for the whole-process comparison instead of
// running the benchmarks. FILE may be a pipe (/dev/stdout): a log of any size goes out in repeats of one
// 16 MiB piece, so the writer's own memory stays small. A reader that stops early ends it quietly.
int WriteLog(const char* path, size_t megabytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "cannot create %s\n", path);
    return 1;
  }
  const size_t total = megabytes << 20;
  const std::string piece = GenerateLog(std::min<size_t>(total, size_t{16} << 20));
  bool ok = true;
  for (size_t written = 0; ok && written < total; written += piece.size())
    ok = std::fwrite(piece.data(), 1, std::min(piece.size(), total - written), f) ==
         std::min(piece.size(), total - written);
  ok = std::fclose(f) == 0 && ok;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* logPath = nullptr;
  size_t megabytes = 100;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--write-log=", 12) == 0) logPath = argv[i] + 12;
    if (std::strncmp(argv[i], "--size-mb=", 10) == 0) megabytes = std::strtoul(argv[i] + 10, nullptr, 10);
  }
  if (logPath) return WriteLog(logPath, megabytes);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
