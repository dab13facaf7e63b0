#include "fleet/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "fleet/child_report.h"

extern char** environ;

namespace quill::fleet {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEventFd = 3;             // where a child finds its event pipe
constexpr size_t kMaxEventLine = 8192;  // a longer line is cut, never grown without limit
constexpr int kExitUsage = 2;

std::string Stamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char text[32];
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms));
  return text;
}

void WriteAll(int fd, const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Waiting:
      return "waiting";
    case Outcome::Running:
      return "running";
    case Outcome::Succeeded:
      return "succeeded";
    case Outcome::Failed:
      return "failed";
    case Outcome::Skipped:
      return "skipped";
    case Outcome::Interrupted:
      return "interrupted";
    case Outcome::NotStarted:
      return "not started";
  }
  return "?";
}

bool Ended(Outcome o) {
  return o != Outcome::Waiting && o != Outcome::Running;
}

bool Good(Outcome o) {
  return o == Outcome::Succeeded || o == Outcome::Skipped;
}

const char* ReachedName(Reached reached) {
  switch (reached) {
    case Reached::Nothing:
      return "no connection";
    case Reached::Connected:
      return "connected";
    case Reached::CommandSent:
      return "command sent";
    case Reached::Acknowledged:
      return "command acknowledged";
  }
  return "?";
}

struct FleetRunner::Child {
  size_t index = 0;
  pid_t pid = -1;
  int events = -1;  // read end of the child's event pipe
  int log = -1;     // the phone's log, shared with the child (append)
  std::string buffer;
  bool ended = false;  // the pipe reached its end
  bool killed = false;
  bool stopSent = false;
  Clock::time_point lastHeard;
  long long transferred = 0;  // finished transfers of this attempt
  std::string store;
  bool storeMade = false;  // made by this run, so this run may remove it
};

FleetRunner::FleetRunner(RunnerOptions options, std::vector<PhoneState> phones, ArgsFor argsFor)
    : options_(std::move(options)),
      argsFor_(std::move(argsFor)),
      phones_(std::move(phones)),
      notBefore_(phones_.size()),
      started_(phones_.size()) {
  options_.jobs = std::max(options_.jobs, 1);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

FleetRunner::~FleetRunner() {
  // Run always leaves no child; a runner dropped while running (it never is) kills what is left.
  for (Child* c : running_) {
    if (c->pid > 0) {
      ::kill(c->pid, SIGKILL);
      ::waitpid(c->pid, nullptr, 0);
    }
    if (c->events >= 0) ::close(c->events);
    if (c->log >= 0) ::close(c->log);
    delete c;
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void FleetRunner::SetOnTick(std::function<void()> onTick, std::chrono::milliseconds every) {
  onTick_ = std::move(onTick);
  tickEvery_ = every;
}

void FleetRunner::WatchFd(int fd, std::function<void()> onReadable) {
  watchFd_ = fd;
  onWatch_ = std::move(onReadable);
}

void FleetRunner::RequestStop() {
  int level = stopLevel_.load();
  while (level < 2 && !stopLevel_.compare_exchange_weak(level, level + 1)) {
  }
  const uint64_t one = 1;
  if (wakeFd_ >= 0) (void)::write(wakeFd_, &one, sizeof one);
}

std::vector<PhoneState> FleetRunner::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phones_;
}

PhoneState FleetRunner::Snapshot(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phones_.at(index);
}

int FleetRunner::ExitCode() const {
  if (stopLevel_.load() > 0) return 130;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const PhoneState& p : phones_)
    if (!Good(p.outcome)) return 1;
  return 0;
}

void FleetRunner::Changed(size_t index) {
  if (onChange_) onChange_(index);
}

void FleetRunner::Log(size_t index, const std::string& line) {
  for (Child* c : running_) {
    if (c->index == index && c->log >= 0) {
      WriteAll(c->log, Stamp() + " fleet: " + line + "\n");
      return;
    }
  }
  const std::string& path = phones_[index].logPath;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return;
  WriteAll(fd, Stamp() + " fleet: " + line + "\n");
  ::close(fd);
}

bool FleetRunner::Launch(size_t index) {
  PhoneState& phone = phones_[index];
  auto child = std::make_unique<Child>();
  child->index = index;
  child->log = ::open(phone.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
  // A private store for the child's options, so the user's store never receives a phone's address; it
  // goes when the child ends. Only a folder this run made is removed: whatever stood there before is left.
  child->store = options_.runDir + "/.store-" + phone.phone.address;
  child->storeMade = ::mkdir(child->store.c_str(), 0700) == 0;
  int fds[2] = {-1, -1};
  if (child->log < 0 || ::pipe2(fds, O_CLOEXEC) != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    phone.outcome = Outcome::Failed;
    phone.message = "cannot start: " + std::string(std::strerror(errno));
    if (child->log >= 0) ::close(child->log);
    return false;
  }
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  child->events = fds[0];

  // The debug lines go to standard error, which is the phone's log.
  std::vector<std::string> args = {options_.program, "--store", child->store, "--debug-log"};
  for (std::string& a : argsFor_(phone)) args.push_back(std::move(a));
  args.insert(args.end(), {"--phone", phone.phone.address, "--progress-fd", std::to_string(kEventFd)});
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, child->log, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, child->log, STDERR_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kEventFd);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group: the terminal's Ctrl-C reaches the fleet only, which decides for each phone.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int spawned = ::posix_spawn(&child->pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(child->events);
    ::close(child->log);
    std::lock_guard<std::mutex> lock(mutex_);
    phone.outcome = Outcome::Failed;
    phone.message = "cannot start " + options_.program + ": " + std::strerror(spawned);
    return false;
  }
  child->lastHeard = Clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (phone.attempts == 0) started_[index] = Clock::now();
    ++phone.attempts;
    phone.outcome = Outcome::Running;
    phone.reached = Reached::Nothing;
    phone.step = "connecting";
    phone.done = phone.total = phone.bytes = 0;
  }
  running_.push_back(child.release());
  Log(index, "attempt " + std::to_string(phone.attempts) + ": started (process " +
                 std::to_string(running_.back()->pid) + ")");
  return true;
}

void FleetRunner::HandleEvent(Child& c, std::string_view line) {
  PhoneState& p = phones_[c.index];
  const size_t space = line.find(' ');
  const std::string_view kind = line.substr(0, space);
  const std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  std::string logLine;
  std::lock_guard<std::mutex> lock(mutex_);
  if (kind == "stage") {
    logLine = "step: " + std::string(rest);
    if (rest == "connected" && p.reached == Reached::Nothing) p.reached = Reached::Connected;
    if (rest == "command") p.reached = Reached::CommandSent;
    if (rest == "acknowledged") p.reached = Reached::Acknowledged;
    if (rest == "command") p.step = "command sent";
  } else if (kind == "message") {
    p.message = UnescapeEventText(rest);
    logLine = "message: " + std::string(rest);
  } else if (kind == "progress") {
    long long done = 0, total = 0;
    char text[256] = {};
    std::string copy(rest);
    if (std::sscanf(copy.c_str(), "%lld %lld %255[^\n]", &done, &total, text) >= 2) {
      // A new transfer: the last one's bytes count.
      if (total != p.total || done < p.done) {
        c.transferred += p.done;
        logLine = "step: " + UnescapeEventText(text) + " (" + std::to_string(total) + " bytes)";
      }
      p.done = done;
      p.total = total;
      if (text[0]) p.step = UnescapeEventText(text);
      // The step texts carry the offset; the bar says how far, the step says what.
      const size_t digits = p.step.find_last_not_of("0123456789");
      if (digits != std::string::npos && digits + 1 < p.step.size() && p.step[digits] == ' ')
        p.step.resize(digits);
      p.bytes = c.transferred + p.done;
    }
  }
  if (!logLine.empty() && c.log >= 0) WriteAll(c.log, Stamp() + " fleet: " + logLine + "\n");
}

void FleetRunner::ReadEvents(Child& c) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(c.events, buffer, sizeof buffer);
    if (n > 0) {
      c.lastHeard = Clock::now();
      c.buffer.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = c.buffer.find('\n')) != std::string::npos) {
        HandleEvent(c, std::string_view(c.buffer).substr(0, end));
        c.buffer.erase(0, end + 1);
      }
      if (c.buffer.size() > kMaxEventLine) c.buffer.clear();
      Changed(c.index);
      continue;
    }
    if (n == 0) c.ended = true;
    if (n < 0 && errno == EINTR) continue;
    return;
  }
}

void FleetRunner::Finish(Child& c, int status) {
  PhoneState& p = phones_[c.index];
  bool retry = false;
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    p.seconds = std::chrono::duration<double>(Clock::now() - started_[c.index]).count();
    p.bytes = c.transferred + p.done;
    const bool exited = WIFEXITED(status);
    const int code = exited ? WEXITSTATUS(status) : -1;
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (exited && code == 0) {
      p.outcome = Outcome::Succeeded;
      if (p.message.empty()) p.message = "done";
    } else if (c.stopSent && (code == 130 || signal == SIGINT || signal == kStopSignal)) {
      // (A child stopped before it set up its handler ends by the stop signal itself: nothing was sent.)
      p.outcome = Outcome::Interrupted;
      p.message = "stopped before its command byte went out (" + std::string(ReachedName(p.reached)) + ")";
    } else {
      p.outcome = Outcome::Failed;
      if (c.killed)
        p.message = "no progress for " + std::to_string(options_.silenceLimit.count() / 1000) + " s; stopped";
      else if (signal)
        p.message = "crashed (" + std::string(::strsignal(signal)) + ")";
      else if (p.message.empty() || code == kExitUsage)
        p.message = "failed (exit code " + std::to_string(code) + "); see " + p.logPath;
      // Only while the phone cannot have started writing: nothing of the command went out.
      retry = code != kExitUsage && p.reached < Reached::CommandSent && p.attempts <= options_.retries &&
              stopLevel_.load() == 0;
    }
    line = std::string(OutcomeName(p.outcome)) + " (" + ReachedName(p.reached) + "): " + p.message;
    if (retry) {
      line +=
          "; retrying: the phone " +
          std::string(p.reached == Reached::Nothing ? "was never reached" : "failed during the data blocks") +
          ", so it cannot have started writing";
      p.outcome = Outcome::Waiting;
      p.step = "waiting to retry";
      notBefore_[c.index] = Clock::now() + options_.retryDelay;
    }
    p.done = p.total = 0;
  }
  Log(c.index, line);
  if (c.storeMade) {
    std::error_code ignored;
    std::filesystem::remove_all(c.store, ignored);
  }
  Changed(c.index);
}

void FleetRunner::Run() {
  auto nextTick = Clock::now();
  for (;;) {
    const int level = stopLevel_.load();
    // A second stop reaches the children still short of their command byte; each decides for itself,
    // so one that sends it at this moment still runs to its end.
    if (level >= 2 && signalledLevel_ < 2) {
      signalledLevel_ = 2;
      for (Child* c : running_) {
        if (phones_[c->index].reached < Reached::CommandSent) {
          c->stopSent = true;
          ::kill(c->pid, kStopSignal);
        }
      }
    }
    if (level >= 1) {
      std::lock_guard<std::mutex> lock(mutex_);
      for (size_t i = 0; i < phones_.size(); ++i)
        if (phones_[i].outcome == Outcome::Waiting) {
          // A phone waiting for its retry keeps its failure and the system's message for it.
          phones_[i].outcome = phones_[i].attempts ? Outcome::Failed : Outcome::NotStarted;
          phones_[i].message = phones_[i].attempts
                                   ? phones_[i].message + " (not retried: the run was stopped)"
                                   : "not started: the run was stopped";
          phones_[i].step.clear();
        }
    }
    // Start what may start.
    const auto now = Clock::now();
    auto earliest = Clock::time_point::max();
    if (level == 0) {
      for (size_t i = 0; i < phones_.size() && static_cast<int>(running_.size()) < options_.jobs; ++i) {
        if (phones_[i].outcome != Outcome::Waiting) continue;
        if (notBefore_[i] > now) {
          earliest = std::min(earliest, notBefore_[i]);
          continue;
        }
        if (!Launch(i)) Log(i, phones_[i].message);
        Changed(i);
      }
    }
    bool waiting = false;
    for (const PhoneState& p : phones_) waiting = waiting || p.outcome == Outcome::Waiting;
    if (running_.empty() && (!waiting || level > 0)) break;

    std::vector<pollfd> fds;
    for (Child* c : running_) fds.push_back({c->ended ? -1 : c->events, POLLIN, 0});
    fds.push_back({wakeFd_, POLLIN, 0});
    fds.push_back({watchFd_, POLLIN, 0});
    auto until = std::min(nextTick, earliest);
    const int timeout = static_cast<int>(std::clamp<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count() + 1, 0, 200));
    const int r = ::poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) break;
    for (size_t i = 0; i < running_.size(); ++i)
      if (fds[i].revents) ReadEvents(*running_[i]);
    if (fds[running_.size()].revents) {
      uint64_t value;
      (void)::read(wakeFd_, &value, sizeof value);
    }
    if (fds[running_.size() + 1].revents && onWatch_) onWatch_();

    // Reap the children that ended; kill one that has gone silent for too long.
    for (size_t i = 0; i < running_.size();) {
      Child& c = *running_[i];
      int status = 0;
      pid_t done = c.ended ? ::waitpid(c.pid, &status, 0) : ::waitpid(c.pid, &status, WNOHANG);
      if (done == 0 && !c.killed && Clock::now() - c.lastHeard > options_.silenceLimit) {
        c.killed = true;
        ::kill(c.pid, SIGKILL);
        done = ::waitpid(c.pid, &status, 0);
      }
      if (done == c.pid || (done < 0 && errno == ECHILD)) {
        ReadEvents(c);
        ::close(c.events);
        ::close(c.log);
        c.log = -1;
        Finish(c, status);
        delete running_[i];
        running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      ++i;
    }
    if (Clock::now() >= nextTick) {
      nextTick = Clock::now() + tickEvery_;
      if (onTick_) onTick_();
    }
  }
  if (onTick_) onTick_();
}

}  // namespace quill::fleet
