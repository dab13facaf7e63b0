#include "tests/support/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quill::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);

void Drain(const pollfd& p, sim::UniqueFd& fd, std::string& into) {
  if (!p.revents) return;
  char buffer[4096];
  ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
  if (n <= 0)
    fd.Reset();
  else
    into.append(buffer, static_cast<size_t>(n));
}

}  // namespace

ToolProcess::~ToolProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool ToolProcess::Start(const std::string& program, const std::vector<std::string>& args, Errors errors) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return false;
  in_.Reset(in[1]);
  sim::UniqueFd childIn(in[0]);
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  out_.Reset(out[0]);
  sim::UniqueFd childOut(out[1]);
  sim::UniqueFd childErr;
  if (errors == Errors::Apart) {
    if (::pipe2(err, O_CLOEXEC) != 0) return false;
    err_.Reset(err[0]);
    childErr.Reset(err[1]);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, childIn.Get(), 0);
  posix_spawn_file_actions_adddup2(&actions, childOut.Get(), 1);
  posix_spawn_file_actions_adddup2(&actions, childErr.IsOpen() ? childErr.Get() : childOut.Get(), 2);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(all.size() + 1);
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int r = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) pid_ = -1;
  return r == 0;  // the child's ends close here, so the outputs end when the child does
}

void ToolProcess::Input(const std::string& text) {
  (void)!::write(in_.Get(), text.data(), text.size());
}

bool ToolProcess::WaitForOut(const std::string& text, size_t from) {
  return WaitFor(outText_, text, from);
}

bool ToolProcess::WaitForErr(const std::string& text) {
  return WaitFor(errText_, text, 0);
}

bool ToolProcess::WaitFor(const std::string& in, const std::string& text, size_t from) {
  const auto deadline = Clock::now() + kWait;
  while (in.find(text, from) == std::string::npos) {
    if (!ReadSome(deadline)) return false;
  }
  return true;
}

int ToolProcess::Wait() {
  const auto deadline = Clock::now() + kWait;
  while (ReadSome(deadline)) {
  }
  if (out_.IsOpen() || err_.IsOpen() || pid_ <= 0) return -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ToolProcess::Signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

bool ToolProcess::ReadSome(Clock::time_point deadline) {
  if (!out_.IsOpen() && !err_.IsOpen()) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd p[2] = {{out_.IsOpen() ? out_.Get() : -1, POLLIN, 0}, {err_.IsOpen() ? err_.Get() : -1, POLLIN, 0}};
  if (left <= 0 || ::poll(p, 2, static_cast<int>(left)) < 1) return false;
  Drain(p[0], out_, outText_);
  Drain(p[1], err_, errText_);
  return true;
}

}  // namespace quill::test
