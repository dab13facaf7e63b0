#include "sim/serial_loader_protocol.h"

namespace quill::sim {
namespace {

// A flash page is 64 KiB and the SDRAM 640000 bytes; what is kept is bounded above both.
constexpr size_t kMaxKept = 1u << 20;

void Keep(std::vector<uint8_t>& into, const std::vector<uint8_t>& chunk) {
  if (into.size() + chunk.size() - 1 <= kMaxKept) into.insert(into.end(), chunk.begin() + 1, chunk.end());
}

}  // namespace

void SerialLoaderProtocol::Emit(std::vector<SimUnit>& units, UnitKind kind, std::vector<uint8_t> bytes,
                                bool answered) {
  SimUnit unit;
  unit.kind = kind;
  unit.session = session_;
  unit.bytes = std::move(bytes);
  unit.answered = answered;
  units.push_back(std::move(unit));
}

void SerialLoaderProtocol::FlushStray(std::vector<SimUnit>& units) {
  if (run_.empty()) return;
  Emit(units, UnitKind::Stray, std::move(run_), false);
  run_.clear();
}

bool SerialLoaderProtocol::AnswerRun(std::vector<Answer>& answers, uint8_t value, int extraDelayMs) {
  if (faults_.silent) return false;
  answers.push_back(Answer{std::vector<uint8_t>(kSerialRun, faults_.wrongByte.value_or(value)),
                           faults_.lateMs + extraDelayMs});
  return true;
}

void SerialLoaderProtocol::WakeUp(std::vector<SimUnit>& units, std::vector<Answer>& answers) {
  bool answered = !faults_.noWakeUpAnswer && AnswerRun(answers, kSerialWakeUp);
  Emit(units, UnitKind::WakeUp, std::move(run_), answered);
  run_.clear();
  state_ = State::Awake;
  probes_ = 0;
  erased_.clear();
}

void SerialLoaderProtocol::FinishChunk(std::vector<SimUnit>& units, std::vector<Answer>& answers) {
  bool writing = state_ == State::Writing;
  Keep(writing ? flashPage_ : sdramReceived_, chunk_);
  bool answer = faults_.stopAfterChunks == kNever || chunksAnswered_ < faults_.stopAfterChunks;
  if (answer) ++chunksAnswered_;
  bool answered = answer && AnswerRun(answers, kSerialChunkAck);
  Emit(units, writing ? UnitKind::Chunk : UnitKind::SdramChunk, std::move(chunk_), answered);
  chunk_.clear();
}

void SerialLoaderProtocol::Feed(uint8_t byte, std::vector<SimUnit>& units, std::vector<Answer>& answers) {
  if (!chunk_.empty()) {
    chunk_.push_back(byte);
    if (chunk_.size() == 1 + kSerialRun) FinishChunk(units, answers);
    return;
  }
  if (awaitingSector_) {
    awaitingSector_ = false;
    run_.push_back(byte);
    erased_.push_back(byte);
    // The answer comes when the sector is erased.
    bool answered = AnswerRun(answers, kSerialEraseLead, eraseMs_);
    Emit(units, UnitKind::EraseSector, std::move(run_), answered);
    run_.clear();
    return;
  }
  switch (state_) {
    case State::Writing:
    case State::SdramLoad:
      if (byte == kSerialChunk) {
        FlushStray(units);
        chunk_.push_back(byte);
        return;
      }
      if (byte == kSerialEnd) {
        FlushStray(units);
        bool flash = state_ == State::Writing;
        Emit(units, flash ? UnitKind::End : UnitKind::SdramLoadEnd, {byte}, false);
        ++(flash ? flashWritesEnded_ : sdramLoadsEnded_);
        state_ = State::Idle;
        return;
      }
      break;
    case State::SdramExport:
      if (byte == kSerialChunk) {
        FlushStray(units);
        std::vector<uint8_t> data(kSerialRun, 0x00);
        for (size_t i = 0; i < data.size() && exportOffset_ + i < sdramImage_.size(); ++i) {
          data[i] = sdramImage_[exportOffset_ + i];
        }
        exportOffset_ += kSerialRun;
        bool answered = !faults_.silent;
        if (answered) answers.push_back(Answer{std::move(data), faults_.lateMs});
        Emit(units, UnitKind::SdramExportRequest, {byte}, answered);
        return;
      }
      if (byte == kSerialExportEnd) {
        FlushStray(units);
        Emit(units, UnitKind::SdramExportEnd, {byte}, false);
        state_ = State::Idle;
        return;
      }
      break;
    case State::Awake:
    case State::Probed:
      if (byte == kSerialProbe) {
        FlushStray(units);
        bool answered = false;
        if (state_ == State::Awake) {
          ++probes_;
          if (faults_.ignoreProbes != kNever && probes_ > faults_.ignoreProbes) {
            answered = AnswerRun(answers, kSerialProbe);
            state_ = State::Probed;
          }
        }
        // Probes the tool sent while the answer was on its way are extra: the phone answers only once.
        Emit(units, UnitKind::Probe, {byte}, answered);
        return;
      }
      break;
    case State::Idle:
      break;
  }
  FeedRun(byte, units, answers);
}

// Runs of equal bytes: 16 x 0x55 wake the loader from any state; in the start states 8 x 0x00 and
// 8 x 0xFF begin a procedure (which one depends on the state); anything else is stray.
void SerialLoaderProtocol::FeedRun(uint8_t byte, std::vector<SimUnit>& units, std::vector<Answer>& answers) {
  if (!run_.empty() && run_.back() != byte) FlushStray(units);
  run_.push_back(byte);
  if (byte == kSerialWakeUp) {
    if (run_.size() == kSerialWakeUpLength) WakeUp(units, answers);
    return;
  }
  bool startState = state_ == State::Idle || state_ == State::Awake || state_ == State::Probed;
  if (!startState || (byte != kSerialBegin && byte != kSerialEraseLead)) {
    FlushStray(units);
    return;
  }
  if (run_.size() < kSerialRun) return;
  if (byte == kSerialBegin) {
    bool flash = state_ == State::Probed;
    state_ = flash ? State::Writing : State::SdramLoad;
    (flash ? flashPage_ : sdramReceived_).clear();
    chunksAnswered_ = 0;
    bool answered = AnswerRun(answers, kSerialBegin);
    Emit(units, flash ? UnitKind::BeginWrite : UnitKind::SdramLoadStart, std::move(run_), answered);
    run_.clear();
    return;
  }
  if (state_ == State::Probed) {
    awaitingSector_ = true;  // the run stays: it is the head of the erase unit
    return;
  }
  state_ = State::SdramExport;
  exportOffset_ = 0;
  bool answered = AnswerRun(answers, kSerialEraseLead);
  Emit(units, UnitKind::SdramExportStart, std::move(run_), answered);
  run_.clear();
}

void SerialLoaderProtocol::LineClosed(std::vector<SimUnit>& units) {
  if (!chunk_.empty()) {
    Emit(units, UnitKind::Stray, std::move(chunk_), false);
    chunk_.clear();
  }
  FlushStray(units);
  awaitingSector_ = false;
  state_ = State::Idle;
  probes_ = 0;
}

}  // namespace quill::sim
