#include "cli/signal_guard.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <ctime>

namespace quill::cli {

SignalGuard::SignalGuard() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set_, &old_);
  fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK);
}

SignalGuard::~SignalGuard() {
  if (fd_ >= 0) ::close(fd_);
  // A signal that came after the wait ended stays pending; take it so it does not end the process later.
  timespec zero{};
  while (sigtimedwait(&set_, nullptr, &zero) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

}  // namespace quill::cli
