// The record of what a loader received: units in order, thread-safe, with bounded waits for tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/sim_unit.h"

namespace quill::sim {

class UnitLog {
 public:
  // A long SDRAM transfer is some 80000 units; past the capacity units are counted, not kept.
  static constexpr size_t kDefaultCapacity = 500000;
  using Observer = std::function<void(const SimUnit&)>;

  explicit UnitLog(size_t capacity = kDefaultCapacity) : capacity_(capacity) {}
  UnitLog(const UnitLog&) = delete;
  UnitLog& operator=(const UnitLog&) = delete;

  void Append(SimUnit unit);
  // Units appended since the last Clear, kept or not.
  size_t Count() const;
  std::vector<SimUnit> Units() const;
  std::vector<SimUnit> Units(UnitKind kind) const;
  // The bytes of the kept units joined in order: what arrived, byte for byte (session 0: every session).
  std::vector<uint8_t> Bytes(int session = 0) const;
  // Real time: this is a test's synchronisation, not a duration of the phone.
  bool WaitForCount(size_t n, std::chrono::milliseconds timeout) const;
  void Clear();
  // Called on the loader's thread after each unit is recorded, outside the log's lock.
  void SetObserver(Observer observer);

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<SimUnit> units_;
  size_t count_ = 0;
  std::shared_ptr<const Observer> observer_;
};

}  // namespace quill::sim
