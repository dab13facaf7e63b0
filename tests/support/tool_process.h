// A program (the built quilltool) run as its own process, as a user runs it: standard input, output and
// error on pipes of their own (or the error joined to the output), every read bounded, ended by a signal
// or waited for. The process is killed and reaped when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/unique_fd.h"

namespace quill::test {

class ToolProcess {
 public:
  enum class Errors { Apart, WithOutput };

  ToolProcess() = default;
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  bool Start(const std::string& program, const std::vector<std::string>& args, Errors errors = Errors::Apart);
  void Input(const std::string& text);
  // Reads both outputs until the given one holds text (at or after from); false at the time-out or when
  // the outputs have ended.
  bool WaitForOut(const std::string& text, size_t from = 0);
  // As WaitForOut, for at most wait: a test that sends again until the tool shows it.
  bool WaitForOutWithin(const std::string& text, std::chrono::milliseconds wait);
  bool WaitForErr(const std::string& text);
  // The exit code (128 + the signal for a signal) once the process has ended and its outputs closed; -1 if
  // it does not end in time.
  int Wait();
  void Signal(int sig);
  const std::string& Out() const { return outText_; }
  const std::string& Err() const { return errText_; }

 private:
  bool WaitFor(const std::string& in, const std::string& text, size_t from,
               std::chrono::steady_clock::duration wait);
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  sim::UniqueFd in_;
  sim::UniqueFd out_;
  sim::UniqueFd err_;
  std::string outText_;
  std::string errText_;
};

}  // namespace quill::test
