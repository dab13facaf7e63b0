// `quilltool simulate`: a simulated phone on loopback until interrupted, for trying the tool (or a second
// copy of it) without hardware. It prints every unit it receives, one line each.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <optional>

#include "cli/signal_guard.h"
#include "cli/subcommand.h"
#include "platform/application.h"
#include "platform/file_io.h"
#include "sim/datagram_sender.h"
#include "sim/loopback_address.h"
#include "sim/output_schedule.h"
#include "sim/phone_fleet.h"
#include "sim/phone_simulator.h"

namespace quill::cli {
namespace {

using sim::SimClock;

constexpr int kDefaultCount = 10;
constexpr int kDefaultIntervalMs = 1000;
constexpr int kMinIntervalMs = 10;  // the datagram rate stays bounded whatever is asked
constexpr size_t kMaxImageFile = 640000;
constexpr int kSplitPiece = 32;
constexpr char kDefaultDebugText[] = "0x1018 3 0x101a 1\r\n";
constexpr char kDefaultCdrText[] = "CDR 0x10f8 00:00:05 call duration 12\r\n";

const char kDescription[] =
    "Runs a simulated phone until interrupted (Ctrl-C): the maintenance loader over TCP on A:8739, the\n"
    "serial loader on a pseudo-terminal whose path it prints (map COM1 to it), and, when asked, debug and\n"
    "CDR datagrams to another address. Prints one line per unit it receives. Loopback addresses only.\n"
    "Lines typed on standard input go out on the serial line as the phone's text output.\n"
    "With --phones N: N TCP loaders on N consecutive addresses from A (at most 1000), K of them faulty\n"
    "with --faulty K (refuses updates, silent, reset part way, answers late or a wrong answer, chosen\n"
    "from --seed S); the list of faulty phones is printed, and a line per connection and command, never\n"
    "one per unit.\n";

void Complain(const std::string& text) {
  std::fprintf(stderr, "%s simulate: %s\n", ApplicationName().c_str(), text.c_str());
}

// An integer option within [low, high]; nothing (after a complaint) when given and not one.
bool IntOption(const Args& args, const std::string& name, long long low, long long high, long long& out) {
  auto text = args.Value(name);
  if (!text) return true;
  auto v = ParseIntegerArg(*text);
  if (!v || *v < low || *v > high) {
    Complain(name + " takes a number from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
  }
  out = *v;
  return true;
}

// The first kMaxImageFile bytes of a regular file (a FIFO or a device is refused without waiting); nothing,
// with the reason, when it cannot be read.
std::optional<std::vector<uint8_t>> ReadImage(const std::string& path, FileError& error) {
  CInputFile in;
  std::vector<uint8_t> bytes;
  if (!in.OpenRegular(path) || !in.ReadUpTo(bytes, kMaxImageFile)) {
    error = in.Error();
    return std::nullopt;
  }
  return bytes;
}

// Many phones at once, TCP only: a line per phone, then the loaders' notices (connections, commands),
// never a line per unit, which a fleet's megabytes would drown the terminal in.
int RunFleet(const Args& args, const std::string& address, int count, int faulty, uint32_t seed,
             uint16_t port, long long eraseMs, long long duration) {
  for (const char* alone :
       {"--no-listener", "--silent", "--refuse", "--split", "--join", "--debug-to", "--settings"}) {
    if (args.Has(alone) || args.Value(alone)) {
      Complain(std::string(alone) + " does not go with --phones (use --faulty)");
      return kExitUsage;
    }
  }
  sim::PhoneFleet::Config config;
  config.firstAddress = address;
  config.count = count;
  config.faulty = faulty;
  config.seed = seed;
  config.port = port;
  if (eraseMs >= 0) config.eraseMs = static_cast<int>(eraseMs);
  sim::PhoneFleet fleet(config);
  std::mutex printing;
  auto print = [&printing](const std::string& line) {
    std::lock_guard<std::mutex> lock(printing);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };
  SignalGuard signals;
  if (signals.Fd() < 0) {
    Complain("cannot watch for signals");
    return kExitFailure;
  }
  if (!fleet.Start()) {
    Complain(fleet.Error());
    return sim::ParseLoopbackAddress(address) ? kExitFailure : kExitUsage;
  }
  for (int i = 0; i < fleet.Size(); ++i) {
    const std::string name = fleet.Address(i);
    fleet.Phone(i).SetNotice([print, name](const std::string& line) { print(name + ": " + line); });
  }
  print(std::to_string(fleet.Size()) + " tcp loaders listening on " + fleet.Address(0) + " to " +
        fleet.Address(fleet.Size() - 1) + ", port " + std::to_string(port));
  for (int i = 0; i < fleet.Size(); ++i)
    if (fleet.Fault(i) != sim::FleetFault::None) print("faulty: " + fleet.Describe(i));
  print("faulty phones: " + std::to_string(faulty) + " (seed " + std::to_string(seed) + ")");
  const auto end =
      duration >= 0 ? SimClock::now() + std::chrono::milliseconds(duration) : SimClock::time_point::max();
  for (;;) {
    const auto now = SimClock::now();
    if (now >= end) break;
    pollfd fd{signals.Fd(), POLLIN, 0};
    timespec ts{};
    const int r = ::ppoll(&fd, 1, sim::TimeoutUntil(end, now, ts), nullptr);
    if (r < 0 && errno != EINTR) break;
    if (fd.revents) {
      signalfd_siginfo info{};
      if (::read(signals.Fd(), &info, sizeof info) > 0) print("stopping");
      break;
    }
  }
  for (int i = 0; i < fleet.Size(); ++i) fleet.Phone(i).SetNotice(nullptr);
  fleet.Stop();
  return kExitOk;
}

int Run(const Args& args, TerminalUi&) {
  auto address = args.Value("--address");
  if (!address) {
    Complain("--address is required");
    return kExitUsage;
  }
  std::string from = args.Value("--debug-from").value_or(*address);
  std::optional<std::string> debugTo = args.Value("--debug-to");
  for (const std::string& a : {*address, from, debugTo.value_or(*address)}) {
    if (!sim::ParseLoopbackAddress(a)) {
      Complain(sim::NotLoopbackMessage(a) + "; the simulator runs on loopback only");
      return kExitUsage;
    }
  }
  long long phones = 0, faulty = 0, seed = 1;
  if (!IntOption(args, "--phones", 1, sim::kMaxFleetPhones, phones) ||
      !IntOption(args, "--faulty", 0, sim::kMaxFleetPhones, faulty) ||
      !IntOption(args, "--seed", 0, 0xFFFFFFFFLL, seed))
    return kExitUsage;
  if (faulty > 0 && phones == 0) {
    Complain("--faulty goes with --phones");
    return kExitUsage;
  }
  long long port = sim::kLoaderPort, eraseMs = -1, late = 0, dropAfter = -1, wrong = -1, ignoreProbes = 0,
            stopAfterChunks = -1, count = kDefaultCount, interval = kDefaultIntervalMs, duration = -1;
  long long answerReset = -1;
  if (!IntOption(args, "--tcp-port", 1, 65535, port) || !IntOption(args, "--erase-ms", 0, 600000, eraseMs) ||
      !IntOption(args, "--late", 0, 600000, late) ||
      !IntOption(args, "--drop-after", 0, 1 << 30, dropAfter) || !IntOption(args, "--wrong", 0, 255, wrong) ||
      !IntOption(args, "--ignore-probes", 0, 1 << 30, ignoreProbes) ||
      !IntOption(args, "--stop-after-chunks", 0, 1 << 30, stopAfterChunks) ||
      !IntOption(args, "--answer-reset", 0, 1 << 30, answerReset) ||
      !IntOption(args, "--count", 0, sim::kMaxBurst, count) ||
      !IntOption(args, "--interval", kMinIntervalMs, 3600000, interval) ||
      !IntOption(args, "--duration", 0, 1LL << 40, duration)) {
    return kExitUsage;
  }

  if (phones > 0)
    return RunFleet(args, *address, static_cast<int>(phones), static_cast<int>(faulty),
                    static_cast<uint32_t>(seed), static_cast<uint16_t>(port), eraseMs, duration);

  sim::PhoneSimulator::Config config;
  config.address = *address;
  config.port = static_cast<uint16_t>(port);
  config.tcp = !args.Has("--no-tcp");
  config.serial = !args.Has("--no-serial");
  if (eraseMs >= 0) config.tcpEraseMs = config.serialEraseMs = static_cast<int>(eraseMs);
  sim::PhoneSimulator phone(config);

  if (phone.HasTcp()) {
    sim::TcpFaults f;
    f.noListener = args.Has("--no-listener");
    f.silent = args.Has("--silent");
    f.refuseUpdates = args.Has("--refuse");
    f.lateMs = static_cast<int>(late);
    if (args.Has("--split")) f.splitPiece = kSplitPiece;
    if (args.Has("--join")) f.joinAfterAck = {0x00};
    if (wrong >= 0) f.wrongAck = static_cast<uint8_t>(wrong);
    f.dropAfterUnits = static_cast<int>(dropAfter);
    f.dropWithReset = args.Has("--reset");
    f.resetAfterAnswers = static_cast<int>(answerReset);
    phone.Tcp().SetFaults(f);
  }
  if (phone.HasSerial()) {
    sim::SerialFaults f;
    f.silent = args.Has("--silent");
    f.lateMs = static_cast<int>(late);
    f.noWakeUpAnswer = args.Has("--no-wakeup-answer");
    f.ignoreProbes = args.Has("--no-probe-answer") ? sim::kNever : static_cast<int>(ignoreProbes);
    if (wrong >= 0) f.wrongByte = static_cast<uint8_t>(wrong);
    f.stopAfterChunks = static_cast<int>(stopAfterChunks);
    phone.Serial().SetFaults(f);
  }
  for (const char* option : {"--settings", "--sdram"}) {
    auto path = args.Value(option);
    if (!path) continue;
    FileError error;
    auto image = ReadImage(*path, error);
    if (!image) {
      Complain(FileFailureText("Can not open source file", error));
      return kExitFailure;
    }
    if (std::string(option) == "--settings") {
      if (phone.HasTcp()) phone.Tcp().SetSettingsImage(*image);
    } else {
      if (phone.HasTcp()) phone.Tcp().SetSdramImage(*image);
      if (phone.HasSerial()) phone.Serial().SetSdramImage(*image);
    }
  }

  std::mutex printing;
  auto print = [&printing](const std::string& line) {
    std::lock_guard<std::mutex> lock(printing);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };

  SignalGuard signals;
  if (signals.Fd() < 0) {
    Complain("cannot watch for signals");
    return kExitFailure;
  }
  phone.SetReporter(print);
  if (!phone.Start()) {
    Complain(phone.Error());
    return kExitFailure;
  }
  if (phone.HasTcp()) {
    print("tcp loader listening on " + *address + ":" + std::to_string(phone.Tcp().Port()) +
          (phone.Tcp().Faults().noListener ? " (refusing connections)" : ""));
  }
  if (phone.HasSerial()) print("serial loader on " + phone.Serial().SlavePath());

  std::optional<sim::DatagramSender> sender;
  if (debugTo) {
    sender.emplace(from, *debugTo);
    if (!sender->Open()) {
      Complain(sender->Error());
      phone.Stop();
      return kExitFailure;
    }
    print("sending debug and CDR datagrams from " + from + " to " + *debugTo);
  }
  std::string debugText = args.Value("--debug-text").value_or(kDefaultDebugText);
  std::string cdrText = args.Value("--cdr-text").value_or(kDefaultCdrText);

  auto now = SimClock::now();
  auto end = duration >= 0 ? now + std::chrono::milliseconds(duration) : SimClock::time_point::max();
  auto nextSend = sender && count > 0 ? now : SimClock::time_point::max();
  long long sent = 0;
  bool stdinOpen = phone.HasSerial();
  int code = kExitOk;
  for (;;) {
    now = SimClock::now();
    if (now >= end) break;
    if (now >= nextSend) {
      if (!sender->SendDebugText(debugText) || !sender->SendCdr(cdrText)) {
        Complain(sender->Error());
        code = kExitFailure;
        break;
      }
      ++sent;
      print("sent debug and CDR datagram " + std::to_string(sent) + " of " + std::to_string(count));
      nextSend = sent < count ? now + std::chrono::milliseconds(interval) : SimClock::time_point::max();
    }
    pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    timespec ts{};
    int r = ::ppoll(fds, 2, sim::TimeoutUntil(std::min(end, nextSend), now, ts), nullptr);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      signalfd_siginfo info{};
      if (::read(signals.Fd(), &info, sizeof info) > 0) print("stopping");
      break;
    }
    if (fds[1].revents) {
      char buffer[1024];
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n > 0) {
        phone.Serial().SendText(std::string_view(buffer, static_cast<size_t>(n)));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        stdinOpen = false;
      }
    }
  }
  phone.Stop();
  phone.SetReporter(nullptr);
  return code;
}

const bool registered = [] {
  Subcommand simulate{
      "simulate",   "run a simulated phone (TCP and serial loader, debug datagrams) on loopback",
      kDescription, {},
      {},           Run};
  simulate.synopsis = "--address A [options]";
  simulate.maxPositionals = 0;
  simulate.options = {
      {"--address", "A", "the phone's address, in 127.0.0.0/8 (required)"},
      {"--tcp-port", "P", "the loader's TCP port (default 8739)"},
      {"--phones", "N", "N phones (TCP loader only) on N consecutive addresses from A"},
      {"--faulty", "K", "with --phones: K of the phones get a fault chosen from --seed"},
      {"--seed", "S", "the seed that chooses the faulty phones and their faults (default 1)"},
      {"--no-tcp", "", "leave the TCP loader out"},
      {"--no-serial", "", "leave the serial loader out"},
      {"--erase-ms", "MS", "TCP erase window and serial sector erase (default 5000 and 2000)"},
      {"--settings", "FILE", "the settings image that \"sh\" requests read", ValueKind::File},
      {"--sdram", "FILE", "the SDRAM that \"dh\" requests and the serial export read", ValueKind::File},
      {"--duration", "MS", "end by itself after MS (default: run until interrupted)"},
      {"--refuse", "", "fault: refuse updates (go on accepting connections after a command)"},
      {"--no-listener", "", "fault: refuse connections"},
      {"--silent", "", "fault: accept and record, never answer"},
      {"--late", "MS", "fault: answer every unit MS late"},
      {"--split", "", "fault: send 128-byte answers in pieces of 32 bytes"},
      {"--join", "", "fault: send each 0xFF joined with a 0x00"},
      {"--drop-after", "N", "fault: drop a connection on its unit after N"},
      {"--reset", "", "fault: with --drop-after, drop with a reset"},
      {"--answer-reset", "N", "fault: send a connection's Nth answer and a reset together (0: on accept)"},
      {"--wrong", "BYTE", "fault: answer BYTE in place of 0xFF, and serial runs of BYTE"},
      {"--ignore-probes", "N", "serial fault: ignore N probes after a wake-up"},
      {"--no-probe-answer", "", "serial fault: ignore every probe"},
      {"--no-wakeup-answer", "", "serial fault: never answer the wake-up"},
      {"--stop-after-chunks", "N", "serial fault: answer N chunks of a write, then stop mid-page"},
      {"--debug-to", "ADDR", "send debug (UDP 8225) and CDR (UDP 8227) datagrams to ADDR"},
      {"--debug-from", "ADDR", "send them from ADDR (default: the --address)"},
      {"--debug-text", "TEXT", "the debug text (default \"0x1018 3 0x101a 1\\r\\n\")"},
      {"--cdr-text", "TEXT", "the CDR text"},
      {"--count", "N", "datagrams of each kind (default 10, at most 1000)"},
      {"--interval", "MS", "between two sends (default 1000, at least 10)"},
  };
  return RegisterSubcommand(std::move(simulate));
}();

}  // namespace
}  // namespace quill::cli
