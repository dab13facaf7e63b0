// The fleet's engine: one child process per phone, running this same tool's single-phone command with a
// private store and its own log, up to N at a time. A child reports its steps on a pipe
// (fleet/child_report.h), so a crash or a hang ends only its own phone, and the parent knows whether the
// phone can have started writing before it retries. No QtWidgets: the command line and the window both drive
// it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "fleet/inventory.h"

namespace quill::fleet {

enum class Outcome { Waiting, Running, Succeeded, Failed, Skipped, Interrupted, NotStarted };
const char* OutcomeName(Outcome outcome);
bool Ended(Outcome outcome);
bool Good(Outcome outcome);  // succeeded, or skipped as done before

// How far the phone's last attempt got: whether it can have started writing.
enum class Reached { Nothing, Connected, CommandSent, Acknowledged };
const char* ReachedName(Reached reached);

struct PhoneState {
  Phone phone;
  Outcome outcome = Outcome::Waiting;
  std::string message;  // the system's last message for this phone, or the fleet's own
  std::string step;     // what it is doing now
  long long done = 0, total = 0;
  long long bytes = 0;  // moved by the last attempt
  double seconds = 0;
  int attempts = 0;
  Reached reached = Reached::Nothing;
  std::string logPath;
};

struct RunnerOptions {
  std::string program;  // this tool's executable
  std::string runDir;   // exists; the logs and the private stores go here
  int jobs = 8;
  int retries = 0;
  // A child that reports nothing for this long is taken as hung and killed.
  std::chrono::milliseconds silenceLimit{60000};
  std::chrono::milliseconds retryDelay{1000};
};

class FleetRunner {
 public:
  // The single-phone command line for a phone, after the program and the fleet's options, before --phone.
  using ArgsFor = std::function<std::vector<std::string>(const PhoneState&)>;

  FleetRunner(RunnerOptions options, std::vector<PhoneState> phones, ArgsFor argsFor);
  ~FleetRunner();
  FleetRunner(const FleetRunner&) = delete;
  FleetRunner& operator=(const FleetRunner&) = delete;

  // Runs every phone not yet ended to its end, or until a stop. Returns when no child is left.
  void Run();

  // First call: no new phone starts, running ones finish. Second: running ones that have not sent their
  // command byte stop too; a phone past it (erasing) is never cut off. Any thread.
  void RequestStop();
  int StopLevel() const { return stopLevel_.load(); }

  // A copy of every phone's state, any thread.
  std::vector<PhoneState> Snapshot() const;
  PhoneState Snapshot(size_t index) const;
  // Called on Run's thread after a phone's state changed (its index), and every tick.
  void SetOnChange(std::function<void(size_t)> onChange) { onChange_ = std::move(onChange); }
  void SetOnTick(std::function<void()> onTick, std::chrono::milliseconds every);
  // A descriptor Run also waits on (the command line's signals), with what to do when it is readable.
  void WatchFd(int fd, std::function<void()> onReadable);

  // The exit code of the run: 130 when stopped, 1 when any phone failed, else 0.
  int ExitCode() const;

 private:
  struct Child;
  bool Launch(size_t index);
  void ReadEvents(Child& child);
  void HandleEvent(Child& child, std::string_view line);
  void Finish(Child& child, int status);
  void Log(size_t index, const std::string& line);
  void Changed(size_t index);

  RunnerOptions options_;
  ArgsFor argsFor_;
  mutable std::mutex mutex_;  // guards phones_ against Snapshot
  std::vector<PhoneState> phones_;
  std::vector<Child*> running_;
  std::vector<std::chrono::steady_clock::time_point> notBefore_;
  std::vector<std::chrono::steady_clock::time_point> started_;
  std::atomic<int> stopLevel_{0};
  int wakeFd_ = -1;
  int signalledLevel_ = 0;
  std::function<void(size_t)> onChange_;
  std::function<void()> onTick_;
  std::chrono::milliseconds tickEvery_{200};
  int watchFd_ = -1;
  std::function<void()> onWatch_;
};

}  // namespace quill::fleet
