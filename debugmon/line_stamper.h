// Time stamps at the start of each line of a monitor's text, for the command line's --timestamps and the
// output windows' "Show timestamps". A line is stamped when its first character arrives, so a line that
// comes in pieces carries the time it began.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quill {

class CLineStamper {
 public:
  enum class Mode {
    Off,
    WallClock,  // "[2026-12-07 19:45:01.123] ", local time
    Relative,   // "[+12.345] ", seconds since the stamper began
  };
  struct Time {
    std::chrono::system_clock::time_point wall;
    std::chrono::steady_clock::time_point steady;
    static Time Now() { return {std::chrono::system_clock::now(), std::chrono::steady_clock::now()}; }
  };

  explicit CLineStamper(Mode mode = Mode::Off, Time start = Time::Now()) : mode_(mode), start_(start) {}

  // The text with a stamp before every line that begins in it. Off: the text as it came.
  std::string Stamp(std::string_view text, const Time& now);
  std::string Stamp(std::string_view text) { return Stamp(text, Time::Now()); }

  Mode GetMode() const { return mode_; }
  // A line already begun stays as it is; the next line is stamped, or not, by the new mode.
  void SetMode(Mode mode) { mode_ = mode; }

  // The stamp itself, as it appears before a line.
  std::string Prefix(const Time& now) const;

 private:
  Mode mode_;
  Time start_;
  bool atLineStart_ = true;
};

}  // namespace quill
