// The process's descriptors and threads, counted before and after, so that a test can show that nothing was
// left behind: no descriptor open, no thread running.
#pragma once

#include <chrono>
#include <string>

namespace quill::test {

int OpenDescriptorCount();
int ThreadCount();
// The thread count to compare a later ThreadCount() with. A thread checker starts a helper thread of its own
// with the process's first thread, so one is started and joined first; and a joined thread stays listed
// until the system has finished ending it, so the count is read only once that one has left the list.
int SettledThreadCount();

// The counts when it was made. Back() waits (bounded) until both are as they were: a joined thread leaves
// the task list a moment after it returns, and a simulator thread may still be closing its end.
class Census {
 public:
  Census();
  bool Back(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // The counts now and then, and every open descriptor with what it points at: for a failure message.
  std::string Describe() const;
  // The test itself closed descriptors that were counted.
  void Closed(int descriptors) { descriptors_ -= descriptors; }

 private:
  int descriptors_;
  int threads_;
};

}  // namespace quill::test
