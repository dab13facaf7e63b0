// The number readers of the text kit, each against the C library it stands in for where there is one.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace quill {
namespace {

// strtol with a 64-bit long, as the kit reads: the value, the characters read, whether it clamped.
LeadingInteger Strtol(const std::string& text) {
  static_assert(sizeof(long) == sizeof(long long), "the kit reads as strtol with a 64-bit long");
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  return {value, static_cast<size_t>(end - text.c_str()), errno == ERANGE};
}

TEST(TextKit, LeadingIntegersAreReadAsStrtolReadsThem) {
  std::vector<std::string> texts = {
      "",
      " ",
      "0",
      "42",
      "  -17x",
      "+5",
      "+-5",
      "- 5",
      "\t\n\v\f\r 9",
      "12a",
      "00012",
      "x1",
      "0x1F",
      "1e3",
      "3.7",
      "-",
      "+",
      "\x85 7",
      "12\n34",
      "9223372036854775807",
      "9223372036854775808",
      "-9223372036854775808",
      "-9223372036854775809",
      "99999999999999999999999",
      "-000000000000000000000001",
  };
  // And many more from the characters that matter to the reader.
  std::mt19937 random(2088);
  const std::string alphabet = " \t\n+-0123456789x9";
  for (int i = 0; i < 5000; ++i) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const LeadingInteger want = Strtol(text);
    const LeadingInteger got = ReadLeadingInteger(text);
    EXPECT_EQ(got.value, want.value) << '"' << text << '"';
    EXPECT_EQ(got.length, want.length) << '"' << text << '"';
    EXPECT_EQ(got.clamped, want.clamped) << '"' << text << '"';
    EXPECT_EQ(Atoi(text), want.value) << '"' << text << '"';
  }
  // The text's end ends the number, whatever follows in memory.
  EXPECT_EQ(Atoi(std::string_view("123", 2)), 12);
}

TEST(TextKit, HexDigitsInEitherCaseAndNothingElse) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const int want = b < 128 && std::isxdigit(b)
                         ? static_cast<int>(std::strtol(std::string(1, c).c_str(), nullptr, 16))
                         : -1;
    EXPECT_EQ(HexDigitValue(c), want) << b;
    EXPECT_EQ(kHexDigitValue[static_cast<size_t>(b)], want < 0 ? 0xFF : want) << b;
  }
}

TEST(TextKit, FieldIntegersAreWholeAndWithinTheirType) {
  struct Row {
    const char* text;
    long long lowest, highest;
    std::optional<long long> value;
  } rows[] = {
      {"640000", LLONG_MIN, LLONG_MAX, 640000},
      {" \t12 \r\n", LLONG_MIN, LLONG_MAX, 12},
      {"+7", LLONG_MIN, LLONG_MAX, 7},
      {"-0", LLONG_MIN, LLONG_MAX, 0},
      {"000", LLONG_MIN, LLONG_MAX, 0},
      {"-9223372036854775808", LLONG_MIN, LLONG_MAX, LLONG_MIN},
      {"", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"   ", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"+", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"12a", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"1 2", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"+ 2", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"0x10", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"1.0", LLONG_MIN, LLONG_MAX, std::nullopt},
      {"\xd9\xa3", LLONG_MIN, LLONG_MAX, std::nullopt},  // an Arabic-Indic digit is no digit here
      {"9223372036854775808", LLONG_MIN, LLONG_MAX, std::nullopt},
      // A 32-bit field, signed or not.
      {"4294967295", INT_MIN, UINT_MAX, 4294967295LL},
      {"4294967296", INT_MIN, UINT_MAX, std::nullopt},
      {"-2147483648", INT_MIN, UINT_MAX, INT_MIN},
      {"-2147483649", INT_MIN, UINT_MAX, std::nullopt},
  };
  for (const Row& r : rows)
    EXPECT_EQ(ParseFieldInteger(r.text, r.lowest, r.highest), r.value) << '"' << r.text << '"';
  EXPECT_EQ(RangeMessage(0, 640000), "Please enter an integer between 0 and 640000.");
  EXPECT_EQ(RangeMessage(-5, 9), "Please enter an integer between -5 and 9.");
}

}  // namespace
}  // namespace quill
