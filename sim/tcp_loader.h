// The phone's maintenance loader over TCP: listens on port 8739 of a loopback address, answers each 128-byte
// data block and each one-byte command with 0xFF, each "dh"/"sh" request with the next 128 bytes of its
// SDRAM or settings image, keeps what it received under the command that followed it, and closes its
// listener for an erase time after it accepts a command. Faults on request. One thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/unit_log.h"

namespace quill::sim {

// Loader protocol facts, as the tool sends them.
constexpr uint16_t kLoaderPort = 8739;
constexpr size_t kLoaderBlock = 128;  // data blocks and read answers are always this long
constexpr uint8_t kLoaderAck = 0xFF;  // the answer to a block or a command, a segment of its own
constexpr uint8_t kCmdSettings = 0x80;
constexpr uint8_t kCmdProgram = 0x81;
constexpr uint8_t kCmdRing = 0x82;
constexpr uint8_t kCmdHold = 0x83;
constexpr uint8_t kCmdDigitMap = 0x84;
constexpr uint8_t kCmdAlternate = 0x85;
// Pages 0-15 are commands too; anything else of one byte is the start of a block.
bool IsLoaderCommand(uint8_t byte);

struct TcpFaults {
  bool noListener = false;            // refuse connections: nothing listens on the port
  bool silent = false;                // accept and record, but never answer nor act on anything
  bool refuseUpdates = false;         // after a command go on accepting connections, and keep nothing
  int lateMs = 0;                     // every answer this late, in the system's ms (timing seam)
  int splitPiece = 0;                 // 1..127: a 128-byte answer goes out in pieces of this size, apart
  std::vector<uint8_t> joinAfterAck;  // sent in one segment right after each 0xFF
  std::optional<uint8_t> wrongAck;    // answered in place of 0xFF
  std::vector<uint8_t> afterBlock;    // sent right after each 128-byte read answer, as part of it
  int dropAfterUnits = -1;            // >= 0: answers that many units of a connection; the next one drops it
  bool dropWithReset = false;         // drop with a reset (SO_LINGER 0) instead of an orderly close
  // >= 1: a connection's answer of this number is sent and the connection reset right after it, in the
  // same turn, so that the tool finds the answer and the reset together. 0: every connection is reset as
  // soon as it is accepted.
  int resetAfterAnswers = -1;
};

class TcpLoader {
 public:
  struct Config {
    std::string address;          // dotted, in 127.0.0.0/8
    uint16_t port = kLoaderPort;  // 0: any free port (benchmarks), see Port()
    // How long the listener stays closed after a command, in the system's ms (timing seam). The tool
    // reconnects 500 ms after the command and waits up to 2000 ms; the flash hand-over looks for up to
    // 4500 ms, so the default outlasts both.
    int eraseMs = 5000;
    // Real time between the pieces of a split answer, so that they reach the tool as separate reads.
    int splitGapMs = 20;
  };

  explicit TcpLoader(Config config);
  ~TcpLoader();
  TcpLoader(const TcpLoader&) = delete;
  TcpLoader& operator=(const TcpLoader&) = delete;

  // Binds the listener (unless refusing connections) and starts the thread. False with Error() set when
  // the address is not loopback or cannot be bound.
  bool Start();
  // Closes every connection and the listener and joins the thread; safe to call twice.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  std::string Error() const;
  const std::string& Address() const { return config_.address; }
  uint16_t Port() const { return port_.load(); }

  void SetFaults(const TcpFaults& faults);
  TcpFaults Faults() const;
  // The images the read requests serve, 128 bytes per request from the start of each connection; bytes past
  // an image's end read as 0x00.
  void SetSettingsImage(std::vector<uint8_t> image);
  void SetSdramImage(std::vector<uint8_t> image);

  // The data blocks received before an accepted command, by command byte (a page by its number).
  std::optional<std::vector<uint8_t>> Stored(uint8_t command) const;
  std::optional<std::vector<uint8_t>> Page(int page) const { return Stored(static_cast<uint8_t>(page)); }
  // The data blocks of the last connection that ended with blocks after its last command (SDRAM load).
  std::vector<uint8_t> SdramReceived() const;
  int CommandsAccepted() const;
  int CommandsRefused() const;

  UnitLog& Log() { return log_; }
  const UnitLog& Log() const { return log_; }
  int Connections() const;        // accepted so far
  int ClosedConnections() const;  // ended so far (by either side)
  bool IsListening() const;
  int EraseWindowsEnded() const;

  // Bounded waits in real time, for tests.
  bool WaitForConnections(int n, std::chrono::milliseconds timeout) const;
  bool WaitForClosedConnections(int n, std::chrono::milliseconds timeout) const;
  bool WaitForListening(bool listening, std::chrono::milliseconds timeout) const;
  bool WaitForEraseWindowsEnded(int n, std::chrono::milliseconds timeout) const;

  // Lines for people (connections, listener closed and open again); called on the loader's thread.
  using Notice = std::function<void(const std::string&)>;
  void SetNotice(Notice notice);

 private:
  struct Connection;

  void Run();
  void UpdateListener();
  bool OpenListener();
  void AcceptAll(std::vector<std::unique_ptr<Connection>>& connections);
  void ReadFrom(Connection& c);
  void Frame(Connection& c);
  void HandleUnit(Connection& c, SimUnit unit);
  void QueueAck(Connection& c, const TcpFaults& f);
  void QueueBlock(Connection& c, const TcpFaults& f, std::vector<uint8_t> block);
  void CountAnswer(Connection& c, const TcpFaults& f);
  void Drop(Connection& c, bool reset);
  void EndConnection(Connection& c);
  void Tell(const std::string& line);
  bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout) const;

  Config config_;
  std::atomic<uint16_t> port_{0};  // rewritten by the loader thread when it binds again
  uint32_t address_ = 0;           // network order
  UnitLog log_;
  Event stop_{Event::Kind::ManualReset};
  Event wake_{Event::Kind::AutoReset};
  std::thread thread_;

  // Loader thread only.
  int listener_ = -1;
  bool erasing_ = false;
  std::chrono::steady_clock::time_point eraseEnd_{};
  std::chrono::steady_clock::time_point listenRetry_{};
  int nextConnectionId_ = 1;

  // Shared with the callers, under mutex_; changed_ tells the waiters.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string error_;
  TcpFaults faults_;
  std::vector<uint8_t> settingsImage_;
  std::vector<uint8_t> sdramImage_;
  std::map<uint8_t, std::vector<uint8_t>> stored_;
  std::vector<uint8_t> sdramReceived_;
  int accepted_ = 0;
  int refused_ = 0;
  int connections_ = 0;
  int closed_ = 0;
  bool listening_ = false;
  int eraseWindowsEnded_ = 0;
  std::shared_ptr<const Notice> notice_;
};

}  // namespace quill::sim
