#include "resources/string_table.h"

#include <atomic>

namespace quill {
namespace {

struct Entry {
  int id;
  const char* english;
  const char* chinese;
};

constexpr Entry kStrings[] = {
    {IDS_WAIT, "Wait...", "请等待..."},
    {IDS_START_DEBUG, "Start Debug", "开始调试"},
    {IDS_STOP_DEBUG, "Stop Debug", "停止调试"},
    {IDS_START_UDP_AUDIO, "Start Udp Audio", "开始音频Udp"},
    {IDS_STOP_UDP_AUDIO, "Stop Udp Audio", "停止音频Udp"},
};

// The dialog templates are Chinese; until start-up sets English the Chinese copies load.
std::atomic<unsigned> g_locale{kLocaleChinesePRC};

}  // namespace

void SetThreadLocale(unsigned localeId) { g_locale = localeId; }
unsigned GetThreadLocale() { return g_locale; }

std::string LoadString(int id, unsigned localeId) {
  for (const auto& e : kStrings)
    if (e.id == id) return localeId == kLocaleEnglishUS ? e.english : e.chinese;
  return {};
}

std::string LoadString(int id) { return LoadString(id, g_locale); }

}  // namespace quill
