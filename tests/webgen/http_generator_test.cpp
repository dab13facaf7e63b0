#include "webgen/http_generator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"
#include "tests/webgen/webgen_test_util.h"
#include "webgen/html_page_converter.h"
#include "webgen/http_file_formats.h"

namespace quill::webgen {
namespace {

using test::FakeUi;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class HttpGenerator : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }

  GenHttpOptions Outputs(bool chinese = false) const {
    GenHttpOptions o;
    o.chinese = chinese;
    o.msgFile = dir.File("page.h");
    o.infoFile = dir.File("info.h");
    o.commonFile = dir.File("common.h");
    return o;
  }
  std::string Page(const std::string& name, const std::string& text) const {
    WriteFile(dir.File(name), text);
    return dir.File(name);
  }

  TempDir dir;
  FakeUi ui;
};

TEST_F(HttpGenerator, WritesTheThreeHeadersPageByPage) {
  const std::vector<std::string> pages = {Page("a.htm", "<html>\n   <body><input name=gk></body>\n</html>\n"),
                                          Page("b.htm", "<p>no fields</p>")};
  ASSERT_TRUE(GenerateHttpFiles(Outputs(), pages, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.waitCursorBegins, 1);
  EXPECT_EQ(ui.waitCursorDepth, 0);

  const std::string page0 = "<html><body><INPUT name=gk CHECKED type=checkbox></body></html>";  // 63 bytes
  ASSERT_EQ(page0.size(), 63u);
  EXPECT_EQ(ReadFile(dir.File("common.h")),
            "#define HTTP_PAGE0_SDRAM_LO\t\tHTTP_MESSAGE_SDRAM_LO\n"
            "#define HTTP_PAGE0_BLOCK_NUM\t1\n"
            "#define HTTP_PAGE0_MSG_LEN\t\t63\n\n"
            "#define HTTP_PAGE1_SDRAM_LO\t\t(HTTP_PAGE0_SDRAM_LO + HTTP_PAGE0_BLOCK_NUM)\n"
            "#define HTTP_PAGE1_BLOCK_NUM\t1\n"
            "#define HTTP_PAGE1_MSG_LEN\t\t16\n\n");
  EXPECT_EQ(ReadFile(dir.File("page.h")),
            PageArray(0, page0, false) + PageArray(1, "<p>no fields</p>", false));
  EXPECT_EQ(ReadFile(dir.File("info.h")),
            "#define HTTP_PAGE0_OPTION_NUM\t1\n"
            "CCHAR _cHttpPage0Info[HTTP_PAGE0_OPTION_NUM][HTTP_INFO_NUM]= \n{\n"
            "{  2,   0,   7,  27,   0}\n"
            "};\n\n"
            "#define HTTP_PAGE1_OPTION_NUM\t0\n");
}

TEST_F(HttpGenerator, NoPagesGiveThreeEmptyFiles) {
  WriteFile(dir.File("page.h"), "old");
  ASSERT_TRUE(GenerateHttpFiles(Outputs(), {}, ui));
  for (const char* name : {"page.h", "info.h", "common.h"}) {
    EXPECT_TRUE(test::FileExists(dir.File(name))) << name;
    EXPECT_EQ(ReadFile(dir.File(name)), "") << name;
  }
}

// A page that cannot be read or converted stops the generation; the outputs stay as they were.
TEST_F(HttpGenerator, StopsAtABadPageLeavingTheOutputsAsTheyWere) {
  std::string tooMany;
  for (size_t i = 0; i <= kMaxSlotRecords; ++i) tooMany += "<input name=dhcp>";
  struct Row {
    const char* what;
    std::string badPage;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"missing", dir.File("missing.htm"),
       "Can not open source file\n" + dir.File("missing.htm") + ": No such file or directory"},
      {"folder", dir.Path(), "Can not open source file\n" + dir.Path() + ": Is a directory"},
      {"empty name", Page("bad.htm", "<form>\n<input name= value=1>"),
       "Source Html " + dir.File("bad.htm") + " has format error, possibly space after \"name=\" !"},
      {"too many slots", Page("big.htm", tooMany),
       "Source Html " + dir.File("big.htm") + " has more than 512 value slots, the most one page can hold !"},
  };
  const std::string good = Page("good.htm", "<input name=ip>");
  WriteFile(dir.File("common.h"), "old common");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    FakeUi fresh;
    EXPECT_FALSE(GenerateHttpFiles(Outputs(), {good, r.badPage, good}, fresh));
    ASSERT_EQ(fresh.Texts(), std::vector<std::string>{r.message});
    EXPECT_EQ(fresh.messages[0].icon, MbIcon::Exclamation);
    EXPECT_EQ(fresh.waitCursorDepth, 0);
    EXPECT_EQ(ReadFile(dir.File("common.h")), "old common");
    EXPECT_FALSE(test::FileExists(dir.File("info.h")));
    EXPECT_FALSE(test::FileExists(dir.File("page.h")));
  }
}

TEST_F(HttpGenerator, AnOutputThatCannotBeWrittenIsReportedAndStops) {
  const std::string page = Page("a.htm", "<input name=ip>");
  GenHttpOptions o = Outputs();
  o.infoFile = dir.File("no-such-folder/info.h");
  EXPECT_FALSE(GenerateHttpFiles(o, {page, dir.File("missing.htm")}, ui));
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Can not create Dst file " + o.infoFile + " !\n" +
                                                 o.infoFile + ": No such file or directory"});
  EXPECT_FALSE(test::FileExists(dir.File("common.h")));

  FakeUi full;
  o = Outputs();
  o.msgFile = "/dev/full";
  EXPECT_FALSE(GenerateHttpFiles(o, {page}, full));
  EXPECT_EQ(full.Texts(), std::vector<std::string>{
                              "Can not write Dst file /dev/full !\n/dev/full: No space left on device"});
  EXPECT_FALSE(test::FileExists(dir.File("common.h")));
}

TEST_F(HttpGenerator, WritesTemporaryPagesAndGoesOnWhenOneCannotBeCreated) {
  const std::vector<std::string> pages = {Page("a.htm", "<b>x</b>"), Page("b.htm", "<i>y</i>")};
  GenHttpOptions o = Outputs();
  o.writeTempHtml = true;
  o.tempHtmlFile = dir.File("pattern.htm");
  ASSERT_TRUE(GenerateHttpFiles(o, pages, ui));
  EXPECT_EQ(ReadFile(dir.File("temp_page_0.htm")), "<b>\nx</b>\n");
  EXPECT_EQ(ReadFile(dir.File("temp_page_1.htm")), "<i>\ny</i>\n");
  EXPECT_FALSE(test::FileExists(dir.File("pattern.htm")));

  // Each temporary page that cannot be written is named; then nothing is replaced.
  const std::string common = ReadFile(dir.File("common.h"));
  WriteFile(dir.File("common.h"), "old common");
  o.tempHtmlFile = dir.File("no-such-folder/x.htm");
  EXPECT_FALSE(GenerateHttpFiles(o, pages, ui));
  const std::string why = ": No such file or directory";
  EXPECT_EQ(ui.Texts(),
            (std::vector<std::string>{
                "Can not open Dst .htm file\n" + dir.File("no-such-folder/temp_page_0.htm") + why,
                "Can not open Dst .htm file\n" + dir.File("no-such-folder/temp_page_1.htm") + why}));
  EXPECT_EQ(ReadFile(dir.File("common.h")), "old common");
  EXPECT_NE(common.find("HTTP_PAGE1_MSG_LEN"), std::string::npos);
}

TEST_F(HttpGenerator, OptionsLiveInSectionGenHttp) {
  GenHttpOptions d = LoadGenHttpOptions();
  EXPECT_TRUE(d.replace);
  EXPECT_FALSE(d.chinese || d.multipart || d.writeTempHtml);
  EXPECT_EQ(d.pageNum, 0);
  EXPECT_EQ(d.msgFile + d.infoFile + d.commonFile + d.tempHtmlFile, "");

  ASSERT_TRUE(SaveGenHttpOptions({false, true, true, true, 4, "/m.h", "/i.h", "/c.h", "/t.htm"}).Ok());
  SettingsStore& store = SettingsStore::Profile();
  for (auto [key, value] :
       {std::pair{"Replace", 0}, {"Language", 1}, {"Multipart", 1}, {"WriteTempHtml", 1}, {"PageNum", 4}})
    EXPECT_EQ(store.GetInt("GenHttp", key, -1), value) << key;
  for (auto [key, value] : {std::pair{"MsgFile", "/m.h"},
                            {"InfoFile", "/i.h"},
                            {"CommonFile", "/c.h"},
                            {"TempHtmlFile", "/t.htm"}})
    EXPECT_EQ(store.GetString("GenHttp", key, ""), value) << key;
}

// --- The generated headers as the firmware compiles them ---------------------------------------------

bool HaveCompiler() {
  return std::system("command -v gcc >/dev/null 2>&1") == 0;
}

// A C program over the three headers: checks the page memory chain and that every slot record points at
// placeholder bytes of its width in the compiled page array, and dumps each array to page<N>.bin.
std::string CheckProgram(int pages, const std::string& info) {
  std::string c =
      "#include <stdio.h>\n#include <string.h>\n"
      "#define CCHAR char\n#define HTTP_INFO_NUM 5\n#define HTTP_MESSAGE_SDRAM_LO 0\n"
      "#include \"common.h\"\n#include \"page.h\"\n#include \"info.h\"\n"
      "struct Page { const CCHAR* msg; long size; long len; const CCHAR (*info)[HTTP_INFO_NUM]; int count;\n"
      "              long sdram; long blocks; };\n"
      "static int Placeholder(const unsigned char* m, long len, long pos, int w, int idx) {\n"
      "  const unsigned char* a = m + pos; int i, x = 1;\n"
      "  if (pos < 8 || pos + w + 8 > len) return 0;\n"
      "  for (i = 0; i < w; i++) if (a[i] != 'x') x = 0;\n"
      "  if (idx == 68) return x && memcmp(a + w, \"</TITLE>\", 8) == 0;\n"
      "  if (w == 7 && memcmp(a, \"CHECKED\", 7) == 0) return 1;\n"
      "  if (w == 15 && memcmp(a, \"255.255.255.255\", 15) == 0 && a[15] == ' ') return 1;\n"
      "  if (x && a[w] == ' ' && memcmp(a - 6, \"value=\", 6) == 0) return 1;\n"
      "  for (x = 1, i = 0; i < w - 1; i++) if (a[i] != 'x') x = 0;\n"
      "  if (x && a[w - 1] == '\"' && a[-1] == '\"') return 1;\n"
      "  if (w == 8 && (memcmp(a, \"        \", 8) == 0 || memcmp(a, \"selected\", 8) == 0) && a[8] == '>'\n"
      "      && memcmp(a - 8, \"value=\", 6) == 0) return 1;\n"
      "  return 0;\n"
      "}\n"
      "static const struct Page kPages[] = {\n";
  for (int p = 0; p < pages; ++p) {
    const std::string n = std::to_string(p);
    const bool hasInfo = info.find("_cHttpPage" + n + "Info[") != std::string::npos;
    c += "  {_cHttpPage" + n + "Msg, (long)sizeof _cHttpPage" + n + "Msg, HTTP_PAGE" + n + "_MSG_LEN, " +
         (hasInfo ? "_cHttpPage" + n + "Info" : "0") + ", HTTP_PAGE" + n + "_OPTION_NUM, HTTP_PAGE" + n +
         "_SDRAM_LO, HTTP_PAGE" + n + "_BLOCK_NUM},\n";
  }
  c += "};\n"
       "int main(void) {\n"
       "  int p, i, bad = 0, records = 0, seen[80] = {0}; long sdram = 0;\n"
       "  for (p = 0; p < (int)(sizeof kPages / sizeof kPages[0]); p++) {\n"
       "    const struct Page* g = &kPages[p]; char name[32]; FILE* f;\n"
       "    if (g->size != g->len) { printf(\"page %d: array of %ld for %ld\\n\", p, g->size, g->len); "
       "bad++; }\n"
       "    if (g->blocks != (g->len + 255) / 256) { printf(\"page %d: blocks\\n\", p); bad++; }\n"
       "    if (g->sdram != sdram) { printf(\"page %d: sdram\\n\", p); bad++; }\n"
       "    sdram += g->blocks;\n"
       "    for (i = 0; i < g->count; i++) {\n"
       "      int idx = (unsigned char)g->info[i][0], block = (unsigned char)g->info[i][1];\n"
       "      int w = (unsigned char)g->info[i][2], off = (unsigned char)g->info[i][3];\n"
       "      int over = (unsigned char)g->info[i][4], spill = off + w - 256;\n"
       "      records++;\n"
       "      if (idx < 80) seen[idx] = 1;\n"
       "      if (over != (spill > 0 ? spill : 0)) { printf(\"page %d record %d: overflow\\n\", p, i); "
       "bad++; }\n"
       "      if (!Placeholder((const unsigned char*)g->msg, g->len, block * 256L + off, w, idx)) {\n"
       "        printf(\"page %d record %d (field %d): no placeholder\\n\", p, i, idx); bad++; }\n"
       "    }\n"
       "    sprintf(name, \"page%d.bin\", p);\n"
       "    f = fopen(name, \"wb\");\n"
       "    if (!f || fwrite(g->msg, 1, (size_t)g->len, f) != (size_t)g->len) bad++;\n"
       "    if (f) fclose(f);\n"
       "  }\n"
       "  printf(\"records %d fields\", records);\n"
       "  for (i = 0; i < 80; i++) if (seen[i]) printf(\" %d\", i);\n"
       "  printf(\"\\n\");\n"
       "  return bad != 0;\n"
       "}\n";
  return c;
}

// Compiles the headers in folder with the check program and runs it there; the program's output.
std::string CompileAndCheck(const TempDir& dir, int pages, bool* ok) {
  WriteFile(dir.File("check.c"), CheckProgram(pages, ReadFile(dir.File("info.h"))));
  const std::string cd = "cd '" + dir.Path() + "' && ";
  *ok = std::system(
            (cd + "gcc -std=c99 -Wall -Wno-overflow -Werror -o check check.c >gcc.log 2>&1").c_str()) == 0;
  if (!*ok) return ReadFile(dir.File("gcc.log"));
  *ok = std::system((cd + "./check >check.log 2>&1").c_str()) == 0;
  return ReadFile(dir.File("check.log"));
}

TEST_F(HttpGenerator, AConfigurationPageSetCompilesWithEverySlotOnItsPlaceholder) {
  const std::vector<std::string> pages = {WebgenTestData("network.htm"), WebgenTestData("voip.htm"),
                                          WebgenTestData("audio.htm"), WebgenTestData("dial.htm"),
                                          WebgenTestData("system.htm")};
  ASSERT_TRUE(GenerateHttpFiles(Outputs(), pages, ui)) << ::testing::PrintToString(ui.Texts());

  // The converter's own view first: every known field replaced, every record on its placeholder.
  std::set<int> fields;
  std::vector<std::string> converted;
  size_t records = 0;
  for (const std::string& path : pages) {
    ConvertedPage page = HtmlPageConverter(true, false).Convert(ReadFile(path));
    ASSERT_EQ(page.error, ConvertedPage::Error::kNone) << path;
    for (const SlotRecord& r : page.records) {
      EXPECT_TRUE(PlaceholderAt(page.text, r)) << path;
      fields.insert(r.index);
    }
    records += page.records.size();
    EXPECT_EQ(page.text.find("<input name="), std::string::npos) << path;
    converted.push_back(page.text);
  }
  for (int i = 0; i <= 74; ++i) EXPECT_EQ(fields.count(i), 1u) << "field " << i << " not in the page set";
  EXPECT_NE(converted[1].find("<select name=lang>"), std::string::npos);  // an unknown list stays

  if (!HaveCompiler()) GTEST_SKIP() << "no gcc to compile the headers with";
  bool ok = false;
  const std::string out = CompileAndCheck(dir, static_cast<int>(pages.size()), &ok);
  ASSERT_TRUE(ok) << out;
  std::string expected = "records " + std::to_string(records) + " fields";
  for (int i = 0; i <= 74; ++i) expected += " " + std::to_string(i);
  EXPECT_EQ(out, expected + "\n");
  for (size_t p = 0; p < pages.size(); ++p)
    EXPECT_EQ(ReadFile(dir.File("page" + std::to_string(p) + ".bin")), converted[p]) << "page " << p;
}

TEST_F(HttpGenerator, ChinesePagesUseTheChineseListsAndCompileInBothModes) {
  const std::string source = WebgenTestData("chinese.htm");
  const std::string cdrChinese(FindFieldEntry(40, true)->text);
  for (bool chinese : {true, false}) {
    SCOPED_TRACE(chinese ? "Chinese" : "plain");
    TempDir out;
    GenHttpOptions o;
    o.chinese = chinese;
    o.msgFile = out.File("page.h");
    o.infoFile = out.File("info.h");
    o.commonFile = out.File("common.h");
    ASSERT_TRUE(GenerateHttpFiles(o, {source}, ui));
    const ConvertedPage page = HtmlPageConverter(true, chinese).Convert(ReadFile(source));
    EXPECT_EQ(page.text.find(cdrChinese) != std::string::npos, chinese);
    EXPECT_EQ(page.records.size(), 1u + 1 + 6 + 3 + 6 + 3 + 1 + 6 + 1 + 1);
    const std::string msg = ReadFile(o.msgFile);
    if (chinese) {
      EXPECT_EQ(msg.find('\''), std::string::npos);  // every byte in hexadecimal
    }
    if (!HaveCompiler()) GTEST_SKIP() << "no gcc to compile the headers with";
    bool ok = false;
    const std::string log = CompileAndCheck(out, 1, &ok);
    ASSERT_TRUE(ok) << log;
    EXPECT_EQ(ReadFile(out.File("page0.bin")), page.text);
  }
}

}  // namespace
}  // namespace quill::webgen
