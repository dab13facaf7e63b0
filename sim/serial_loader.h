// The phone's maintenance loader on a serial line: the simulator holds the master of a pseudo-terminal and
// the tool opens the slave's path as its COM port. The byte protocol is SerialLoaderProtocol's; this class
// adds the device, the thread, the timing of the answers and the phone's free text output.
//
// The simulator keeps a slave descriptor of its own for as long as it runs, so that the master never reads
// a hang-up between two opens by the tool, and it follows the tool's opens and closes of the slave path
// (inotify): a close returns the phone to its start state and drops the answers nobody will read. On
// Stop it keeps the master open, up to a bound, until the tool has closed the port: a master closed right
// after a reply can make the tool's read fail before the reply is read.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/output_schedule.h"
#include "sim/serial_loader_protocol.h"
#include "sim/unique_fd.h"
#include "sim/unit_log.h"

namespace quill::sim {

class SerialLoader {
 public:
  struct Config {
    int eraseMs = 2000;      // a sector erase, in the system's ms (timing seam); the tool gives 16000
    int closeWaitMs = 1000;  // real time Stop waits for the tool to close the port
    // > 0: the line keeps the pace of a real wire at this many baud, ten bits a byte, each way on its
    // own: a byte from the tool counts as arrived one byte time after the one before it (or after it was
    // read), an answer leaves no earlier than that, and reaches the tool as its bytes come off the wire. A
    // pseudo-terminal passes bytes at once; a benchmark of whole commands needs the wire's time. 0: no pace.
    int wireBaud = 0;
  };

  explicit SerialLoader(Config config);
  SerialLoader() : SerialLoader(Config{}) {}
  ~SerialLoader();
  SerialLoader(const SerialLoader&) = delete;
  SerialLoader& operator=(const SerialLoader&) = delete;

  // Opens the pseudo-terminal (raw line) and starts the thread; false with Error() set on failure.
  bool Start();
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  std::string Error() const;
  // The path the tool opens as its COM port (/dev/pts/N); empty before Start.
  const std::string& SlavePath() const { return slavePath_; }

  void SetFaults(const SerialFaults& faults);
  SerialFaults Faults() const;
  void SetSdramImage(std::vector<uint8_t> image);
  // The phone's free text output, as the serial debug output shows it.
  void SendText(std::string_view text);

  std::vector<uint8_t> FlashPage() const;
  std::vector<int> ErasedSectors() const;
  std::vector<uint8_t> SdramReceived() const;
  int FlashWritesEnded() const;
  int SdramLoadsEnded() const;

  UnitLog& Log() { return log_; }
  const UnitLog& Log() const { return log_; }
  // The tool's opens of the port: each open after a close starts a new session (units carry its number).
  bool IsLineOpen() const;
  int Sessions() const;
  int LineCloses() const;
  bool WaitForLineOpen(bool open, std::chrono::milliseconds timeout) const;
  bool WaitForLineCloses(int n, std::chrono::milliseconds timeout) const;

 private:
  void Run();
  void ReadLine();
  void WatchOpens();
  void FinishClose();
  void CloseWhenToolHasClosed();
  // Queues an answer that is ready at ready: at once, or at the wire's pace (Config::wireBaud).
  void QueueOut(std::vector<uint8_t> bytes, SimClock::time_point ready);

  Config config_;
  UnitLog log_;
  Event stop_{Event::Kind::ManualReset};
  Event wake_{Event::Kind::AutoReset};
  std::thread thread_;
  std::string slavePath_;
  UniqueFd master_;
  UniqueFd slave_;    // our own hold on the slave, see above
  UniqueFd inotify_;  // opens and closes of the slave path

  // Loader thread only.
  OutputSchedule out_;
  bool blocked_ = false;       // the line took no more; wait for POLLOUT
  bool closePending_ = false;  // the tool closed the port; its last bytes may still be on their way
  SimClock::time_point closeAt_{};
  SimClock::duration byteTime_{};   // one byte on the wire; zero without a pace
  SimClock::time_point inFree_{};   // the tool's last byte has arrived by then
  SimClock::time_point outFree_{};  // the phone's last queued byte has left by then

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string error_;
  SerialLoaderProtocol protocol_;  // under mutex_: the loader thread feeds it, callers read what it keeps
  std::vector<uint8_t> text_;      // free text waiting to be queued by the loader thread
  int opens_ = 0;                  // the tool's descriptors on the slave
  int sessions_ = 0;
  int lineCloses_ = 0;
};

}  // namespace quill::sim
