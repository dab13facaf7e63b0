#include "debugmon/debug_stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "debugmon/debug_decoder.h"

namespace quill {
namespace {

// The whole input decoded line by line, as one call per line would.
std::string DecodeInChunks(const std::string& input, size_t chunk) {
  CDebugStreamDecoder d;
  std::string out;
  for (size_t i = 0; i < input.size(); i += chunk)
    out += d.Feed(input.data() + i, std::min(chunk, input.size() - i));
  out += d.Finish();
  return out;
}

TEST(CDebugStreamDecoder, LinesSplitAcrossReadsDecodeAsWholeLines) {
  // Lines decode on their own: the value of a reason code at a line's end is 0, not the next line's number.
  const std::string input = "0x1018 3\n\n0x1085\n112\r\n0x10A5 8\r\nboot 0x1000 0x1001\n0x11C6\nlast 0x10BA";
  const std::string expected =
      "arp send 3\n\nras adm rej--called party not registered -- can't translate address\n112\r\n"
      "h2250 release complete--gatekeeperResources 8\r\nboot check point 0 check point 1\n0x11C6\n"
      "last h245 olc rej--unspecified";
  for (size_t chunk = 1; chunk <= input.size(); ++chunk)
    ASSERT_EQ(DecodeInChunks(input, chunk), expected) << chunk;
  EXPECT_EQ(DecodeInChunks("a\n", 1), "a\n");
  EXPECT_EQ(DecodeInChunks("", 1), "");
}

// Input that grows the most: every six characters become the longest name-and-reason. The output buffer
// must hold it whether it comes as one long line or as many short ones (run under ASan, an overrun shows).
TEST(CDebugStreamDecoder, OutputThatGrowsFarBeyondTheInputFits) {
  const std::string grown = "ras adm rej--called party not registered -- can't translate address";
  std::string longLine, expectedLong, shortLines, expectedShort;
  for (int i = 0; i < 20000; ++i) {
    longLine += "0x1085";
    expectedLong += grown;
    shortLines += "0x1085\n";
    expectedShort += grown + "\n";
  }
  EXPECT_EQ(DecodeInChunks(longLine, longLine.size()), expectedLong);
  EXPECT_EQ(DecodeInChunks(shortLines, shortLines.size()), expectedShort);
  EXPECT_EQ(DecodeInChunks(shortLines, 4096), expectedShort);
  EXPECT_LE(grown.size() + kDebugNameFieldSize, MaxDecodedSize(6));
  // One line longer than a read block takes its room from what it holds.
  EXPECT_EQ(DecodeInChunks(longLine + longLine, 1 << 16), expectedLong + expectedLong);
  const std::string binary(3 << 20, '\0');
  EXPECT_EQ(DecodeInChunks(binary + "0x1018\n" + binary, 1 << 20), binary + "arp send\n" + binary);
}

}  // namespace
}  // namespace quill
