#include "webgen/html_page_converter.h"

#include <algorithm>

namespace quill::webgen {
namespace {

constexpr size_t npos = std::string_view::npos;
// A tag whose ">" lies this close behind its "<" (<br>, <p>, <td>) cannot hold a field: skipped unread.
constexpr size_t kShortTag = 5;

bool IsLeadingSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != prefix[i]) return false;
  }
  return true;
}

// The earlier of the two spellings of an end tag (mixed case such as </Select> is not recognised). The
// second spelling is only looked for in front of the first, so a page that uses one spelling throughout
// is not scanned to its end for every list.
size_t FindEndTag(std::string_view text, size_t from, std::string_view lower, std::string_view upper) {
  const size_t lowerAt = text.find(lower, from);
  const std::string_view before = lowerAt == npos ? text : text.substr(0, lowerAt + upper.size() - 1);
  return std::min(lowerAt, before.find(upper, from));
}

}  // namespace

std::string HtmlPageConverter::JoinLines(std::string_view source) {
  std::string page;
  page.reserve(source.size());
  size_t at = 0;
  while (at < source.size()) {
    size_t end = source.find('\n', at);
    if (end == npos) end = source.size();
    size_t lineEnd = end;
    if (end < source.size() && lineEnd > at && source[lineEnd - 1] == '\r') --lineEnd;
    size_t begin = at;
    while (begin < lineEnd && IsLeadingSpace(source[begin])) ++begin;
    page.append(source.substr(begin, lineEnd - begin));
    at = end + 1;
  }
  return page;
}

ConvertedPage HtmlPageConverter::Convert(std::string_view source) const {
  ConvertedPage out;
  const std::string joined = JoinLines(source);
  if (!replace_) {
    out.text = joined;
    return out;
  }

  std::string& result = out.text;
  result.reserve(joined.size() + joined.size() / 4);
  std::string_view rest = joined;
  size_t s = 0;
  while (s < rest.size()) {
    const size_t lt = rest.find('<', s);
    const size_t gt = rest.find('>', s);
    if (lt == npos || gt == npos) break;
    if (gt <= lt + kShortTag) {
      s = gt + 1;
      continue;
    }
    const std::string_view tagOnward = rest.substr(lt);
    const std::string_view tag = rest.substr(lt, gt - lt + 1);
    FieldName field;
    size_t elementEnd = gt + 1;
    if (StartsNoCase(tagOnward, "<input")) {
      field = FieldIndex(tag);
    } else if (StartsNoCase(tagOnward, "<select")) {
      field = FieldIndex(tag);
      if (!field.nameError) {
        const size_t end = FindEndTag(rest, s, "</select>", "</SELECT>");
        if (end == npos) {
          s = gt + 1;
          continue;
        }
        elementEnd = end + 9;
      }
    } else if (StartsNoCase(tagOnward, "<title>")) {
      const size_t end = FindEndTag(rest, s, "</title>", "</TITLE>");
      if (end == npos) {
        s = gt + 1;
        continue;
      }
      elementEnd = end + 8;
      field.index = kTitleField;
    } else {
      s = gt + 1;
      continue;
    }
    if (field.nameError) {
      out.error = ConvertedPage::Error::kFieldName;
      return out;
    }

    result.append(rest.substr(0, lt));
    if (field.index == kNoField) {
      result.append(rest.substr(lt, elementEnd - lt));
    } else {
      auto text = FieldTemplate(field.index, result.size(), chinese_, field.number, out.records);
      if (!text) {
        out.error = ConvertedPage::Error::kTooManySlots;
        return out;
      }
      result.append(*text);
    }
    rest = rest.substr(elementEnd);
    s = 0;
  }
  result.append(rest);
  return out;
}

}  // namespace quill::webgen
