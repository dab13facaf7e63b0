// The debugger-output channel: the transports' diagnostic lines (exact texts, line end included) go here.
// Silent by default; to stderr or a file when the user asks (--debug-log or QUILL_DEBUG_LOG); captured in
// tests so they can assert the exact lines.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// Writes one diagnostic text as given (the system's texts carry their own "\n").
void OutputDebugString(std::string_view text);

class DebugLog {
 public:
  using Sink = std::function<void(std::string_view)>;
  // Replaces the sink; an empty sink makes the channel silent. Returns the previous sink.
  static Sink SetSink(Sink sink);
  static void ToStderr();
  // False when the file cannot be opened for appending.
  static bool ToFile(const std::string& path);
  // Applies QUILL_DEBUG_LOG: "stderr", or a file path; unset or empty leaves the channel as it is.
  static void FromEnvironment();
};

// Test helper: records every text written while it exists.
class DebugLogCapture {
 public:
  DebugLogCapture();
  ~DebugLogCapture();
  DebugLogCapture(const DebugLogCapture&) = delete;
  DebugLogCapture& operator=(const DebugLogCapture&) = delete;

  std::vector<std::string> Lines() const;
  bool Contains(std::string_view text) const;
  size_t Count(std::string_view text) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  DebugLog::Sink previous_;
};

}  // namespace quill
