#include "webgen/field_table.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>
#include <vector>

#include "tests/webgen/webgen_test_util.h"
#include "webgen/field_template.h"

namespace quill::webgen {
namespace {

using namespace std::string_literals;

// UTF-8 to code page 936 with the C library's converter, so the table's escaped bytes are checked
// against an independent encoder.
std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "(no GBK converter)";
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inp = in.data();
  size_t inLeft = in.size();
  char* outp = out.data();
  size_t outLeft = out.size();
  size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "(not convertible)";
  out.resize(out.size() - outLeft);
  return out;
}

bool IsPlaceholderValue(std::string_view text, int slot, int width, std::string* why) {
  const auto at = static_cast<size_t>(slot);
  const auto w = static_cast<size_t>(width);
  if (at >= 7 && text.substr(at - 7, 7) == "value=\"") {
    // Quoted: the x characters and the closing quote.
    if (text.substr(at, w - 1) != std::string(w - 1, 'x') || text[at + w - 1] != '"') {
      *why = "quoted area is not x...x\"";
      return false;
    }
    return true;
  }
  if (at >= 6 && text.substr(at - 6, 6) == "value=") {
    std::string_view area = text.substr(at, w);
    if (area != "255.255.255.255" && area != std::string(w, 'x')) {
      *why = "unquoted area is neither an address nor x characters";
      return false;
    }
    if (text[at + w] != ' ') {
      *why = "unquoted area does not end at a blank";
      return false;
    }
    return true;
  }
  *why = "slot is not the first byte after value=";
  return false;
}

// Every slot of the table points at the first byte of its placeholder, and every placeholder has a slot.
TEST(FieldTable, EverySlotPointsAtTheFirstPlaceholderByte) {
  for (const FieldEntry& e : FieldTable()) {
    SCOPED_TRACE("index " + std::to_string(e.index) + " " + std::string(e.name));
    const std::string_view t = e.text;
    const int slots = e.SlotCount();
    ASSERT_GE(slots, 1);
    for (int i = 0; i < slots; ++i) {
      const int slot = e.slots[static_cast<size_t>(i)];
      ASSERT_GT(slot, 0);
      ASSERT_LE(static_cast<size_t>(slot + e.width), t.size());
    }
    std::string why;
    switch (e.kind) {
      case FieldKind::kValue:
        ASSERT_EQ(slots, 1);
        EXPECT_TRUE(IsPlaceholderValue(t, e.slots[0], e.width, &why)) << why << ": " << t;
        EXPECT_EQ(t.find("value="), t.rfind("value="));
        break;
      case FieldKind::kCheckBox:
        ASSERT_EQ(slots, 1);
        EXPECT_EQ(e.width, 7);
        EXPECT_EQ(t.substr(static_cast<size_t>(e.slots[0]), 7), "CHECKED");
        break;
      case FieldKind::kTitle:
        EXPECT_EQ(e.slots[0], 7);
        EXPECT_EQ(e.width, 32);
        EXPECT_EQ(t, "<TITLE>" + std::string(32, 'x') + "</TITLE>");
        break;
      case FieldKind::kList: {
        EXPECT_EQ(e.width, kOptionAreaWidth);
        size_t options = 0;
        for (size_t at = t.find("<OPTION"); at != std::string_view::npos; at = t.find("<OPTION", at + 1))
          ++options;
        EXPECT_EQ(options, static_cast<size_t>(slots)) << "an option without a slot";
        for (int i = 0; i < slots; ++i) {
          const auto s = static_cast<size_t>(e.slots[static_cast<size_t>(i)]);
          EXPECT_EQ(t.substr(s - 8, 6), "value=") << "option " << i;
          EXPECT_EQ(t[s - 2], static_cast<char>('0' + i)) << "option " << i;
          EXPECT_EQ(t[s - 1], ' ') << "option " << i;
          const std::string_view area = t.substr(s, 8);
          const bool selectedFirst = e.name == "protocol" && i == 0;
          EXPECT_EQ(area, selectedFirst ? "selected" : "        ") << "option " << i;
          EXPECT_EQ(t[s + 8], '>') << "option " << i;
        }
        break;
      }
    }
  }
}

TEST(FieldTable, CoversEveryIndexOnceAndTheFiveListsTwice) {
  std::multiset<int> indexes;
  std::set<std::pair<std::string, FieldLanguage>> names;
  for (const FieldEntry& e : FieldTable()) {
    indexes.insert(e.index);
    if (!e.name.empty()) {
      EXPECT_TRUE(names.insert({std::string(e.name), e.language}).second) << e.name;
    }
  }
  for (int i = 0; i <= 74; ++i) {
    const bool twoLanguages = i == 23 || i == 25 || i == 37 || i == 40 || i == 60;
    EXPECT_EQ(indexes.count(i), twoLanguages ? 2u : 1u) << i;
    ASSERT_NE(FindFieldEntry(i, false), nullptr) << i;
    ASSERT_NE(FindFieldEntry(i, true), nullptr) << i;
    EXPECT_EQ(FindFieldEntry(i, false) == FindFieldEntry(i, true), !twoLanguages) << i;
  }
  EXPECT_EQ(FindFieldEntry(75, false), nullptr);
  EXPECT_EQ(FindFieldEntry(kNoField, false), nullptr);
}

struct ListCase {
  int index;
  const char* name;
  FieldLanguage language;
  std::vector<std::string> labels;  // UTF-8
};

// The lists rebuilt from their labels (Chinese ones through the C library's GBK encoder) must equal the
// table's bytes: a mistyped escape or a lost blank shows here.
TEST(FieldTable, ListsAreTheirLabelsInTheFirmwaresOptionLayout) {
  const FieldLanguage kBoth = FieldLanguage::kBoth, kZh = FieldLanguage::kChinese,
                      kEn = FieldLanguage::kEnglish;
  const std::vector<ListCase> cases = {
      {3, "ringtype", kBoth, {"PCM", "DTMF"}},
      {14, "localalias", kBoth, {"Phone number", "Full Number", "H.323 ID", "MAC", "Gateway"}},
      {16, "audiotype", kBoth, {"G.711U", "G.711A", "G.723.1", "G.729", "G.729A", "G.729B", "G.729AB"}},
      {23,
       "proxy",
       kZh,
       {"不使用", "使用", "自动寻找2级路由", "自动寻找3级路由", "自动寻找4级路由", "自动连接"}},
      {23, "proxy", kEn, {"disable", "enable", "search 2", "search 3", "search 4", "connect"}},
      {25, "faststart", kZh, {"不使用", "使用", "H245隧道"}},
      {25, "faststart", kEn, {"Disable", "Faststart", "Tunneling"}},
      {26, "dtmf", kBoth, {"H.245 string", "H.245 signal", "Q.931 keypad", "RFC2833"}},
      {37, "prepaid", kZh, {"不使用 ", "Mediaring", "eTalk", "Polylink", "Net2phone", "CTCZZ"}},
      {37, "prepaid", kEn, {"Not Use", "Mediaring", "eTalk", "Polylink", "Net2phone", "CTCZZ"}},
      {40, "cdr", kZh, {"不使用", "默认输出", "仅用DDA"}},
      {40, "cdr", kEn, {"Not Use", "Output", "DDA Only"}},
      {43, "remotealias", kBoth, {"H323 ID", "E.164"}},
      {58, "protocol", kBoth, {"H.323", "SIP", "MGCP"}},
      {60,
       "debug",
       kZh,
       {"不输出", "输出信息", "输出所有数据", "远程调试", "不检查程序型号", "允许使用Quilltool"}},
      {60,
       "debug",
       kEn,
       {"No Trace", "Trace Information", "Trace All Data", "Remote Debug", "Disable ProductID",
        "Enable QuillTool"}},
  };
  int lists = 0;
  for (const FieldEntry& e : FieldTable()) lists += e.kind == FieldKind::kList;
  EXPECT_EQ(lists, static_cast<int>(cases.size()));
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FieldEntry* e = FindFieldEntry(c.index, c.language == kZh);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->language, c.language);
    EXPECT_EQ(e->name, c.name);
    std::string expected = "<SELECT name="s + c.name + " size=1>";
    for (size_t i = 0; i < c.labels.size(); ++i) {
      const std::string area = c.index == 58 && i == 0 ? "selected" : "        ";
      expected += "<OPTION value=" + std::to_string(i) + " " + area + ">" + ToGbk(c.labels[i]) + "</OPTION>";
    }
    expected += "</SELECT>";
    EXPECT_EQ(e->text, expected);
  }
}

// FieldIndex: the name rules, row by row.
TEST(FieldIndex, FindsTheNameAndItsIndex) {
  struct Row {
    const char* tag;
    bool nameError;
    int index;
    int number;
  };
  const Row rows[] = {
      {"<input name=ip>", false, 0, 0},
      {"<input type=text name=gkip size=16>", false, 1, 0},
      {"<input name=\"gk\" type=checkbox>", false, 2, 0},  // quotes removed
      {"<input NAME=gk>", false, 2, 0},                    // upper-case key
      {"<input name=GK>", false, kNoField, 0},             // names are compared exactly
      {"<input Name=gk>", false, kNoField, 0},             // mixed-case key is not a name
      {"<input name=6.3k>", false, 20, 0},                 // ".3k" reads as 0: looked up by name
      {"<input name=mac value=1>", false, 71, 0},
      {"<input name=abbrdialplan>", false, 74, 0},
      {"<input type=submit value=Save>", false, kNoField, 0},
      {"<input name= value=1>", true, kNoField, 0},  // blank right after name=
      {"<input name=>", true, kNoField, 0},
      {"<select name=ringtype size=1>", false, 3, 0},
      {"<input name=n007>", false, kNumberedNField, 7},
      {"<input name=\"p120\">", false, kNumberedPField, 120},
      {"<input name=n12a>", false, kNumberedNField, 12},  // atoi stops at the letter
      {"<input name=n000>", false, kNoField, 0},          // zero is no number; no such name
      {"<input name=x007>", false, kNoField, 0},
      {"<input name=n0071>", false, kNoField, 0},  // five bytes
      {"<input name=\"ip>", false, kNoField, 0},   // one quote stays part of the name
  };
  for (const Row& r : rows) {
    FieldName f = FieldIndex(r.tag);
    EXPECT_EQ(f.nameError, r.nameError) << r.tag;
    EXPECT_EQ(f.index, r.index) << r.tag;
    EXPECT_EQ(f.number, r.number) << r.tag;
  }
}

TEST(FieldTemplate, RecordsBlockOffsetAndOverflow) {
  struct Row {
    int index;
    size_t position;
    std::vector<SlotRecord> records;
  };
  const Row rows[] = {
      {0, 300, {{0, 1, 15, 65, 0}}},   // slot 321
      {0, 229, {{0, 0, 15, 250, 9}}},  // value area 250..264 spills 9 bytes into block 1
      {0, 220, {{0, 0, 15, 241, 0}}},  // ends exactly at the block's end
      {3, 0, {{3, 0, 8, 45, 0}, {3, 0, 8, 82, 0}}},
      {3, 200, {{3, 0, 8, 245, 0}, {3, 1, 8, 26, 0}}},
      {68, 250, {{68, 1, 32, 1, 0}}},
      {2, 1005, {{2, 3, 7, 252, 3}}},
  };
  for (const Row& r : rows) {
    std::vector<SlotRecord> records;
    auto text = FieldTemplate(r.index, r.position, false, 0, records);
    ASSERT_TRUE(text) << r.index;
    EXPECT_EQ(*text, FindFieldEntry(r.index, false)->text);
    EXPECT_EQ(records, r.records) << r.index << " at " << r.position;
  }
}

TEST(FieldTemplate, NumberedFieldsCarryTheirNumberAndListsTheirLanguage) {
  std::vector<SlotRecord> records;
  EXPECT_EQ(FieldTemplate(kNumberedNField, 0, false, 7, records),
            "<INPUT name=n007 value=\"xxxxxxxxxxxxxx\" size=16 maxlength=14>");
  EXPECT_EQ(FieldTemplate(kNumberedPField, 0, false, 120, records),
            "<INPUT name=p120 value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>");
  EXPECT_EQ(records, (std::vector<SlotRecord>{{69, 0, 15, 24, 0}, {70, 0, 17, 24, 0}}));

  records.clear();
  auto zh = FieldTemplate(40, 0, true, 0, records);
  auto en = FieldTemplate(40, 0, false, 0, records);
  ASSERT_TRUE(zh && en);
  EXPECT_NE(zh->find(ToGbk("默认输出")), std::string::npos);
  EXPECT_NE(en->find(">Output</OPTION>"), std::string::npos);
  EXPECT_EQ(records, (std::vector<SlotRecord>{{40, 0, 8, 40, 0},
                                              {40, 0, 8, 80, 0},
                                              {40, 0, 8, 122, 0},
                                              {40, 0, 8, 40, 0},
                                              {40, 0, 8, 81, 0},
                                              {40, 0, 8, 121, 0}}));
}

TEST(FieldTemplate, NeverAddsPastTheFirmwaresTable) {
  std::vector<SlotRecord> records(kMaxSlotRecords - 1, SlotRecord{0, 0, 15, 0, 0});
  EXPECT_FALSE(FieldTemplate(3, 0, false, 0, records));  // two options, one place left
  EXPECT_EQ(records.size(), kMaxSlotRecords - 1);
  EXPECT_TRUE(FieldTemplate(0, 0, false, 0, records));
  EXPECT_EQ(records.size(), kMaxSlotRecords);
  EXPECT_FALSE(FieldTemplate(0, 0, false, 0, records));
  EXPECT_EQ(records.size(), kMaxSlotRecords);
}

}  // namespace
}  // namespace quill::webgen
