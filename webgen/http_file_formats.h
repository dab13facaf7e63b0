// The texts of the three generated C headers and of the temporary .htm files, one function per format.
// The headers use CCHAR, HTTP_INFO_NUM and HTTP_MESSAGE_SDRAM_LO, which the firmware sources that include
// them define.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "webgen/field_template.h"

namespace quill::webgen {

// Common file: where page p lies in the phone's page memory, its size in 256-byte blocks and its length.
std::string CommonDefines(int page, size_t length);

// Page file: the page text as the array _cHttpPage<p>Msg, sixteen bytes to a line. Chinese pages are
// written byte by byte in hexadecimal; otherwise as character constants.
std::string PageArray(int page, std::string_view text, bool chinese);

// Replace-options file: the number of slot records and, when there are any, the array _cHttpPage<p>Info.
std::string OptionTable(int page, const std::vector<SlotRecord>& records);

// The temporary .htm file of page p: the pattern's folder and extension around "temp_page_<p>" (the
// pattern's own name is dropped).
std::string TempHtmlPath(std::string_view pattern, int page);
// Its content: the page with a line end after every ">".
std::string TempHtmlText(std::string_view text);

}  // namespace quill::webgen
