// What the fault tests share: a census of the process's descriptors and threads, a watchdog that turns a
// hang into a failure with a name, a timing that keeps the answer waits long enough to tell "just inside"
// from "just outside" while the fixed pauses shrink to nothing, and a serial phone whose answers can come
// in pieces, stop, or lose their line in the middle of a transfer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/timing.h"
#include "tests/support/pty_pair.h"

namespace quill::test {

// The messages the TCP failure paths end with.
constexpr const char* kCantUpdate =
    "Can not connect to phone.\nsorry,unable to update.Please confirm if your phone is ready.\n ";
constexpr const char* kTcpFailed = "tcp connection failed";
constexpr const char* kUpdating = "Updating ... please wait until the update led stop on and off";

// Descriptors and threads of the process now; Unchanged() compares them later. Threads are joined and
// descriptors closed before the commands return, so the counts must match exactly; the short settle only
// covers a simulator thread that is still closing its end.
class Census {
 public:
  Census();
  ::testing::AssertionResult Unchanged() const;

 private:
  int fds_;
  int threads_;
};

// Aborts the test binary with the name of what hung when it is not destroyed within bound. Only catches
// hangs: the bound is far above what any run takes, and nothing is measured against it.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::seconds bound = std::chrono::seconds(60));
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::promise<void> done_;
  std::thread thread_;
};

// Fixed pauses (the 15000 ms erase pause, the 500 ms before a probe) shrink by sleepFactor; waits and the
// simulator's answer delays by waitFactor, never below floor for a wait of a second or more, so that a
// connection has time on a loaded machine. Both the tool and the simulator read Scaled, so "an answer
// 0.6 of a wait late" stays inside that wait and "1.5 of it" outside, whatever the factors.
class FaultTiming : public Timing {
 public:
  FaultTiming(double sleepFactor, double waitFactor, std::chrono::milliseconds floor);
  ~FaultTiming() override;
  std::chrono::microseconds Scaled(int ms) const override;
  void Sleep(int ms) override;

 private:
  SystemTiming sleeps_;
  SystemTiming waits_;
  std::chrono::microseconds floor_;
};

// A serial maintenance loader on a pseudo-terminal for the faults the simulator has no option for: every
// answer leaves in pieces with real gaps between them, the loader falls silent after some chunks, or its
// end of the line is closed in the middle of a transfer. It answers the flash procedure (wake-up, first
// probe, erase, begin-write, chunks), the SDRAM load (start, chunks) and the SDRAM export (start, eight
// bytes per request), as the phone does.
class PacedSerialPhone {
 public:
  struct Options {
    size_t piece = 8;            // answers leave in pieces of this many bytes
    int gapMs = 0;               // real time between two pieces
    int silentAfterChunks = -1;  // >= 0: chunks (or export requests) answered before it falls silent
    int closeAfterChunks = -1;   // >= 0: chunks answered before the next one closes the line
    std::vector<uint8_t> sdram;  // what an export reads
    size_t trailing = 0;         // bytes sent on, in the same write, after the last eight of sdram
  };
  explicit PacedSerialPhone(Options options);
  ~PacedSerialPhone();
  PacedSerialPhone(const PacedSerialPhone&) = delete;
  PacedSerialPhone& operator=(const PacedSerialPhone&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }
  // The data bytes of the chunks received (flash write or SDRAM load), lead bytes removed.
  std::vector<uint8_t> Received() const;
  int ChunksAnswered() const;
  bool LineClosed() const;

 private:
  enum class State { Idle, Awake, Probed, Writing, Export };
  void Run();
  void Feed(uint8_t byte);
  void Answer(std::vector<uint8_t> bytes);
  bool ChunkAllowed();

  Options options_;
  PtyPair pty_;
  Event stop_{Event::Kind::ManualReset};
  std::thread thread_;

  // Phone thread only.
  State state_ = State::Idle;
  std::vector<uint8_t> run_;
  bool awaitingSector_ = false;
  std::vector<uint8_t> chunk_;
  size_t exportOffset_ = 0;

  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
  int answered_ = 0;
  bool closed_ = false;
};

}  // namespace quill::test
