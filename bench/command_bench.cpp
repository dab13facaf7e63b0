// Whole maintenance commands as a user runs them: the built quilltool started as a process against the
// simulator in this process, with the system's own waits (no timing scale on either side). For each
// command it prints the wall time and the terms of the least time the protocol allows, which bench/run
// turns into the floor with the raw exchange it measures in the same run:
//
//   TCP:    floor = waits + exchanges x (raw ping-pong per 128-byte block)
//   serial: floor = waits + wire bytes x 10 bits / 19200 baud
//
//   command_bench [--runs=3] [--serial-runs=1] [--page-bytes=4096] [--sdram-bytes=4096] [--only=a,b]
//
// One line per command, key=value: command, runs, ok, wall_ms (median), start_ms (spawn to the phone's
// first unit), data_us (per data exchange, from the first to the last block, request or chunk), gap_ms (the
// longest pause between two units), tail_ms (the phone's last unit to the tool's exit), waits_ms and
// tail_waits_ms (those of them after the phone's last unit), exchanges, wire_bytes, data_units. The serial
// loader keeps a real wire's pace (sim::SerialLoader::Config::wireBaud): a pseudo-terminal alone passes
// bytes at once.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

extern char** environ;

namespace {

using namespace quill;
using Clock = std::chrono::steady_clock;

constexpr size_t kBlock = 128;
constexpr int kSerialBaud = 19200;
constexpr int kSerialRun = 8;         // answers, starts and chunk data
constexpr int kProbeDelay = 500;      // the reconnect after an update command
constexpr int kBeforeErase = 1000;    // the pause before each sector erase
constexpr int kErasePause = 15000;    // the pause after each sector erase command
constexpr int kLoadEndPause = 10;     // after the SDRAM load's end byte
constexpr int kTcpEraseMs = 1000;     // the phone's listener is closed this long after a command
constexpr int kSerialEraseMs = 2000;  // a sector erase, well within the tool's pause

std::string Arg(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind(name + "=", 0) == 0) return a.substr(name.size() + 1);
  }
  return fallback;
}

size_t RoundUp(size_t n, size_t to) {
  return (n + to - 1) / to * to;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i)
    bytes[i] = static_cast<uint8_t>((i * 131 + size_t{seed} * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

// When each unit of one run reached the phone, and whether it carried data.
class UnitTimes {
 public:
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    first_ = last_ = firstData_ = lastData_ = {};
    units_ = dataUnits_ = 0;
    gap_ = {};
  }
  void Seen(const sim::SimUnit& u) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (units_++ == 0) first_ = now;
    gap_ = std::max(gap_, now - (units_ == 1 ? now : last_));
    last_ = now;
    if (u.kind == sim::UnitKind::Block || u.kind == sim::UnitKind::Request ||
        u.kind == sim::UnitKind::Chunk || u.kind == sim::UnitKind::SdramChunk) {
      if (dataUnits_++ == 0) firstData_ = now;
      lastData_ = now;
    }
  }
  struct View {
    Clock::time_point first, last, firstData, lastData;
    Clock::duration gap;  // the longest pause between two units
    int units, dataUnits;
  };
  View Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {first_, last_, firstData_, lastData_, gap_, units_, dataUnits_};
  }

 private:
  mutable std::mutex mutex_;
  Clock::time_point first_, last_, firstData_, lastData_;
  Clock::duration gap_{};
  int units_ = 0;
  int dataUnits_ = 0;
};

struct Command {
  std::string name;
  std::vector<std::string> args;  // after `quilltool --store S`
  int waitsMs = 0;                // the fixed waits of the procedure
  int tailWaitsMs = 0;            // those of them that come after the phone's last unit
  long exchanges = 0;             // TCP: connects, blocks, commands and read requests
  long wireBytes = 0;             // serial: bytes on the wire, both ways, on the critical path
  int dataUnits = 0;              // blocks, requests or chunks the phone must see
  int runs = 1;
  std::function<bool()> before;        // the phone ready for the next run
  std::function<std::string()> check;  // empty when the phone got what was sent
};

struct Outcome {
  int code = -1;
  double wallMs = 0;
};

Outcome Spawn(const std::string& tool, const std::vector<std::string>& args, const std::string& log) {
  std::vector<std::string> all = {tool};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(all.size() + 1);
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  Outcome o;
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return o;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return o;
  }
  o.wallMs = Ms(Clock::now() - start);
  o.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return o;
}

bool RunCommand(const std::string& tool, const std::string& store, const std::string& log, Command& c,
                UnitTimes& times) {
  std::vector<double> wall, start, data, tail, gap;
  for (int run = 0; run < c.runs; ++run) {
    if (c.before && !c.before()) {
      std::fprintf(stderr, "command_bench: %s: the phone was not ready\n", c.name.c_str());
      return false;
    }
    times.Reset();
    // Every wait of the tool is bounded, so a run that goes on far past them is a hang: it ends the
    // benchmark with the command's name rather than holding bench/run.
    test::Watchdog watchdog("command_bench " + c.name, std::chrono::seconds(180));
    std::vector<std::string> args = {"--store", store};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto spawned = Clock::now();
    const Outcome o = Spawn(tool, args, log);
    const auto ended = spawned + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double, std::milli>(o.wallMs));
    const UnitTimes::View v = times.Get();
    std::string wrong = o.code != 0 ? "exit code " + std::to_string(o.code) + ": " + test::ReadFile(log) : "";
    if (wrong.empty() && v.dataUnits != c.dataUnits)
      wrong =
          std::to_string(v.dataUnits) + " data units reached the phone, not " + std::to_string(c.dataUnits);
    if (wrong.empty() && c.check) wrong = c.check();
    if (!wrong.empty()) {
      std::fprintf(stderr, "command_bench: %s: %s\n", c.name.c_str(), wrong.c_str());
      return false;
    }
    wall.push_back(o.wallMs);
    start.push_back(Ms(v.first - spawned));
    tail.push_back(Ms(ended - v.last));
    gap.push_back(Ms(v.gap));
    if (v.dataUnits > 1)
      data.push_back(std::chrono::duration<double, std::micro>(v.lastData - v.firstData).count() /
                     (v.dataUnits - 1));
  }
  std::printf(
      "command=%s runs=%d ok=1 wall_ms=%.1f start_ms=%.1f data_us=%.1f gap_ms=%.1f tail_ms=%.1f waits_ms=%d "
      "tail_waits_ms=%d exchanges=%ld wire_bytes=%ld data_units=%d\n",
      c.name.c_str(), c.runs, Median(wall), Median(start), Median(data), Median(gap), Median(tail), c.waitsMs,
      c.tailWaitsMs, c.exchanges, c.wireBytes, c.dataUnits);
  std::fflush(stdout);
  return true;
}

// An Intel-HEX text of data at address 0, 16-byte records, and its end record.
std::string HexOf(const std::vector<uint8_t>& data) {
  std::string text;
  char line[64];
  for (size_t at = 0; at < data.size(); at += 16) {
    const size_t n = std::min<size_t>(16, data.size() - at);
    unsigned sum = static_cast<unsigned>(n + (at >> 8) + (at & 0xFF));
    int len =
        std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n), static_cast<unsigned>(at));
    text.append(line, static_cast<size_t>(len));
    for (size_t i = 0; i < n; ++i) {
      len = std::snprintf(line, sizeof line, "%02X", data[at + i]);
      text.append(line, static_cast<size_t>(len));
      sum += data[at + i];
    }
    len = std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text.append(line, static_cast<size_t>(len));
  }
  return text + ":00000001FF\n";
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = std::max(1, std::atoi(Arg(argc, argv, "--runs", "3").c_str()));
  const int serialRuns = std::max(1, std::atoi(Arg(argc, argv, "--serial-runs", "1").c_str()));
  const size_t pageBytes =
      RoundUp(std::clamp<size_t>(std::strtoul(Arg(argc, argv, "--page-bytes", "4096").c_str(), nullptr, 10),
                                 8, 65536),
              8);
  const size_t sdramBytes = std::clamp<size_t>(
      std::strtoul(Arg(argc, argv, "--sdram-bytes", "4096").c_str(), nullptr, 10), 8, 640000);
  // ",a,b," so that a name is found whole.
  std::string only(1, ',');
  only += Arg(argc, argv, "--only", "");
  only += ',';
  const std::string tool = QUILL_BENCH_TOOL;
  test::UsePrivateStore();
  test::TempDir dir;
  const std::string store = dir.File("store");
  const std::string log = dir.File("tool.log");
  const std::string phone = loopback::kBenchCommandPhone.dotted;

  // --- The phone over TCP --------------------------------------------------------------------------------
  sim::TcpLoader::Config tcpConfig;
  tcpConfig.address = phone;
  tcpConfig.eraseMs = kTcpEraseMs;
  sim::TcpLoader tcp(tcpConfig);
  const std::vector<uint8_t> sdram = Pattern(640000, 3);
  tcp.SetSettingsImage(std::vector<uint8_t>(512, 0x00));
  tcp.SetSdramImage(sdram);
  // --- The phone on a serial line at the wire's pace -----------------------------------------------------
  sim::SerialLoader::Config serialConfig;
  serialConfig.eraseMs = kSerialEraseMs;
  serialConfig.wireBaud = kSerialBaud;
  sim::SerialLoader serial(serialConfig);
  if (!tcp.Start() || !serial.Start()) {
    std::fprintf(stderr, "command_bench: the simulator did not start: %s%s\n", tcp.Error().c_str(),
                 serial.Error().c_str());
    return 1;
  }
  UnitTimes times;
  tcp.Log().SetObserver([&times](const sim::SimUnit& u) { times.Seen(u); });
  serial.Log().SetObserver([&times](const sim::SimUnit& u) { times.Seen(u); });
  // The tool's probe finds the listener closed for a while after each command; the next run waits it out.
  auto tcpReady = [&tcp] { return tcp.WaitForListening(true, std::chrono::seconds(10)); };
  auto serialReady = [&serial] { return serial.WaitForLineOpen(false, std::chrono::seconds(10)); };

  const std::vector<uint8_t> program = Pattern(1 << 20, 1);
  const std::string programFile = dir.File("program.bin");
  test::WriteFile(programFile, std::string(program.begin(), program.end()));
  const std::vector<uint8_t> ring = Pattern(size_t{64} * 1024, 2);
  const std::string ringFile = dir.File("ring.dat");
  test::WriteFile(ringFile, std::string(ring.begin(), ring.end()));
  const std::string saved = dir.File("sdram.dat");
  const std::vector<uint8_t> page = Pattern(pageBytes, 4);
  test::WriteFile(dir.File("Page0.hex"), HexOf(page));
  const std::vector<uint8_t> load = Pattern(sdramBytes, 5);
  const std::string loadFile = dir.File("load.dat");
  test::WriteFile(loadFile, std::string(load.begin(), load.end()));

  auto storedIs = [&tcp](uint8_t command, const std::vector<uint8_t>& want) -> std::string {
    auto got = tcp.Stored(command);
    if (!got || got->size() < want.size() || !std::equal(want.begin(), want.end(), got->begin()))
      return "the phone did not keep what was sent";
    return {};
  };
  const long programBlocks = static_cast<long>(RoundUp(program.size(), 256) / kBlock);
  const long ringBlocks = static_cast<long>(RoundUp(ring.size(), 256) / kBlock);
  const long sdramRequests = static_cast<long>(RoundUp(640000, 256) / kBlock);
  const long chunks = static_cast<long>(RoundUp(pageBytes, kSerialRun) / kSerialRun);
  const long loadChunks = static_cast<long>(RoundUp(sdramBytes, kSerialRun) / kSerialRun);
  constexpr long kChunkWire = 1 + kSerialRun + kSerialRun;  // 0x08 and eight bytes out, eight back

  std::vector<Command> commands = {
      // One connect, the blocks, the command 0x81; then the reconnect after 500 ms and 1000 ms of silence.
      {"update-program",
       {"update-program", programFile, "--phone", phone},
       kProbeDelay + 1000,
       kProbeDelay + 1000,
       1 + programBlocks + 1,
       0,
       static_cast<int>(programBlocks),
       runs,
       tcpReady,
       [&] { return storedIs(0x81, program); }},
      // The same with 0x82 and 2000 ms of silence.
      {"update-ring",
       {"update-ring", ringFile, "--phone", phone},
       kProbeDelay + 2000,
       kProbeDelay + 2000,
       1 + ringBlocks + 1,
       0,
       static_cast<int>(ringBlocks),
       runs,
       tcpReady,
       [&] { return storedIs(0x82, ring); }},
      // The settings read (a connect and four "sh"), the push (a connect, four blocks, 0x80), then the
      // reconnect after 500 ms and 1000 ms of silence.
      {"push-settings",
       {"push-settings", "--phone", phone, "--yes"},
       kProbeDelay + 1000,
       kProbeDelay + 1000,
       (1 + 4) + (1 + 4 + 1),
       0,
       8,
       runs,
       tcpReady,
       [&] { return tcp.Stored(0x80) ? std::string() : "no settings reached the phone"; }},
      // One connect and 5000 "dh" requests; no wait at all.
      {"sdram-save",
       {"sdram-save", saved, "--phone", phone, "--length", "640000"},
       0,
       0,
       1 + sdramRequests,
       0,
       static_cast<int>(sdramRequests),
       runs,
       tcpReady,
       [&]() -> std::string {
         return test::ReadBytes(saved) == std::vector<unsigned char>(sdram.begin(), sdram.end())
                    ? std::string()
                    : "the saved file is not the phone's SDRAM";
       }},
      // Chip 4, page 0: one sector. Wake-up (16 out, 8 back), one probe answered (1 out, 8 back), the
      // erase (1000 ms before, 15000 ms after its nine bytes, which travel in that pause, as does its
      // answer), begin-write (8 out, 8 back), the chunks, the end byte.
      {"update-page-serial",
       {"update-page", "--device", serial.SlavePath(), "--dir", dir.Path(), "--page", "0", "--chip", "4"},
       kBeforeErase + kErasePause,
       0,
       0,
       (16 + 8) + (1 + 8) + (8 + 8) + chunks * kChunkWire + 1,
       static_cast<int>(chunks),
       serialRuns,
       serialReady,
       [&]() -> std::string {
         const std::vector<uint8_t> got = serial.FlashPage();
         return got.size() >= page.size() && std::equal(page.begin(), page.end(), got.begin())
                    ? std::string()
                    : "the phone's flash page is not the page sent";
       }},
      // Start (8 out, 8 back), the chunks, the end byte in its 10 ms pause.
      {"sdram-load-serial",
       {"sdram-load", loadFile, "--device", serial.SlavePath()},
       kLoadEndPause,
       kLoadEndPause,
       0,
       (8 + 8) + loadChunks * kChunkWire,
       static_cast<int>(loadChunks),
       serialRuns,
       serialReady,
       [&]() -> std::string {
         const std::vector<uint8_t> got = serial.SdramReceived();
         return got.size() >= load.size() && std::equal(load.begin(), load.end(), got.begin())
                    ? std::string()
                    : "the phone's SDRAM is not the file loaded";
       }},
  };
  bool ok = true;
  for (Command& c : commands) {
    if (only != ",," && only.find("," + c.name + ",") == std::string::npos) continue;
    ok = RunCommand(tool, store, log, c, times) && ok;
  }
  tcp.Log().SetObserver({});
  serial.Log().SetObserver({});
  tcp.Stop();
  serial.Stop();
  return ok ? 0 : 1;
}
