#include "tests/support/transport_harness.h"

#include <algorithm>

#include "transport/data_block.h"

namespace quill::test {

Received Inbox::Add(Message& m) {
  Received r;
  r.message = m.message;
  r.wParam = m.wParam;
  r.lParam = m.lParam;
  if (auto block = m.Take<DataBlock>()) {
    r.hasBlock = true;
    r.bytes.assign(block->buf(), block->buf() + block->len);
    r.capacity = block->capacity();
    r.lParamIsBlock = m.lParam == reinterpret_cast<LPARAM>(block.get());
    r.lParamIsBytes = m.lParam == reinterpret_cast<LPARAM>(block->buf());
    if (block->len < block->capacity()) block->buf()[block->len] = 0;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(r);
  }
  changed_.notify_all();
  return r;
}

bool Inbox::WaitFor(const std::function<bool(const std::vector<Received>&)>& done,
                    std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return done(items_); });
}

bool Inbox::WaitForCount(uint32_t message, size_t count, std::chrono::milliseconds limit) {
  return WaitFor(
      [&](const std::vector<Received>& items) {
        return static_cast<size_t>(std::count_if(items.begin(), items.end(), [&](const Received& r) {
                 return r.message == message;
               })) >= count;
      },
      limit);
}

bool Inbox::WaitForBytes(uint32_t message, size_t count, std::chrono::milliseconds limit) {
  return WaitFor(
      [&](const std::vector<Received>& items) {
        size_t total = 0;
        for (auto& r : items)
          if (r.message == message) total += r.bytes.size();
        return total >= count;
      },
      limit);
}

std::vector<Received> Inbox::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return items_;
}

std::vector<Received> Inbox::Of(uint32_t message) const {
  std::vector<Received> out;
  for (auto& r : All())
    if (r.message == message) out.push_back(r);
  return out;
}

std::vector<uint8_t> Inbox::Joined(uint32_t message) const {
  std::vector<uint8_t> out;
  for (auto& r : Of(message)) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  return out;
}

LogWatch::LogWatch() {
  previous_ = DebugLog::SetSink([this](std::string_view text) {
    std::unique_lock<std::mutex> lock(mutex_);
    lines_.emplace_back(text);
    changed_.notify_all();
    if (!holdLine_.empty() && text == holdLine_) {
      holdLine_.clear();
      auto holdFor = holdFor_;
      lock.unlock();
      holding_.Set();
      // Stays inside the log, as a call that does not return would; bounded, so the thread always ends.
      lock.lock();
      changed_.wait_for(lock, holdFor, [&] { return released_; });
    }
  });
}

LogWatch::~LogWatch() {
  DebugLog::SetSink(std::move(previous_));
}

std::vector<std::string> LogWatch::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t LogWatch::Count(const std::string& line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line));
}

bool LogWatch::WaitFor(const std::string& line, std::chrono::milliseconds limit) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return std::count(lines_.begin(), lines_.end(), line) > 0; });
}

void LogWatch::Hold(const std::string& line, std::chrono::milliseconds holdFor) {
  std::lock_guard<std::mutex> lock(mutex_);
  holdLine_ = line;
  holdFor_ = holdFor;
  released_ = false;
}

void LogWatch::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void LogWatch::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace quill::test
