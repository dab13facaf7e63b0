// What the maintenance command tests share: a window's values without a window, a timing that shortens the
// fixed sleeps far more than the answer waits, Intel-HEX text for page files, and a serial phone that
// answers only what it is told to.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "link/command_host.h"
#include "platform/timing.h"
#include "tests/support/pty_pair.h"

namespace quill::test {

// The main window's values; SaveToolOptions writes them as the window would and hands them to the command.
class FakeCommandHost : public CommandHost {
 public:
  CommandValues SaveToolOptions() override;
  uint32_t IpFieldAddress() const override { return ipField; }
  std::string WorkingDirectory() const override { return workingDirectory; }

  int linkType = 1;
  int page = 0;
  int chipType = 4;
  uint32_t ipField = 0x7F000001;  // loopback: a test never reaches the window's private default
  std::string portName = "COM1";
  std::string workingDirectory;
  int sdramLength = 0;
  bool storeFails = false;  // SaveToolOptions reports that the store could not be written
  int saves = 0;
};

// "127.0.0.N" as the IP field holds it (first octet most significant).
uint32_t FieldAddress(const std::string& dotted);

// Sleeps shortened by sleepFactor, waits (and the simulator's delays, which use Scaled) by waitFactor:
// the 15000 ms erase pause becomes milliseconds. A wait of 100 ms or more never drops below 400 ms, so an
// answer still has room on a loaded machine, while the 1 ms probe waits stay short.
class SplitTiming : public Timing {
 public:
  SplitTiming(double sleepFactor, double waitFactor) : sleeps_(sleepFactor), waits_(waitFactor) {}
  std::chrono::microseconds Scaled(int ms) const override {
    auto scaled = waits_.Scaled(ms);
    if (ms >= 100) scaled = std::max(scaled, std::chrono::microseconds(400000));
    return scaled;
  }
  void Sleep(int ms) override { sleeps_.Sleep(ms); }

 private:
  SystemTiming sleeps_;
  SystemTiming waits_;
};

class ScopedSplitTiming {
 public:
  ScopedSplitTiming(double sleepFactor, double waitFactor) : timing_(sleepFactor, waitFactor) {
    Timing::Install(&timing_);
  }
  ~ScopedSplitTiming() { Timing::Install(nullptr); }
  ScopedSplitTiming(const ScopedSplitTiming&) = delete;
  ScopedSplitTiming& operator=(const ScopedSplitTiming&) = delete;

 private:
  SplitTiming timing_;
};

// Intel-HEX text: data records of up to 16 bytes for each (address, bytes) piece in the order given, then
// the end-of-file record.
struct HexPiece {
  uint16_t address;
  std::vector<uint8_t> bytes;
};
std::string IntelHex(const std::vector<HexPiece>& pieces);

// A phone on a pseudo-terminal that answers a received pattern with eight bytes of a value, a limited
// number of times, and nothing else. For the failures the simulator has no fault for.
class ScriptedSerialPhone {
 public:
  struct Rule {
    std::vector<uint8_t> pattern;  // matched against the end of what was received
    uint8_t answer;                // eight of these
    int times;
  };
  explicit ScriptedSerialPhone(std::vector<Rule> rules);
  ~ScriptedSerialPhone();
  const std::string& SlavePath() const { return pty_.SlavePath(); }
  std::vector<uint8_t> Received() const;

 private:
  void Run();
  PtyPair pty_;
  std::vector<Rule> rules_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
  std::thread thread_;
};

}  // namespace quill::test
