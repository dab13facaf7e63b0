// The serial loader's byte protocol, without any device: bytes in, units and answers out. The phone answers
// with runs of eight equal bytes, and the tool does not tell the values apart, only that eight came.
//
// Two procedures begin with the same eight 0x00: the flash write's begin-write and the SDRAM load's start.
// The phone tells them apart by what came before: the flash procedure always opens with the wake-up
// (16 x 0x55) and a probe (0xAA) that the phone answered; only in that state are 8 x 0xFF and a sector
// number an erase and 8 x 0x00 the begin-write. In any other state 8 x 0x00 starts an SDRAM load and
// 8 x 0xFF an SDRAM export. A write's or load's 0xFF end, an export's 0x00 end, the port being closed by
// the tool, and a fresh wake-up (16 x 0x55 between units, from any state) all return the phone to that
// first state, so a procedure cut short never turns the next one into the wrong kind.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_unit.h"

namespace quill::sim {

constexpr uint8_t kSerialWakeUp = 0x55;    // sixteen of these wake the loader; it answers with eight
constexpr int kSerialWakeUpLength = 16;
constexpr uint8_t kSerialProbe = 0xAA;     // repeated until the loader answers eight
constexpr uint8_t kSerialEraseLead = 0xFF; // eight, then the sector; eight 0xFF when the sector is erased
constexpr uint8_t kSerialBegin = 0x00;     // eight: begin-write (flash) or SDRAM load start; eight back
constexpr uint8_t kSerialChunk = 0x08;     // then eight data bytes; or, in an export, a request for eight
constexpr uint8_t kSerialChunkAck = 0x55;  // eight of these answer a chunk
constexpr uint8_t kSerialEnd = 0xFF;       // ends a flash write or an SDRAM load; not answered
constexpr uint8_t kSerialExportEnd = 0x00; // ends an SDRAM export; not answered
constexpr int kSerialRun = 8;              // every answer and every start is a run of this many

constexpr int kNever = -1;

struct SerialFaults {
  bool silent = false;          // record, but never answer
  int lateMs = 0;               // every answer this late, in the system's ms (timing seam)
  bool noWakeUpAnswer = false;  // the wake-up is never answered
  int ignoreProbes = 0;         // probes ignored after each wake-up before one is answered; kNever: all
  std::optional<uint8_t> wrongByte;  // every answer run is of this byte instead
  int stopAfterChunks = kNever;      // answers this many chunks of a write or load, then no more
};

class SerialLoaderProtocol {
 public:
  struct Answer {
    std::vector<uint8_t> bytes;
    int delayMs = 0;  // system ms from now (timing seam)
  };

  // What a sector erase takes, in the system's ms; the tool pauses 15000 ms and then waits 1000 ms.
  explicit SerialLoaderProtocol(int eraseMs = 2000) : eraseMs_(eraseMs) {}

  void SetFaults(const SerialFaults& faults) { faults_ = faults; }
  const SerialFaults& Faults() const { return faults_; }
  // The SDRAM an export reads, eight bytes per request from its start; bytes past its end read as 0x00.
  void SetSdramImage(std::vector<uint8_t> image) { sdramImage_ = std::move(image); }
  void SetSession(int session) { session_ = session; }

  // One byte from the tool: finished units go to units, answers to answers, in order.
  void Feed(uint8_t byte, std::vector<SimUnit>& units, std::vector<Answer>& answers);
  // The tool closed the port: a unit under way is dropped (as stray) and the phone waits for a new start.
  void LineClosed(std::vector<SimUnit>& units);

  // What the phone keeps.
  const std::vector<uint8_t>& FlashPage() const { return flashPage_; }  // since the last begin-write
  const std::vector<int>& ErasedSectors() const { return erased_; }    // since the last wake-up, in order
  const std::vector<uint8_t>& SdramReceived() const { return sdramReceived_; }  // since the last load start
  int FlashWritesEnded() const { return flashWritesEnded_; }
  int SdramLoadsEnded() const { return sdramLoadsEnded_; }

  enum class State { Idle, Awake, Probed, Writing, SdramLoad, SdramExport };
  State GetState() const { return state_; }

 private:
  void FeedRun(uint8_t byte, std::vector<SimUnit>& units, std::vector<Answer>& answers);
  void FlushStray(std::vector<SimUnit>& units);
  void Emit(std::vector<SimUnit>& units, UnitKind kind, std::vector<uint8_t> bytes, bool answered);
  bool AnswerRun(std::vector<Answer>& answers, uint8_t value, int extraDelayMs = 0);
  void WakeUp(std::vector<SimUnit>& units, std::vector<Answer>& answers);
  void FinishChunk(std::vector<SimUnit>& units, std::vector<Answer>& answers);

  int eraseMs_;
  SerialFaults faults_;
  int session_ = 0;
  State state_ = State::Idle;
  std::vector<uint8_t> run_;    // a run of equal bytes that may become a start, a wake-up or an erase
  bool awaitingSector_ = false;  // 8 x 0xFF came after the probe: the next byte is the sector
  std::vector<uint8_t> chunk_;   // 0x08 and the data bytes so far
  int probes_ = 0;
  int chunksAnswered_ = 0;
  size_t exportOffset_ = 0;
  std::vector<uint8_t> sdramImage_;
  std::vector<uint8_t> flashPage_;
  std::vector<int> erased_;
  std::vector<uint8_t> sdramReceived_;
  int flashWritesEnded_ = 0;
  int sdramLoadsEnded_ = 0;
};

}  // namespace quill::sim
