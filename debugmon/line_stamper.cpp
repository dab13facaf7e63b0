#include "debugmon/line_stamper.h"

#include <time.h>

#include <cstdio>

namespace quill {

std::string CLineStamper::Prefix(const Time& now) const {
  using namespace std::chrono;
  char text[64];
  if (mode_ == Mode::Relative) {
    const auto elapsed = duration_cast<milliseconds>(now.steady - start_.steady).count();
    std::snprintf(text, sizeof text, "[+%lld.%03lld] ", static_cast<long long>(elapsed / 1000),
                  static_cast<long long>(elapsed % 1000));
    return text;
  }
  if (mode_ != Mode::WallClock) return {};
  const auto sinceEpoch = duration_cast<milliseconds>(now.wall.time_since_epoch()).count();
  const time_t seconds = static_cast<time_t>(sinceEpoch / 1000);
  tm local{};
  if (::localtime_r(&seconds, &local) == nullptr) return {};
  char date[32];
  if (std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
  std::snprintf(text, sizeof text, "[%s.%03lld] ", date, static_cast<long long>(sinceEpoch % 1000));
  return text;
}

std::string CLineStamper::Stamp(std::string_view text, const Time& now) {
  if (mode_ == Mode::Off) {
    if (!text.empty()) atLineStart_ = text.back() == '\n';
    return std::string(text);
  }
  const std::string prefix = Prefix(now);
  std::string out;
  out.reserve(text.size() + prefix.size());
  size_t at = 0;
  while (at < text.size()) {
    if (atLineStart_) out += prefix;
    const size_t lf = text.find('\n', at);
    const size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    out.append(text.substr(at, end - at));
    atLineStart_ = lf != std::string_view::npos;
    at = end;
  }
  return out;
}

}  // namespace quill
