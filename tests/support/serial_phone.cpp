#include "tests/support/serial_phone.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace quill::test {
namespace {

bool IsChunk(sim::UnitKind kind) {
  return kind == sim::UnitKind::Chunk || kind == sim::UnitKind::SdramChunk;
}

}  // namespace

SerialPhone::SerialPhone(Options options) : options_(std::move(options)) {
  protocol_.SetSdramImage(options_.sdram);
  // Answers nobody reads any more are dropped rather than block the phone.
  ::fcntl(pty_.Master(), F_SETFL, ::fcntl(pty_.Master(), F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { Run(); });
}

SerialPhone::~SerialPhone() {
  stop_.Set();
  thread_.join();
}

std::vector<uint8_t> SerialPhone::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

int SerialPhone::ChunksAnswered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

bool SerialPhone::LineClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void SerialPhone::Run() {
  uint8_t buffer[256];
  while (pty_.Master() >= 0) {
    pollfd fds[2] = {{stop_.Fd(), POLLIN, 0}, {pty_.Master(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) {
      // Our own slave descriptor keeps hang-ups away; anything else here is the end of the line.
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return;
      continue;
    }
    ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
    for (ssize_t i = 0; i < n && pty_.Master() >= 0; ++i) Feed(buffer[i]);
  }
}

// Whether the chunk (or export request) that just came is answered; the line may go instead.
bool SerialPhone::ChunkAllowed() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (options_.closeAfterChunks >= 0 && answered_ >= options_.closeAfterChunks) {
    pty_.CloseMaster();
    closed_ = true;
    return false;
  }
  if (options_.silentAfterChunks >= 0 && answered_ >= options_.silentAfterChunks) return false;
  ++answered_;
  return true;
}

void SerialPhone::Feed(uint8_t byte) {
  std::vector<sim::SimUnit> units;
  std::vector<sim::SerialLoaderProtocol::Answer> answers;
  protocol_.Feed(byte, units, answers);
  const sim::SimUnit* answered = nullptr;
  for (const sim::SimUnit& unit : units) {
    if (IsChunk(unit.kind)) {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.insert(received_.end(), unit.bytes.begin() + 1, unit.bytes.end());
    }
    if (unit.answered) answered = &unit;
  }
  if (!answered || answers.empty()) return;
  const bool exportRequest = answered->kind == sim::UnitKind::SdramExportRequest;
  if ((IsChunk(answered->kind) || exportRequest) && !ChunkAllowed()) return;
  std::vector<uint8_t> bytes = answers.back().bytes;
  if (exportRequest && (++exportAnswers_) * sim::kSerialRun == options_.sdram.size())
    bytes.resize(bytes.size() + options_.trailing, 0x00);
  if (options_.answers >= 0 && answersSent_ >= options_.answers) return;
  ++answersSent_;
  Answer(bytes);
}

void SerialPhone::Answer(const std::vector<uint8_t>& bytes) {
  const size_t piece = std::max<size_t>(options_.piece, 1);
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (at > 0 && options_.gapMs > 0 && stop_.Wait(std::chrono::milliseconds(options_.gapMs))) return;
    ssize_t written = ::write(pty_.Master(), bytes.data() + at, std::min(piece, bytes.size() - at));
    (void)written;  // an answer nobody reads is dropped, as the phone's own would be
  }
}

}  // namespace quill::test
