#include "tests/faults/fault_support.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/support/test_env.h"

namespace quill::test {
namespace {

constexpr uint8_t kWakeUp = 0x55;
constexpr size_t kWakeUpLength = 16;
constexpr uint8_t kProbe = 0xAA;
constexpr uint8_t kEraseLead = 0xFF;
constexpr uint8_t kBegin = 0x00;  // begin-write after a probe, SDRAM load start otherwise
constexpr uint8_t kChunkLead = 0x08;
constexpr uint8_t kChunkAck = 0x55;
constexpr uint8_t kWriteEnd = 0xFF;
constexpr uint8_t kExportEnd = 0x00;
constexpr size_t kRun = 8;

}  // namespace

Census::Census() : fds_(OpenDescriptorCount()), threads_(SettledThreadCount()) {}

::testing::AssertionResult Census::Unchanged() const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  int fds = 0, threads = 0;
  for (;;) {
    fds = OpenDescriptorCount();
    threads = ThreadCount();
    if (fds == fds_ && threads == threads_) return ::testing::AssertionSuccess();
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ::testing::AssertionFailure()
         << "descriptors " << fds_ << " -> " << fds << ", threads " << threads_ << " -> " << threads;
}

Watchdog::Watchdog(std::string what, std::chrono::seconds bound) {
  thread_ = std::thread([future = done_.get_future(), what = std::move(what), bound] {
    if (future.wait_for(bound) == std::future_status::ready) return;
    std::fprintf(stderr, "hang: %s did not end within %lld s\n", what.c_str(),
                 static_cast<long long>(bound.count()));
    std::fflush(stderr);
    std::abort();
  });
}

Watchdog::~Watchdog() {
  done_.set_value();
  thread_.join();
}

FaultTiming::FaultTiming(double sleepFactor, double waitFactor, std::chrono::milliseconds floor)
    : sleeps_(sleepFactor), waits_(waitFactor), floor_(floor) {
  Timing::Install(this);
}

FaultTiming::~FaultTiming() {
  Timing::Install(nullptr);
}

std::chrono::microseconds FaultTiming::Scaled(int ms) const {
  auto scaled = waits_.Scaled(ms);
  if (ms >= 1000) scaled = std::max(scaled, floor_);
  return scaled;
}

void FaultTiming::Sleep(int ms) {
  sleeps_.Sleep(ms);
}

PacedSerialPhone::PacedSerialPhone(Options options) : options_(std::move(options)) {
  // Answers nobody reads any more are dropped rather than block the phone.
  ::fcntl(pty_.Master(), F_SETFL, ::fcntl(pty_.Master(), F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { Run(); });
}

PacedSerialPhone::~PacedSerialPhone() {
  stop_.Set();
  thread_.join();
}

std::vector<uint8_t> PacedSerialPhone::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

int PacedSerialPhone::ChunksAnswered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

bool PacedSerialPhone::LineClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void PacedSerialPhone::Run() {
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

void PacedSerialPhone::Answer(std::vector<uint8_t> bytes) {
  size_t piece = std::max<size_t>(options_.piece, 1);
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (at > 0 && options_.gapMs > 0 && stop_.Wait(std::chrono::milliseconds(options_.gapMs))) return;
    ssize_t written = ::write(pty_.Master(), bytes.data() + at, std::min(piece, bytes.size() - at));
    (void)written;
  }
}

// Whether the chunk (or export request) that just came is answered; the line may go instead.
bool PacedSerialPhone::ChunkAllowed() {
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

void PacedSerialPhone::Feed(uint8_t byte) {
  if (!chunk_.empty()) {
    chunk_.push_back(byte);
    if (chunk_.size() < 1 + kRun) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.insert(received_.end(), chunk_.begin() + 1, chunk_.end());
    }
    chunk_.clear();
    if (ChunkAllowed()) Answer(std::vector<uint8_t>(kRun, kChunkAck));
    return;
  }
  if (awaitingSector_) {
    awaitingSector_ = false;
    Answer(std::vector<uint8_t>(kRun, kEraseLead));
    return;
  }
  switch (state_) {
    case State::Writing:
      if (byte == kChunkLead) {
        chunk_.push_back(byte);
      } else if (byte == kWriteEnd) {
        state_ = State::Idle;
      }
      return;
    case State::Export:
      if (byte == kChunkLead) {
        if (!ChunkAllowed()) return;
        std::vector<uint8_t> data(kRun, 0x00);
        for (size_t i = 0; i < kRun && exportOffset_ + i < options_.sdram.size(); ++i)
          data[i] = options_.sdram[exportOffset_ + i];
        exportOffset_ += kRun;
        if (exportOffset_ == options_.sdram.size()) data.resize(kRun + options_.trailing, 0x00);
        Answer(std::move(data));
      } else if (byte == kExportEnd) {
        state_ = State::Idle;
      }
      return;
    case State::Awake:
      if (byte == kProbe) {
        state_ = State::Probed;
        Answer(std::vector<uint8_t>(kRun, kProbe));
        return;
      }
      break;
    case State::Probed:
      if (byte == kProbe) return;  // probes sent while the answer was on its way
      break;
    case State::Idle:
      break;
  }
  if (!run_.empty() && run_.back() != byte) run_.clear();
  run_.push_back(byte);
  if (byte == kWakeUp && run_.size() == kWakeUpLength) {
    run_.clear();
    state_ = State::Awake;
    Answer(std::vector<uint8_t>(kRun, kWakeUp));
    return;
  }
  if (run_.size() != kRun || (byte != kBegin && byte != kEraseLead)) return;
  run_.clear();
  if (byte == kEraseLead && state_ == State::Probed) {
    awaitingSector_ = true;
    return;
  }
  if (byte == kBegin) {
    state_ = State::Writing;  // the flash write and the SDRAM load send the same chunks
    Answer(std::vector<uint8_t>(kRun, kBegin));
    return;
  }
  state_ = State::Export;
  exportOffset_ = 0;
  Answer(std::vector<uint8_t>(kRun, kEraseLead));
}

}  // namespace quill::test
