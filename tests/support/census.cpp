#include "tests/support/census.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <sstream>
#include <thread>

namespace quill::test {
namespace {

int CountEntries(const char* folder) {
  int n = 0;
  if (DIR* d = ::opendir(folder)) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
    --n;  // the descriptor of the directory being read
  }
  return n;
}

}  // namespace

int OpenDescriptorCount() {
  return CountEntries("/proc/self/fd");
}

int ThreadCount() {
  return CountEntries("/proc/self/task") + 1;
}

int SettledThreadCount() {
  long tid = 0;
  std::thread([&tid] { tid = ::syscall(SYS_gettid); }).join();
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  // No event marks a task leaving the list: look again shortly, within a bound.
  while (::access(task.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return ThreadCount();
}

Census::Census() : descriptors_(OpenDescriptorCount()), threads_(SettledThreadCount()) {}

bool Census::Back(std::chrono::milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (OpenDescriptorCount() == descriptors_ && ThreadCount() == threads_) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // no event marks a task leaving the list
  }
}

std::string Census::Describe() const {
  std::ostringstream s;
  s << "descriptors " << OpenDescriptorCount() << " (were " << descriptors_ << "), threads " << ThreadCount()
    << " (were " << threads_ << "); open:";
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      if (::readlink(link.c_str(), target, sizeof target - 1) < 0) continue;
      s << " " << e->d_name << "=" << target;
    }
    ::closedir(d);
  }
  return s.str();
}

}  // namespace quill::test
