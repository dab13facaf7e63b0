// A benchmark's child process spoken to in lines: the benchmark writes commands to its stdin and reads what
// it says from its stdout, each with a deadline, so a child that hangs ends the wait and not the benchmark.
#pragma once

#include <poll.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace quill::bench {

inline int64_t MonotonicNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Child {
  pid_t pid = -1;
  int toChild = -1;    // its stdin
  int fromChild = -1;  // its stdout
  std::string pending;
};

// The next line the child says, within timeoutMs; nothing when it says none in time or has ended.
inline std::optional<std::string> ReadLine(Child& c, int timeoutMs) {
  const int64_t end = MonotonicNs() + static_cast<int64_t>(timeoutMs) * 1000000;
  for (;;) {
    const size_t nl = c.pending.find('\n');
    if (nl != std::string::npos) {
      std::string line = c.pending.substr(0, nl);
      c.pending.erase(0, nl + 1);
      return line;
    }
    const int left = std::max(0, static_cast<int>((end - MonotonicNs()) / 1000000));
    pollfd p{c.fromChild, POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) {
      if (left == 0) return std::nullopt;
      continue;  // interrupted: wait out the rest
    }
    char buf[4096];
    const ssize_t n = ::read(c.fromChild, buf, sizeof buf);
    if (n <= 0) return std::nullopt;
    c.pending.append(buf, static_cast<size_t>(n));
  }
}

// One line to the child; a child that has gone is found when it is waited for.
inline void Tell(const Child& c, const std::string& line) {
  const std::string text = line + "\n";
  if (::write(c.toChild, text.data(), text.size()) < 0) {
  }
}

}  // namespace quill::bench
