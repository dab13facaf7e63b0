// The lock wrappers of the transports: one critical section per transport guards its output queue (and the
// little its callers and threads share with it, such as which queue is the current one); it is never held
// across a wait or a device call, and no code holds two.
#pragma once

#include <mutex>

namespace quill {

class CCriticalSection {
 public:
  bool Lock() {
    mutex_.lock();
    return true;
  }
  bool Unlock() {
    mutex_.unlock();
    return true;
  }

 private:
  std::mutex mutex_;
};

// A scope lock bound to one critical section, created unlocked; leaving the scope unlocks it if held.
class CSingleLock {
 public:
  explicit CSingleLock(CCriticalSection* section, bool initialLock = false) : section_(section) {
    if (initialLock) Lock();
  }
  ~CSingleLock() { Unlock(); }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

  bool Lock() {
    if (!locked_) locked_ = section_->Lock();
    return locked_;
  }
  bool Unlock() {
    if (locked_) {
      section_->Unlock();
      locked_ = false;
    }
    return true;
  }
  bool IsLocked() const { return locked_; }

 private:
  CCriticalSection* section_;
  bool locked_ = false;
};

}  // namespace quill
