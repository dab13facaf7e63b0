// A serial maintenance loader on a pseudo-terminal for the faults the simulator has no option for. It speaks
// the simulator's own protocol (sim::SerialLoaderProtocol: the flash procedure, the SDRAM load and export)
// and changes only how the answers leave: in pieces with real gaps between them, none after a given number,
// none after some chunks, or the line closed in the middle of a transfer. The simulator itself
// (sim::SerialLoader) is the phone for everything else.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/serial_loader_protocol.h"
#include "tests/support/pty_pair.h"

namespace quill::test {

class SerialPhone {
 public:
  struct Options {
    size_t piece = 8;            // answers leave in pieces of this many bytes
    int gapMs = 0;               // real time between two pieces
    int answers = -1;            // >= 0: answers sent before the phone falls silent for good
    int silentAfterChunks = -1;  // >= 0: chunks (or export requests) answered before it falls silent
    int closeAfterChunks = -1;   // >= 0: chunks answered before the next one closes the line
    std::vector<uint8_t> sdram;  // what an export reads
    size_t trailing = 0;         // bytes sent on, in the same write, after the last eight of sdram
  };
  explicit SerialPhone(Options options);
  ~SerialPhone();
  SerialPhone(const SerialPhone&) = delete;
  SerialPhone& operator=(const SerialPhone&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }
  // The data bytes of the chunks received (flash write or SDRAM load), lead bytes removed.
  std::vector<uint8_t> Received() const;
  int ChunksAnswered() const;
  bool LineClosed() const;

 private:
  void Run();
  void Feed(uint8_t byte);
  void Answer(const std::vector<uint8_t>& bytes);
  bool ChunkAllowed();

  Options options_;
  PtyPair pty_;
  Event stop_{Event::Kind::ManualReset};
  std::thread thread_;

  // Phone thread only. The erase takes no time here: the scaled timing decides what is late.
  sim::SerialLoaderProtocol protocol_{0};
  size_t exportAnswers_ = 0;
  int answersSent_ = 0;

  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
  int answered_ = 0;
  bool closed_ = false;
};

}  // namespace quill::test
