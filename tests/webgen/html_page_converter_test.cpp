#include "webgen/html_page_converter.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/webgen/webgen_test_util.h"

namespace quill::webgen {
namespace {

std::string Template(int index, bool chinese = false) {
  return std::string(FindFieldEntry(index, chinese)->text);
}

TEST(HtmlPageConverter, JoinsLinesWithoutTheirLeadingWhiteSpace) {
  struct Row {
    const char* source;
    const char* joined;
  };
  const Row rows[] = {
      {"<html>\n   <body>\n", "<html><body>"},
      {"<html>\r\n\t <body> \r\n</body>", "<html><body> </body>"},  // trailing blank stays
      {"A\rB\n", "A\rB"},                                           // a lone CR is a page byte
      {"\n\n  \n", ""},
      {"x\r", "x\r"},
      {"\xb2\xbb\n  \xca\xb9", "\xb2\xbb\xca\xb9"},  // bytes above 0x7f are never white space
  };
  for (const Row& r : rows) EXPECT_EQ(HtmlPageConverter::JoinLines(r.source), r.joined) << r.source;
}

// Whole converted pages for the tag-scan rules: the source, and the result as pieces (templates by
// index), with the records every replaced field made.
TEST(HtmlPageConverter, ReplacesKnownFieldsAndLeavesEverythingElse) {
  const std::string ip = Template(0), gk = Template(2), ring = Template(3), title = Template(kTitleField);
  struct Row {
    const char* what;
    std::string source;
    std::string expected;
    std::vector<int> indexes;  // of the records, in order
  };
  const std::vector<Row> rows = {
      {"title and input",
       "<html><head><title>Phone</title></head>\n  <body><input name=ip></body></html>",
       "<html><head>" + title + "</head><body>" + ip + "</body></html>",
       {68, 0}},
      {"upper-case title and input", "<TITLE>x</TITLE><INPUT NAME=gk>", title + gk, {68, 2}},
      {"short tags skipped, stray >", "a > b<b><br><input name=\"gk\">", "a > b<b><br>" + gk, {2}},
      {"unknown input kept",
       "<input type=submit value=Save><input name=GK>",
       "<input type=submit value=Save><input name=GK>",
       {}},
      {"select, lower-case end",
       "<select name=ringtype size=1><option>a</option></select>!",
       ring + "!",
       {3, 3}},
      {"select, upper-case end", "<SELECT name=ringtype><OPTION>a</OPTION></SELECT>", ring, {3, 3}},
      {"mixed-case end not recognised",
       "<select name=ringtype><option>a</option></Select>",
       "<select name=ringtype><option>a</option></Select>",
       {}},
      {"unknown select kept whole, inner field unread",
       "<select name=colour><option>name=ip</option></select>",
       "<select name=colour><option>name=ip</option></select>",
       {}},
      {"title without end kept", "<title>no end<input name=gk>", "<title>no end" + gk, {2}},
      {"first end tag of either spelling",
       "<select name=ringtype></SELECT>x</select>",
       ring + "x</select>",
       {3, 3}},
      {"first end tag, other order",
       "<select name=ringtype></select>x</SELECT>",
       ring + "x</SELECT>",
       {3, 3}},
      {"numbered fields",
       "<input name=n007><input name=n000>",
       "<INPUT name=n007 value=\"xxxxxxxxxxxxxx\" size=16 maxlength=14><input name=n000>",
       {69}},
      {"no tags", "plain text", "plain text", {}},
      {"unclosed tag", "<input name=ip", "<input name=ip", {}},
  };
  const HtmlPageConverter converter(true, false);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ConvertedPage page = converter.Convert(r.source);
    EXPECT_EQ(page.error, ConvertedPage::Error::kNone);
    EXPECT_EQ(page.text, r.expected);
    ASSERT_EQ(page.records.size(), r.indexes.size());
    for (size_t i = 0; i < r.indexes.size(); ++i) {
      EXPECT_EQ(page.records[i].index, r.indexes[i]);
      EXPECT_TRUE(PlaceholderAt(page.text, page.records[i])) << i;
    }
  }
}

TEST(HtmlPageConverter, PlacesSlotsAtTheirPositionInTheResult) {
  // 300 bytes in front put the ip template at 300 and its value area at 321: block 1, offset 65.
  const std::string lead = "<p>" + std::string(293, 'a') + "</p>";
  ASSERT_EQ(lead.size(), 300u);
  ConvertedPage page = HtmlPageConverter(true, false).Convert(lead + "<input name=ip>");
  ASSERT_EQ(page.records.size(), 1u);
  EXPECT_EQ(page.records[0], (SlotRecord{0, 1, 15, 65, 0}));

  page = HtmlPageConverter(true, false)
             .Convert(
                 "<input name=ip><input name=gk><input name=answer>"
                 "<select name=localalias><option>1<option>2<option>3<option>4<option>5</select>");
  ASSERT_EQ(page.records.size(), 8u);
  for (const SlotRecord& r : page.records) EXPECT_TRUE(PlaceholderAt(page.text, r));
  EXPECT_EQ(page.records[7].index, 14);
}

TEST(HtmlPageConverter, ReplaceOffKeepsTheJoinedPage) {
  const std::string source = "<title>T</title>\n   <input name=ip>\n";
  ConvertedPage page = HtmlPageConverter(false, false).Convert(source);
  EXPECT_EQ(page.error, ConvertedPage::Error::kNone);
  EXPECT_EQ(page.text, "<title>T</title><input name=ip>");
  EXPECT_TRUE(page.records.empty());
}

TEST(HtmlPageConverter, ChinesePagesCountTwoBytesPerCharacterAndUseChineseLabels) {
  // "<p>中文</p>" in code page 936, then the Chinese cdr list.
  const std::string lead = "<p>\xd6\xd0\xce\xc4</p>";
  ConvertedPage page = HtmlPageConverter(true, true).Convert(lead + "<select name=cdr></select>");
  EXPECT_EQ(page.text, lead + Template(40, true));
  ASSERT_EQ(page.records.size(), 3u);
  EXPECT_EQ(page.records[0], (SlotRecord{40, 0, 8, 11 + 40, 0}));
  EXPECT_EQ(page.records[2], (SlotRecord{40, 0, 8, 11 + 122, 0}));
  EXPECT_EQ(HtmlPageConverter(true, false).Convert("<select name=cdr></select>").text, Template(40, false));
}

TEST(HtmlPageConverter, AnEmptyNameFailsThePage) {
  for (const char* source : {"<input name= value=1>", "<select name= size=1></select>", "<input NAME=>"}) {
    ConvertedPage page = HtmlPageConverter(true, false).Convert(source);
    EXPECT_EQ(page.error, ConvertedPage::Error::kFieldName) << source;
  }
  // Without replacing, names are never read.
  EXPECT_EQ(HtmlPageConverter(false, false).Convert("<input name= value=1>").error,
            ConvertedPage::Error::kNone);
}

}  // namespace
}  // namespace quill::webgen
