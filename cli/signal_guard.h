// For the commands that run until interrupted (monitor, simulate): SIGINT and SIGTERM stop reaching the
// process and arrive on a descriptor the command waits on, so it can end cleanly. Set it up before any
// thread starts: the threads inherit the mask.
#pragma once

#include <signal.h>

namespace quill::cli {

class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;
  // Readable once SIGINT or SIGTERM came; -1 when it could not be made.
  int Fd() const { return fd_; }

 private:
  sigset_t set_{};
  sigset_t old_{};
  int fd_ = -1;
};

}  // namespace quill::cli
