#include "sim/unit_log.h"

namespace quill::sim {

void UnitLog::Append(SimUnit unit) {
  std::shared_ptr<const Observer> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    observer = observer_;
    if (units_.size() < capacity_) {
      units_.push_back(unit);
    }
  }
  changed_.notify_all();
  if (observer && *observer) (*observer)(unit);
}

size_t UnitLog::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

std::vector<SimUnit> UnitLog::Units() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return units_;
}

std::vector<SimUnit> UnitLog::Units(UnitKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SimUnit> out;
  for (const SimUnit& u : units_) {
    if (u.kind == kind) out.push_back(u);
  }
  return out;
}

std::vector<uint8_t> UnitLog::Bytes(int session) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint8_t> out;
  for (const SimUnit& u : units_) {
    if (session == 0 || u.session == session) out.insert(out.end(), u.bytes.begin(), u.bytes.end());
  }
  return out;
}

bool UnitLog::WaitForCount(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return count_ >= n; });
}

void UnitLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  units_.clear();
  count_ = 0;
}

void UnitLog::SetObserver(Observer observer) {
  auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  observer_ = std::move(shared);
}

}  // namespace quill::sim
