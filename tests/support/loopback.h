// Every loopback address a test, a benchmark or a fuzz target uses, in one table, so that two of them can
// never pick the same one: the simulator's fixed ports (8739, 8225, 8227) stay apart however the tests run
// in parallel. A test takes its address from here and writes no 127.x.y.z of its own (the ctest
// loopback.registry checks that); a new test adds a line below, and the checks at the end refuse an address
// given twice.
//
// 127.0.0.0/24 belongs to demo mode (it starts at 127.0.0.1 and moves up while the loader port is taken)
// and to the services of the machine, 127.0.1.0/24 to the host's own name on many systems: no entry lies
// there. A demo started by a test walks up from its first address in the same way, so the addresses after
// each demo start are kept free too.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill::loopback {

struct Address {
  const char* dotted;
  uint32_t value;  // first octet most significant, as the IP field and the store keep it
  constexpr int Octet(int i) const { return static_cast<int>((value >> (24 - 8 * i)) & 0xFF); }
  // As a socket address holds it.
  constexpr uint32_t Network() const {
    if constexpr (std::endian::native == std::endian::big) return value;
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
  }
};

// Text with the dotted address in it: "Calling " + loopback::kPhone + "\n".
inline std::string operator+(const std::string& text, const Address& a) {
  return text + a.dotted;
}
inline std::string operator+(const Address& a, const std::string& text) {
  return a.dotted + text;
}

// The dotted quad as a value; 0 for anything else.
constexpr uint32_t Parse(std::string_view text) {
  uint32_t value = 0;
  int octets = 0;
  size_t at = 0;
  while (octets < 4) {
    uint32_t octet = 0;
    size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
      octet = octet * 10 + static_cast<uint32_t>(text[at++] - '0');
      ++digits;
    }
    if (digits == 0 || octet > 255) return 0;
    value = (value << 8) | octet;
    if (++octets < 4 && (at >= text.size() || text[at++] != '.')) return 0;
  }
  return at == text.size() ? value : 0;
}

constexpr Address Make(const char* dotted) {
  return Address{dotted, Parse(dotted)};
}

// One line per address: its name, then the address. Grouped by the file that uses them.
#define QUILL_LOOPBACK_ADDRESSES(X)                                                                      \
  /* Anywhere: an address that only appears in text or values a test feeds or expects, never bound,   */ \
  /* sent to or connected to; and the IP field of the scripted command host until a test names one.   */ \
  X(kOnlyInText, "127.0.2.4")                                                                            \
  X(kCommandHostDefault, "127.0.2.3")                                                                    \
  /* tests/transport */                                                                                  \
  X(kTransportBasePhoneLan, "127.0.2.5")                                                                 \
  X(kTcpSocketLoader, "127.0.2.10")                                                                      \
  X(kTcpSocketRefused, "127.0.2.11")                                                                     \
  X(kTcpSocketNotOnNetwork, "127.0.2.12")                                                                \
  X(kTcpSocketWrite, "127.0.2.13")                                                                       \
  X(kTcpSocketQueued, "127.0.2.14")                                                                      \
  X(kTcpSocketPeerCloses, "127.0.2.15")                                                                  \
  X(kTcpSocketConnectEnds, "127.0.2.16")                                                                 \
  X(kTcpSocketShortSend, "127.0.2.17")                                                                   \
  X(kTcpSocketIoThreadStuck, "127.0.2.18")                                                               \
  X(kTcpSocketAnswerWithReset, "127.0.2.19")                                                             \
  X(kTcpSocketAcceptedAndReset, "127.0.2.20")                                                            \
  X(kUdpArriveHost, "127.0.2.21")                                                                        \
  X(kUdpArriveMonitor, "127.0.2.30")                                                                     \
  X(kUdpArrivePhone, "127.0.2.31")                                                                       \
  X(kUdpOwnMonitor, "127.0.2.32")                                                                        \
  X(kUdpOwnHost, "127.0.2.33")                                                                           \
  X(kUdpOwnOther, "127.0.2.34")                                                                          \
  X(kUdpPeerHost, "127.0.2.35")                                                                          \
  X(kUdpPeerPhone, "127.0.2.36")                                                                         \
  X(kUdpPeerSender, "127.0.2.37")                                                                        \
  X(kUdpPeerElsewhere, "127.0.2.38")                                                                     \
  X(kUdpPeerBind, "127.0.2.39")                                                                          \
  X(kUdpLeaveHost, "127.0.2.22")                                                                         \
  X(kUdpLeave, "127.0.2.40")                                                                             \
  X(kUdpInvalidSize, "127.0.2.41")                                                                       \
  X(kUdpBurstHost, "127.0.2.23")                                                                         \
  X(kUdpBurstMonitor, "127.0.2.42")                                                                      \
  X(kUdpBurstPhone, "127.0.2.43")                                                                        \
  X(kUdpStuckHost, "127.0.2.24")                                                                         \
  X(kUdpStuck, "127.0.2.44")                                                                             \
  /* tests/settings, tests/cli */                                                                        \
  X(kCliArguments, "127.0.2.6")                                                                          \
  X(kSettingsTextPhone, "127.0.2.7")                                                                     \
  X(kSettingsDialogLocalIp, "127.0.2.8")                                                                 \
  /* tests/sim */                                                                                        \
  X(kLoaderPage, "127.0.2.50")                                                                           \
  X(kLoaderCommands, "127.0.2.51")                                                                       \
  X(kLoaderReads, "127.0.2.52")                                                                          \
  X(kLoaderEraseWindow, "127.0.2.53")                                                                    \
  X(kLoaderRefusing, "127.0.2.54")                                                                       \
  X(kLoaderNoListener, "127.0.2.55")                                                                     \
  X(kLoaderSilent, "127.0.2.56")                                                                         \
  X(kLoaderLate, "127.0.2.57")                                                                           \
  X(kLoaderSplit, "127.0.2.58")                                                                          \
  X(kLoaderAckFaults, "127.0.2.59")                                                                      \
  X(kLoaderDrop, "127.0.2.60")                                                                           \
  X(kLoaderSdram, "127.0.2.61")                                                                          \
  X(kLoaderPieces, "127.0.2.62")                                                                         \
  X(kLoaderAnyPort, "127.0.2.64")                                                                        \
  X(kLoaderStop, "127.0.2.65")                                                                           \
  X(kSenderReceiver, "127.0.2.70")                                                                       \
  X(kSenderFrom, "127.0.2.71")                                                                           \
  X(kSenderSink, "127.0.2.72")                                                                           \
  X(kSenderSinkFrom, "127.0.2.73")                                                                       \
  X(kSimulateRefusedTo, "127.0.2.74")                                                                    \
  X(kSimulatePhone, "127.0.2.75")                                                                        \
  X(kSimulateDatagramsTo, "127.0.2.77")                                                                  \
  X(kSimulateSilent, "127.0.2.78")                                                                       \
  X(kSimulateRefused, "127.0.2.79")                                                                      \
  /* tests/link */                                                                                       \
  X(kLinkStoredPeer, "127.0.17.250")                                                                     \
  X(kLinkSendImage, "127.0.2.80")                                                                        \
  X(kLinkWholeMultiple, "127.0.2.81")                                                                    \
  X(kLinkReadSettings, "127.0.2.82")                                                                     \
  X(kLinkReadSdram, "127.0.2.83")                                                                        \
  X(kLinkSplitRead, "127.0.2.84")                                                                        \
  X(kLinkHeld, "127.0.2.85")                                                                             \
  X(kLinkNoConnection, "127.0.2.86")                                                                     \
  X(kLinkSilent, "127.0.2.87")                                                                           \
  X(kLinkProbe, "127.0.2.88")                                                                            \
  X(kConnectionEcho, "127.0.2.76")                                                                       \
  X(kConnectionRecorded, "127.0.2.89")                                                                   \
  X(kDataRing, "127.0.2.130")                                                                            \
  X(kDataUpdateA, "127.0.2.131")                                                                         \
  X(kDataUpdateB, "127.0.2.132")                                                                         \
  X(kDataSerialRefused, "127.0.2.133")                                                                   \
  X(kDataCannotOpen, "127.0.2.134")                                                                      \
  X(kDataStoreFails, "127.0.17.60")                                                                      \
  X(kAlternateNoSections, "127.0.2.135")                                                                 \
  X(kAlternateSections, "127.0.2.136")                                                                   \
  X(kAlternateReadFails, "127.0.2.137")                                                                  \
  X(kPushOkYes, "127.0.2.138")                                                                           \
  X(kPushCancel, "127.0.2.139")                                                                          \
  X(kPushRefusing, "127.0.2.140")                                                                        \
  X(kPushReadFails, "127.0.2.141")                                                                       \
  X(kSdramLoadTcp, "127.0.2.142")                                                                        \
  X(kSdramExportTcp, "127.0.2.143")                                                                      \
  X(kSdramFailedExport, "127.0.2.144")                                                                   \
  X(kSdramLengthRange, "127.0.2.146")                                                                    \
  X(kSdramCannotOpen, "127.0.2.147")                                                                     \
  X(kSdramCannotWrite, "127.0.17.50")                                                                    \
  X(kSdramWriteFailsAfterRead, "127.0.17.51")                                                            \
  X(kFlashPage15, "127.0.2.150")                                                                         \
  X(kFlashSettingsA, "127.0.2.151")                                                                      \
  X(kFlashSettingsB, "127.0.2.152")                                                                      \
  X(kFlashStillAnswers, "127.0.2.153")                                                                   \
  X(kFlashNoLoaderTable, "127.0.2.154")                                                                  \
  X(kFlashProgram, "127.0.2.155")                                                                        \
  X(kFlashProgramRefused, "127.0.2.156")                                                                 \
  X(kFlashProgramRefusedByPhone, "127.0.2.157")                                                          \
  X(kCliFileUpdate, "127.0.2.167")                                                                       \
  X(kCliOneOffSerial, "127.0.2.168")                                                                     \
  X(kCliBadLength, "127.0.2.169")                                                                        \
  X(kCliUpdatePage, "127.0.2.170")                                                                       \
  X(kCliPushSettings, "127.0.2.171")                                                                     \
  X(kCliPing, "127.0.2.172")                                                                             \
  X(kCliUsage, "127.0.2.173")                                                                            \
  X(kCliNeedsPhone, "127.0.17.40")                                                                       \
  X(kCliCannotWrite, "127.0.17.52")                                                                      \
  X(kCliStoreFails, "127.0.17.53")                                                                       \
  X(kCliNameNotRemembered, "127.0.17.54")                                                                \
  /* tests/debugmon, tests/hostile */                                                                    \
  X(kMonitorHost, "127.0.2.25")                                                                          \
  X(kMonitorPhone, "127.0.2.100")                                                                        \
  X(kMonitorOtherPhone, "127.0.2.101")                                                                   \
  X(kMonitorShows, "127.0.2.102")                                                                        \
  X(kMonitorOwnDropped, "127.0.2.103")                                                                   \
  X(kMonitorOneOfAKind, "127.0.2.105")                                                                   \
  X(kMonitorCannotStart, "127.0.2.106")                                                                  \
  X(kMonitorBurst, "127.0.2.107")                                                                        \
  X(kMonitorCommandPhone, "127.0.2.110")                                                                 \
  X(kMonitorCommandDebug, "127.0.2.111")                                                                 \
  X(kMonitorCommandCdr, "127.0.2.112")                                                                   \
  X(kMonitorCommandSquatted, "127.0.2.113")                                                              \
  X(kMonitorCommandFrom, "127.0.2.118")                                                                  \
  X(kMonitorCommandOtherPhone, "127.0.2.119")                                                            \
  X(kMonitorWindowHost, "127.0.2.26")                                                                    \
  X(kMonitorWindowPhone, "127.0.2.115")                                                                  \
  X(kMonitorWindowDebug, "127.0.2.116")                                                                  \
  X(kMonitorWindowCdr, "127.0.2.117")                                                                    \
  X(kFloodHost, "127.0.2.245")                                                                           \
  X(kFloodMonitor, "127.0.2.241")                                                                        \
  X(kFloodSender, "127.0.2.242")                                                                         \
  X(kFloodHeldDebug, "127.0.2.243")                                                                      \
  X(kFloodHeldCdr, "127.0.2.244")                                                                        \
  /* tests/faults */                                                                                     \
  X(kSimFaultOptions, "127.0.2.218")                                                                     \
  X(kFaultReset, "127.0.2.219")                                                                          \
  X(kFaultNothing, "127.0.2.220")                                                                        \
  X(kFaultSilent, "127.0.2.221")                                                                         \
  X(kFaultClosed, "127.0.2.222")                                                                         \
  X(kFaultPastBlock, "127.0.2.223")                                                                      \
  X(kFaultLate, "127.0.2.224")                                                                           \
  X(kFaultPieces, "127.0.2.225")                                                                         \
  X(kFaultWrongByte, "127.0.2.226")                                                                      \
  X(kGuiFaultStep1, "127.0.2.227")                                                                       \
  X(kGuiFaultPush, "127.0.2.228")                                                                        \
  X(kGuiFaultSdram, "127.0.2.229")                                                                       \
  /* tests/app */                                                                                        \
  X(kWindowPhoneA, "127.0.17.10")                                                                        \
  X(kWindowRecorderA, "127.0.17.11")                                                                     \
  X(kWindowPhoneB, "127.0.17.12")                                                                        \
  X(kWindowRecorderB, "127.0.17.13")                                                                     \
  X(kWindowPhoneC, "127.0.17.14")                                                                        \
  X(kWindowRecorderC, "127.0.17.15")                                                                     \
  X(kWindowEnterEcho, "127.0.17.48")                                                                     \
  X(kWindowStoredPeer, "127.0.2.9")                                                                      \
  X(kDemoTaken, "127.0.20.1")                                                                            \
  X(kDemoRefuses, "127.0.21.1")                                                                          \
  /* bench/ */                                                                                           \
  X(kBenchTcp, "127.0.2.45")                                                                             \
  X(kBenchUdpMonitor, "127.0.2.46")                                                                      \
  X(kBenchUdpSender, "127.0.2.47")                                                                       \
  X(kBenchSim, "127.0.2.66")                                                                             \
  X(kBenchMonitorListen, "127.0.2.120")                                                                  \
  X(kBenchMonitorPhone, "127.0.2.121")                                                                   \
  X(kBenchMonitorHost, "127.0.2.122")                                                                    \
  X(kBenchGuiHost, "127.0.2.123")                                                                        \
  X(kBenchLinkPhone, "127.0.2.200")                                                                      \
  X(kBenchLinkRaw, "127.0.2.201")                                                                        \
  X(kBenchGuiListen, "127.0.2.202")                                                                      \
  X(kBenchLoadListen, "127.0.30.1")                                                                      \
  X(kBenchLoadSenderA, "127.0.30.2")                                                                     \
  X(kBenchLoadSenderB, "127.0.30.3")                                                                     \
  X(kBenchLoadHost, "127.0.30.4")                                                                        \
  X(kBenchCommandPhone, "127.0.2.211")                                                                   \
  /* fuzz/ */                                                                                            \
  X(kFuzzPhoneLan, "127.0.2.230")

#define QUILL_LOOPBACK_DEFINE(name, dotted) inline constexpr Address name = Make(dotted);
QUILL_LOOPBACK_ADDRESSES(QUILL_LOOPBACK_DEFINE)
#undef QUILL_LOOPBACK_DEFINE

#define QUILL_LOOPBACK_ENTRY(name, dotted) name,
inline constexpr Address kAll[] = {QUILL_LOOPBACK_ADDRESSES(QUILL_LOOPBACK_ENTRY)};
#undef QUILL_LOOPBACK_ENTRY

// Blocks of consecutive addresses, for many simulated phones at once (the fleet): the first address and the
// count. No single address above lies in a block, and no two blocks meet.
struct Block {
  Address first;
  int count;
  constexpr uint32_t Value(int i) const { return first.value + static_cast<uint32_t>(i); }
  // The i-th address of the block, dotted.
  std::string Dotted(int i) const {
    const uint32_t v = Value(i);
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
  }
  constexpr bool Holds(uint32_t v) const {
    return v >= first.value && v < first.value + static_cast<uint32_t>(count);
  }
};

// tests/fleet and bench/fleet_bench.cpp
inline constexpr Block kFleetTwenty{Make("127.0.10.1"), 20};
inline constexpr Block kFleetSettings{Make("127.0.10.40"), 3};
inline constexpr Block kFleetStop{Make("127.0.10.50"), 4};
inline constexpr Block kFleetSimulate{Make("127.0.10.60"), 3};
inline constexpr Block kFleetUnreachable{Make("127.0.10.70"), 2};
inline constexpr Block kFleetWindow{Make("127.0.10.80"), 3};
inline constexpr Block kFleetBench{Make("127.0.11.1"), 200};
inline constexpr Block kAllBlocks[] = {kFleetTwenty,      kFleetSettings, kFleetStop, kFleetSimulate,
                                       kFleetUnreachable, kFleetWindow,   kFleetBench};

// The first addresses of the demos the tests start, and how far a demo walks up from its first address
// (DemoPhone::kAddressTries; the demo test checks that the two agree).
inline constexpr int kDemoTries = 32;
inline constexpr Address kDemoStarts[] = {kDemoTaken, kDemoRefuses};

constexpr bool InLoopbackRange(const Address& a) {
  return a.value != 0 && (a.value >> 24) == 127 && a.value != 0x7FFFFFFF;
}
constexpr bool OutsideReserved(const Address& a) {
  return (a.value >> 8) != 0x7F0000 && (a.value >> 8) != 0x7F0001;
}
constexpr bool AllDistinct() {
  for (size_t i = 0; i < std::size(kAll); ++i)
    for (size_t j = i + 1; j < std::size(kAll); ++j)
      if (kAll[i].value == kAll[j].value) return false;
  return true;
}
constexpr bool DemoWalksMeetNoOne() {
  for (const Address& start : kDemoStarts)
    for (const Address& a : kAll)
      if (a.value > start.value && a.value < start.value + kDemoTries) return false;
  return true;
}
constexpr bool AllWellFormed() {
  for (const Address& a : kAll)
    if (!InLoopbackRange(a) || !OutsideReserved(a)) return false;
  return true;
}

constexpr bool BlocksApart() {
  for (size_t i = 0; i < std::size(kAllBlocks); ++i) {
    const Block& b = kAllBlocks[i];
    const Address last{nullptr, b.Value(b.count - 1)};
    if (b.count < 1 || !InLoopbackRange(b.first) || !OutsideReserved(b.first) || !InLoopbackRange(last) ||
        (last.value & 0xFF) == 0xFF || (b.first.value >> 8) != (last.value >> 8))
      return false;
    for (const Address& a : kAll)
      if (b.Holds(a.value)) return false;
    for (const Address& start : kDemoStarts)
      if (b.Holds(start.value) || (b.first.value > start.value && b.first.value < start.value + kDemoTries))
        return false;
    for (size_t j = i + 1; j < std::size(kAllBlocks); ++j)
      if (b.Holds(kAllBlocks[j].first.value) || kAllBlocks[j].Holds(b.first.value)) return false;
  }
  return true;
}

static_assert(BlocksApart(), "a block of addresses meets another block, an address or a demo's walk");
static_assert(AllWellFormed(), "an address is not a dotted 127.x.y.z outside 127.0.0.0/24 and 127.0.1.0/24");
static_assert(AllDistinct(), "two names hold the same loopback address");
static_assert(DemoWalksMeetNoOne(), "an address lies where a test's demo may move to");

}  // namespace quill::loopback
