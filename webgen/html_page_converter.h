// Converts one HTML page into the text the firmware serves: the page's lines joined into one, and with
// the replace option every known form field and the title replaced by their fixed templates.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "webgen/field_template.h"

namespace quill::webgen {

struct ConvertedPage {
  enum class Error {
    kNone,
    kFieldName,     // a field with an empty name
    kTooManySlots,  // more value slots than the firmware's table holds
  };
  Error error = Error::kNone;
  std::string text;
  std::vector<SlotRecord> records;
};

class HtmlPageConverter {
 public:
  HtmlPageConverter(bool replace, bool chinese) : replace_(replace), chinese_(chinese) {}

  // source: the page file's bytes.
  ConvertedPage Convert(std::string_view source) const;

  // The page as one line: each line's leading white space and its line end removed. A line ends at
  // "\n" or "\r\n" (the pages come from a system that reads text files so); a lone carriage return is a
  // byte of the page. Trailing blanks stay.
  static std::string JoinLines(std::string_view source);

 private:
  bool replace_;
  bool chinese_;
};

}  // namespace quill::webgen
