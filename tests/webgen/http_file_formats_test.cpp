#include "webgen/http_file_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/webgen/webgen_test_util.h"

namespace quill::webgen {
namespace {

using namespace std::string_literals;

TEST(CommonDefines, GivesPositionBlocksAndLength) {
  struct Row {
    int page;
    size_t length;
    const char* expected;
  };
  const Row rows[] = {
      {0, 300,
       "#define HTTP_PAGE0_SDRAM_LO\t\tHTTP_MESSAGE_SDRAM_LO\n"
       "#define HTTP_PAGE0_BLOCK_NUM\t2\n"
       "#define HTTP_PAGE0_MSG_LEN\t\t300\n\n"},
      {1, 512,
       "#define HTTP_PAGE1_SDRAM_LO\t\t(HTTP_PAGE0_SDRAM_LO + HTTP_PAGE0_BLOCK_NUM)\n"
       "#define HTTP_PAGE1_BLOCK_NUM\t2\n"
       "#define HTTP_PAGE1_MSG_LEN\t\t512\n\n"},
      {12, 513,
       "#define HTTP_PAGE12_SDRAM_LO\t\t(HTTP_PAGE11_SDRAM_LO + HTTP_PAGE11_BLOCK_NUM)\n"
       "#define HTTP_PAGE12_BLOCK_NUM\t3\n"
       "#define HTTP_PAGE12_MSG_LEN\t\t513\n\n"},
      {0, 0,
       "#define HTTP_PAGE0_SDRAM_LO\t\tHTTP_MESSAGE_SDRAM_LO\n"
       "#define HTTP_PAGE0_BLOCK_NUM\t0\n"
       "#define HTTP_PAGE0_MSG_LEN\t\t0\n\n"},
      {0, 256,
       "#define HTTP_PAGE0_SDRAM_LO\t\tHTTP_MESSAGE_SDRAM_LO\n"
       "#define HTTP_PAGE0_BLOCK_NUM\t1\n"
       "#define HTTP_PAGE0_MSG_LEN\t\t256\n\n"},
  };
  for (const Row& r : rows) EXPECT_EQ(CommonDefines(r.page, r.length), r.expected) << r.length;
}

TEST(PageArray, WritesEveryByteSixteenToALine) {
  struct Row {
    const char* what;
    std::string text;
    bool chinese;
    const char* body;  // between "{\n" and "\n};\n\n"
  };
  const std::vector<Row> rows = {
      {"A CR B plain", "A\rB", false, "'A', 0x0d, 'B'"},
      {"A CR B Chinese", "A\rB", true, "0x41, 0x0d, 0x42"},
      {"17 bytes", "abcdefghijklmnopq", false,
       "'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', \n'q'"},
      {"16 bytes, no break", "0123456789abcdef", true,
       "0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66"},
      {"quote and backslash escaped", "a'\\\"", false, "'a', '\\'', '\\\\', '\"'"},
      {"control bytes in hexadecimal, tab kept", "\t\n"s + '\0' + "\x7f", false, "'\t', 0x0a, 0x00, 0x7f"},
      {"GBK bytes", "\xb1\x5c", false, "'\xb1', '\\\\'"},
      {"GBK bytes Chinese", "\xb1\x5c", true, "0xb1, 0x5c"},
      {"empty page", "", false, ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(PageArray(0, r.text, r.chinese),
              "static CCHAR _cHttpPage0Msg[HTTP_PAGE0_MSG_LEN]=\n{\n"s + r.body + "\n};\n\n")
        << r.what;
  }
  EXPECT_EQ(PageArray(3, "x", false), "static CCHAR _cHttpPage3Msg[HTTP_PAGE3_MSG_LEN]=\n{\n'x'\n};\n\n");
}

TEST(OptionTable, WritesTheCountAndTheRecords) {
  EXPECT_EQ(OptionTable(0, {}), "#define HTTP_PAGE0_OPTION_NUM\t0\n");
  EXPECT_EQ(OptionTable(2, {{0, 1, 15, 65, 0}, {3, 0, 8, 250, 2}, {69, 12, 15, 5, 0}}),
            "#define HTTP_PAGE2_OPTION_NUM\t3\n"
            "CCHAR _cHttpPage2Info[HTTP_PAGE2_OPTION_NUM][HTTP_INFO_NUM]= \n{\n"
            "{  0,   1,  15,  65,   0},\n"
            "{  3,   0,   8, 250,   2},\n"
            "{ 69,  12,  15,   5,   0}\n"
            "};\n\n");
}

TEST(TempHtml, PathKeepsFolderAndExtensionAndTextBreaksAfterEveryTag) {
  struct Row {
    const char* pattern;
    int page;
    const char* path;
  };
  const Row rows[] = {
      {"/work/x.htm", 0, "/work/temp_page_0.htm"},
      {"/work/x.htm", 11, "/work/temp_page_11.htm"},
      {"/a.b/c", 2, "/a.b/temp_page_2"},  // a dot in the folder is no extension
      {"x.html", 1, "temp_page_1.html"},
      {"/d/page.tar.gz", 0, "/d/temp_page_0.gz"},
      {"/dir/", 0, "/dir/temp_page_0"},
      {"", 0, "temp_page_0"},
  };
  for (const Row& r : rows) EXPECT_EQ(TempHtmlPath(r.pattern, r.page), r.path) << r.pattern;
  EXPECT_EQ(TempHtmlText("<a><b>c</b>d"), "<a>\n<b>\nc</b>\nd");
  EXPECT_EQ(TempHtmlText(""), "");
}

}  // namespace
}  // namespace quill::webgen
