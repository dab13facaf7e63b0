// The TCP receive rule meets a read answer with bytes past its 128: whether they come in the answer's
// segment or after it, no shifted block is ever acknowledged or stored.
#include <gtest/gtest.h>

#include <vector>

#include "link/answer_rules.h"

namespace quill {
namespace {

TEST(TcpAnswerRuleSurplus, BytesPastABlockMakeItNoAnswerAndShiftNothing) {
  TcpAnswerRule rule;
  std::vector<uint8_t> buffer(512, 0x00);
  rule.SetReceive(buffer.data(), buffer.size());
  std::vector<uint8_t> answer(129, 0x41);
  answer[128] = 0xEE;
  EXPECT_EQ(rule.Deliver(answer.data(), answer.size()), 0);  // in one segment
  EXPECT_EQ(rule.Offset(), 0u);

  std::vector<uint8_t> block(128, 0x42);
  EXPECT_EQ(rule.Deliver(block.data(), 100), 0);
  EXPECT_EQ(rule.Deliver(block.data() + 100, 28), 1);  // pieces that make exactly one block still count
  const uint8_t extra = 0xEE;
  EXPECT_EQ(rule.Deliver(&extra, 1), 0);          // in a segment of its own
  EXPECT_EQ(rule.Deliver(block.data(), 128), 0);  // the next answer no longer fits a block
  EXPECT_EQ(rule.Offset(), 128u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 128), block);
  EXPECT_EQ(buffer[128], 0x00);
  EXPECT_EQ(rule.Deliver(block.data(), 128), 1);  // a clean answer after the drop is taken again
  EXPECT_EQ(rule.Offset(), 256u);
}

}  // namespace
}  // namespace quill
