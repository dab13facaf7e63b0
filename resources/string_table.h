// The string table: English and Chinese copies of each string. A string is loaded in the language of the
// user-interface thread, which start-up sets to English (locale 1033).
#pragma once

#include <string>

namespace quill {

constexpr int IDS_WAIT = 104;              // progress window caption
constexpr int IDS_START_DEBUG = 105;
constexpr int IDS_STOP_DEBUG = 106;
constexpr int IDS_START_UDP_AUDIO = 107;
constexpr int IDS_STOP_UDP_AUDIO = 108;

constexpr unsigned kLocaleEnglishUS = 1033;
constexpr unsigned kLocaleChinesePRC = 2052;

// Sets the language strings load in (the thread locale of the system). Chinese until start-up says 1033.
void SetThreadLocale(unsigned localeId);
unsigned GetThreadLocale();
// The string in the current language; "" for an id the table does not hold.
std::string LoadString(int id);
std::string LoadString(int id, unsigned localeId);

}  // namespace quill
