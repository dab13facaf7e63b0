#include "debugmon/debug_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "debugmon/debug_name_table.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

struct Row {
  const char* input;
  const char* output;
};

void ExpectRows(const Row* begin, const Row* end) {
  for (const Row* r = begin; r != end; ++r)
    EXPECT_EQ(DecodeDebugLine(r->input), r->output) << "input: " << r->input;
}

TEST(DecodeDebugLine, TheWorkedExamples) {
  const Row rows[] = {
      {"0x1018 3", "arp send 3"},
      {"0x1085 112", "ras adm rej--resource unavailable 112"},
      {"0x10a5 8", "h2250 release complete--gatekeeperResources 8"},
      {"0x1085", "ras adm rej--called party not registered -- can't translate address"},
      {"boot 0x1000 0x1001", "boot check point 0 check point 1"},
      {"text without any code", "text without any code"},
      {"", ""},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(DecodeDebugLine, CodesAndTheirNeighbours) {
  const Row rows[] = {
      // Only a lower-case x starts a code.
      {"0X1018 3", "0X1018 3"},
      {"a 0X1085 16 0x1018", "a 0X1085 16 arp send"},
      // Hexadecimal digits in either case.
      {"0x10BA 48", "h245 olc rej--dataTypeNotAvailable 48"},
      {"0x10bA 64", "h245 olc rej--unknownDataType 64"},
      // Codes one character apart, or none: both decoded, the separator kept.
      {"0x1018,0x1019", "arp send,arp failed"},
      {"0x10180x1019", "arp sendarp failed"},
      {"0x1085 0x1018", "ras adm rej--called party not registered -- can't translate address arp send"},
      // Empty entries vanish, leaving what surrounds them.
      {"a0x100Bb", "ab"},
      {"[0x1150 7]", "[ 7]"},
      {"0x119E", " "},
      // The last and first entries.
      {"0x11C5", "ARP"},
      {"x0x1000", "xcheck point 0"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(DecodeDebugLine, ReasonValuesAreReadAsAtoiReadsThem) {
  const Row rows[] = {
      // A code at the very end takes the value 0.
      {"0x1085", "ras adm rej--called party not registered -- can't translate address"},
      {"0x10A5", "h2250 release complete--noBandwith"},
      {"0x10BA", "h245 olc rej--unspecified"},
      // A separator alone: nothing to read, value 0.
      {"0x10BA ", "h245 olc rej--unspecified "},
      // Blanks after the separator are skipped, a sign read, digits up to the first other character.
      {"0x1085  112", "ras adm rej--resource unavailable  112"},
      {"0x1085:\t 16", "ras adm rej--invalid permission -- permission has expired:\t 16"},
      {"0x1085 +32", "ras adm rej--request denied -- no bandwith available +32"},
      {"0x10A5=88ms", "h2250 release complete--undefinedReason=88ms"},
      // Whatever the separator is, it is dropped from the reading: here the 1 of 112.
      {"0x1085112", "ras adm rej--112"},
      {"0x10851", "ras adm rej--called party not registered -- can't translate address1"},
      // Values not listed, negative ones included, give "--" alone.
      {"0x1085 -16", "ras adm rej-- -16"},
      {"0x1085 17", "ras adm rej-- 17"},
      {"0x10A5 x8", "h2250 release complete--noBandwith x8"},
      // A run of digits too long for an int does not wrap round onto a listed value.
      {"0x1085 4294967312", "ras adm rej-- 4294967312"},
      {"0x1085 99999999999999999999999999", "ras adm rej-- 99999999999999999999999999"},
      // Codes without reasons read no value.
      {"0x1084 16", "ras adm cfm 16"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(DecodeDebugLine, TokensWithoutAnEntryPassThroughWhole) {
  const Row rows[] = {
      {"0x0FFF 3", "0x0FFF 3"},
      {"0x11C6", "0x11C6"},
      {"0x11c6", "0x11c6"},
      {"addr 0xFFFF", "addr 0xFFFF"},
      {"0x12345678", "0x12345678"},
      {"end 0x10", "end 0x10"},
      {"end 0x", "end 0x"},
      {"0xg018", "0xg018"},
      {"0x-101", "0x-101"},
      {"0x+101", "0x+101"},
      {"0x 1018", "0x 1018"},
      // Six characters are consumed whatever they are: the "0x" inside this token does not start a code.
      {"0x0x1018", "0x0x1018"},
      {"0x1 0x1018", "0x1 0x1018"},
      // Decoding goes on after a token that has no entry.
      {"0xFFFF 0x1018", "0xFFFF arp send"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(DecodeDebugLine, EveryCodeDecodesToItsName) {
  for (uint32_t code = kFirstDebugCode; code <= kLastDebugCode; ++code) {
    char lower[16], upper[16];
    std::snprintf(lower, sizeof lower, "0x%04x|", code);
    std::snprintf(upper, sizeof upper, "0x%04X|", code);
    std::string expected(DebugName(code));
    // "|" is the separator and nothing follows it: the value is 0.
    if (HasDebugReason(code)) expected += "--" + std::string(DebugReasonText(code, 0));
    expected += "|";
    EXPECT_EQ(DecodeDebugLine(lower), expected) << lower;
    EXPECT_EQ(DecodeDebugLine(upper), expected) << upper;
  }
}

// The decoder recognises tokens without a "0x%x" scan; every six-character token must still be taken as
// the scan would take it: a name where the scanned number has an entry, the token itself where it has none.
TEST(DecodeDebugLine, TokenRecognitionAgreesWithTheNumberScan) {
  const std::string alphabet = "0119ACcfFgxX +-";
  std::string token = "0x....";
  size_t checked = 0;
  for (char a : alphabet)
    for (char b : alphabet)
      for (char c : alphabet)
        for (char d : alphabet) {
          token[2] = a, token[3] = b, token[4] = c, token[5] = d;
          int32_t scanned = ParseNumber(token);
          std::string expected;
          if (scanned != kParseNumberFailed && IsDebugCode(static_cast<uint32_t>(scanned))) {
            uint32_t code = static_cast<uint32_t>(scanned);
            expected = std::string(DebugName(code));
            if (HasDebugReason(code)) expected += "--" + std::string(DebugReasonText(code, 0));
          } else {
            expected = token;
          }
          ASSERT_EQ(DecodeDebugLine(token), expected) << token;
          ++checked;
        }
  EXPECT_EQ(checked, alphabet.size() * alphabet.size() * alphabet.size() * alphabet.size());
}

TEST(DecodeDebugLine, AppendsToWhatIsThere) {
  std::string out = "192.168.1.100: ";
  AppendDecodedDebugLine("0x1018 3\r\n", out);
  EXPECT_EQ(out, "192.168.1.100: arp send 3\r\n");
}

// The buffer and run-of-lines forms are what the decode command runs; on texts made of the pieces that
// matter to the decoder (codes, near-codes, separators, signs, blanks, line ends) at every alignment, they
// must give exactly what decoding each line with DecodeDebugLine gives.
TEST(DecodeDebugLine, BufferAndRunOfLinesFormsAgreeWithTheLineForm) {
  // clang-format off
  const std::string pieces[] = {"0x1085", "0x10A5", "0x10ba", "0x1018", "0x100B", "0x11C6", "0x", "0x0x", "0",
                                "x", "X", " ", "\n", "\r", "\t", "-", "+", "16", "48", "112", "8", "abc",
                                std::string(1, '\0'), "0x10851"};
  // clang-format on
  std::mt19937 random(20240601);
  // Each buffer is allocated at exactly the promised size, so that AddressSanitizer sees any overrun.
  auto decodeInto = [](char* (*decode)(std::string_view, char*), const std::string& text, size_t room) {
    std::unique_ptr<char[]> buffer(new char[room]);
    return std::string(buffer.get(), decode(text, buffer.get()));
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    if (round % 3 == 0) text.insert(0, random() % 8, '.');  // every alignment of the eight-byte search

    std::string expected;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
      expected += DecodeDebugLine(std::string_view(text).substr(start, nl - start)) + "\n";
    expected += DecodeDebugLine(std::string_view(text).substr(start));

    for (size_t room : {MaxDecodedSize(text.size()), DecodedSizeBound(text)}) {
      ASSERT_EQ(decodeInto(DecodeDebugLineInto, text, room), DecodeDebugLine(text)) << text;
      ASSERT_EQ(decodeInto(DecodeDebugLinesInto, text, room), expected) << text;
    }
  }
}

}  // namespace
}  // namespace quill
