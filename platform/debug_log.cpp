#include "platform/debug_log.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace quill {
namespace {

std::mutex g_mutex;
DebugLog::Sink& CurrentSink() {
  static DebugLog::Sink sink;
  return sink;
}

}  // namespace

void OutputDebugString(std::string_view text) {
  // The sink runs under the lock, so a capture that ends cannot be called after it has gone.
  std::lock_guard<std::mutex> lock(g_mutex);
  if (CurrentSink()) CurrentSink()(text);
}

DebugLog::Sink DebugLog::SetSink(Sink sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Sink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

void DebugLog::ToStderr() {
  SetSink([](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  });
}

bool DebugLog::ToFile(const std::string& path) {
  std::shared_ptr<FILE> file(std::fopen(path.c_str(), "ab"), [](FILE* f) {
    if (f) std::fclose(f);
  });
  if (!file) return false;
  SetSink([file](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file.get());
    std::fflush(file.get());
  });
  return true;
}

void DebugLog::FromEnvironment() {
  const char* value = std::getenv("QUILL_DEBUG_LOG");
  if (!value || !*value) return;
  if (std::string_view(value) == "stderr")
    ToStderr();
  else if (!ToFile(value))
    std::fprintf(stderr, "quilltool: cannot open debug log file %s\n", value);
}

DebugLogCapture::DebugLogCapture() {
  previous_ = DebugLog::SetSink([this](std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(text);
  });
}

DebugLogCapture::~DebugLogCapture() { DebugLog::SetSink(std::move(previous_)); }

std::vector<std::string> DebugLogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool DebugLogCapture::Contains(std::string_view text) const { return Count(text) > 0; }

size_t DebugLogCapture::Count(std::string_view text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), text));
}

void DebugLogCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

}  // namespace quill
