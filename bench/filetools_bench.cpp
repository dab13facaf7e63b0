// Speed of the firmware file tools: the HEX loader in process, and whole command-line runs against the
// programs firmware developers would otherwise use (objcopy for HEX to binary, xxd -i for binary to C) on
// the same data: 64 KiB, 640 000 B and 16 MiB. With --peak-memory it measures the peak memory of one
// whole process instead (bench/run's memory rows). quilltool reads one HEX file per 64 KiB page, objcopy one
// HEX file with extended-address records; both write the same binary.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filetools/data_to_header.h"
#include "filetools/hex_file.h"
#include "tests/support/hex_text.h"
#include "tests/support/silent_ui.h"
#include "tests/support/test_env.h"

extern char** environ;

namespace {

using quill::kPageSize;

// This process's folder for the data sets, removed with them when the process ends.
std::string Folder() {
  static const quill::test::TempDir folder;
  return folder.Path();
}

void Write(const std::string& path, const std::string& bytes) {
  if (!quill::test::WriteFile(path, bytes)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

std::string RandomBytes(size_t n) {
  std::mt19937_64 gen(42);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// HEX text of data, recordBytes a record; with segments, an extended linear address record starts every
// 64 KiB (the form objcopy writes for more than one page).
std::string HexText(const std::string& data, size_t recordBytes, bool segments) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += recordBytes) {
    if (segments && at % kPageSize == 0 && at > 0) {
      out += quill::test::HexRecord(0, {static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16)}, 4);
    }
    const auto* first = reinterpret_cast<const uint8_t*>(data.data() + at);
    out +=
        quill::test::HexRecord(static_cast<int>(at % kPageSize),
                               std::vector<uint8_t>(first, first + std::min(recordBytes, data.size() - at)));
  }
  out += ":00000001FF\n";
  return out;
}

void BM_LoadHexFile(benchmark::State& state) {
  const size_t recordBytes = static_cast<size_t>(state.range(0));
  const std::string text = HexText(RandomBytes(kPageSize), recordBytes, false);
  const std::string path = Folder() + "/page" + std::to_string(recordBytes) + ".hex";
  Write(path, text);
  quill::test::SilentUi ui;
  auto image = std::make_unique<quill::PageImage>();
  for (auto _ : state) {
    int size = quill::LoadHexFile(ui, path, *image);
    if (size != kPageSize) state.SkipWithError("the page did not load whole");
    benchmark::DoNotOptimize(image->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadHexFile)->Arg(16)->Arg(32)->Arg(255);

void BM_DataToHeader(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const std::string src = Folder() + "/data" + std::to_string(size) + ".bin";
  Write(src, RandomBytes(size));
  quill::test::SilentUi ui;
  for (auto _ : state) {
    if (!quill::DataToHeader(ui, Folder() + "/data.h", src)) state.SkipWithError("DataToHeader failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_DataToHeader)->Arg(640000)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// --- Whole processes -------------------------------------------------------------------------------

constexpr size_t kSizes[] = {65536, 640000, 16 << 20};

std::string QuillTool() {
  // The benchmarks live in <build>/bench, the tool in <build>.
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "quilltool").string();
}

bool Installed(const char* program) {
  std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// The data set of a size: raw bytes, one HEX file per page and one HEX file of the whole.
struct DataSet {
  std::string raw;
  std::string wholeHex;
  std::vector<std::string> pageHex;
};

const DataSet& Files(size_t size) {
  static std::map<size_t, DataSet> sets;
  auto it = sets.find(size);
  if (it != sets.end()) return it->second;
  DataSet d;
  const std::string base = Folder() + "/" + std::to_string(size);
  const std::string data = RandomBytes(size);
  d.raw = base + ".bin";
  Write(d.raw, data);
  d.wholeHex = base + ".hex";
  Write(d.wholeHex, HexText(data, 16, true));
  for (size_t at = 0; at < size; at += kPageSize) {
    std::string page = base + "_p" + std::to_string(at / kPageSize) + ".hex";
    Write(page, HexText(data.substr(at, kPageSize), 16, false));
    d.pageHex.push_back(page);
  }
  return sets.emplace(size, std::move(d)).first->second;
}

bool Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RunProcess(benchmark::State& state, const std::vector<std::string>& args, size_t bytes) {
  for (auto _ : state)
    if (!Spawn(args)) state.SkipWithError(("failed: " + args[0]).c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Process_QuillHex2Bin(benchmark::State& state) {
  const size_t size = kSizes[state.range(0)];
  const DataSet& d = Files(size);
  std::vector<std::string> args = {QuillTool(), "--store", Folder() + "/store", "hex2bin"};
  args.insert(args.end(), d.pageHex.begin(), d.pageHex.end());
  args.push_back(Folder() + "/q.bin");
  RunProcess(state, args, size);
}

void BM_Process_ObjcopyIhexToBinary(benchmark::State& state) {
  if (!Installed("objcopy")) return state.SkipWithError("objcopy is not installed");
  const size_t size = kSizes[state.range(0)];
  RunProcess(state, {"objcopy", "-I", "ihex", "-O", "binary", Files(size).wholeHex, Folder() + "/o.bin"},
             size);
}

void BM_Process_QuillBin2h(benchmark::State& state) {
  const size_t size = kSizes[state.range(0)];
  RunProcess(state,
             {QuillTool(), "--store", Folder() + "/store", "bin2h", Files(size).raw, Folder() + "/q.h"},
             size);
}

void BM_Process_XxdInclude(benchmark::State& state) {
  if (!Installed("xxd")) return state.SkipWithError("xxd is not installed");
  const size_t size = kSizes[state.range(0)];
  RunProcess(state, {"xxd", "-i", Files(size).raw, Folder() + "/x.h"}, size);
}

BENCHMARK(BM_Process_QuillHex2Bin)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_ObjcopyIhexToBinary)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_QuillBin2h)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process_XxdInclude)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

// --peak-memory=FILE [--seconds=N] -- PROGRAM ARGS...: runs PROGRAM with this process's standard input and
// output and writes its peak resident memory in KiB to FILE; exits with its exit code. With --seconds the
// program is ended (SIGTERM) after N seconds, for a peer too slow to finish. bench/run measures whole
// processes, in a pipe too, with it.
//
// The peak is the program's own: its VmHWM read when it exits (it is traced, and stopped at its exit while
// its memory is still there). A child's rusage would not do: it counts the memory of the process that
// forked it, which for this benchmark program is several MiB of libraries.
long ReadPeakKiB(pid_t pid) {
  std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(f);
  return kib;
}

int PeakMemory(const char* file, char** argv, int seconds) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ::execvp(argv[0], argv);
    ::_exit(127);
  }
  int status = 0;
  // The first stop is at the program's start.
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    return 127;
  }
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
  ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  std::thread limit;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  if (seconds > 0) {
    limit = std::thread([&] {
      std::unique_lock<std::mutex> lock(mutex);
      if (!ended.wait_for(lock, std::chrono::seconds(seconds), [&] { return done; })) ::kill(pid, SIGTERM);
    });
  }
  long peak = -1;
  for (;;) {
    if (::waitpid(pid, &status, 0) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      peak = ReadPeakKiB(pid);
      ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    } else {
      // A signal for the program: passed on as it came.
      const int signal = WSTOPSIG(status);
      ::ptrace(PTRACE_CONT, pid, nullptr,
               reinterpret_cast<void*>(static_cast<long>(signal == SIGTRAP ? 0 : signal)));
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  ended.notify_all();
  if (limit.joinable()) limit.join();
  std::FILE* out = std::fopen(file, "w");
  if (!out) return 126;
  std::fprintf(out, "%ld\n", peak);
  std::fclose(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int main(int argc, char** argv) {
  if (argc >= 4 && std::strncmp(argv[1], "--peak-memory=", 14) == 0) {
    int seconds = 0;
    int at = 2;
    if (std::strncmp(argv[at], "--seconds=", 10) == 0) seconds = std::atoi(argv[at++] + 10);
    if (at + 1 < argc && std::strcmp(argv[at], "--") == 0)
      return PeakMemory(argv[1] + 14, argv + at + 1, seconds);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
