#include "link/answer_rules.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "platform/debug_log.h"

namespace quill {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<std::pair<int, uint8_t>> runs) {
  std::vector<uint8_t> out;
  for (auto [count, value] : runs) out.insert(out.end(), static_cast<size_t>(count), value);
  return out;
}

int Signals(SerialAnswerRule& rule, const std::vector<uint8_t>& bytes) {
  return rule.Deliver(bytes.data(), bytes.size()).signals;
}

TEST(SerialAnswerRule, RunsOfEightEqualBytesSignal) {
  struct Row {
    const char* name;
    std::vector<uint8_t> bytes;
    int signals;
  };
  const Row rows[] = {
      {"16 zero bytes signal twice", Bytes({{16, 0x00}}), 2},
      {"a run broken by another value starts again", Bytes({{7, 0x55}, {1, 0xAA}, {8, 0x55}}), 1},
      {"seven of each value never signal", Bytes({{7, 0x55}, {7, 0xAA}, {7, 0xFF}, {7, 0x00}}), 0},
      {"other values never signal", Bytes({{64, 0x12}}), 0},
      {"eight 0xFF", Bytes({{8, 0xFF}}), 1},
  };
  for (const auto& row : rows) {
    SerialAnswerRule rule;
    EXPECT_EQ(Signals(rule, row.bytes), row.signals) << row.name;
  }
}

TEST(SerialAnswerRule, RunCountersCarryAcrossDeliveriesAndModes) {
  SerialAnswerRule rule;
  EXPECT_EQ(Signals(rule, Bytes({{7, 0x55}})), 0);
  // The last 0x55 of the run comes in its own delivery: the count survives in between.
  EXPECT_EQ(Signals(rule, Bytes({{1, 0x55}})), 1);
  EXPECT_EQ(Signals(rule, Bytes({{5, 0xAA}})), 0);
  uint8_t buffer[8];
  rule.SetBulk(buffer);
  rule.ClearBulk();
  // A mode change leaves the counters as they are.
  EXPECT_EQ(Signals(rule, Bytes({{3, 0xAA}})), 1);
}

TEST(SerialAnswerRule, BulkModeSignalsOncePerDeliveryAndKeepsTheRest) {
  SerialAnswerRule rule;
  std::vector<uint8_t> buffer(64, 0xEE);
  rule.SetBulk(buffer);
  std::vector<uint8_t> twenty(20);
  for (size_t i = 0; i < twenty.size(); ++i) twenty[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(Signals(rule, twenty), 1);
  EXPECT_EQ(rule.BulkCount(), 12u);
  EXPECT_EQ(Signals(rule, {0x77}), 1);
  EXPECT_EQ(rule.BulkCount(), 5u);
  EXPECT_EQ(rule.BulkOffset(), 21u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[19], 19);
  EXPECT_EQ(buffer[20], 0x77);
  EXPECT_EQ(buffer[21], 0xEE);
}

TEST(SerialAnswerRule, BulkDataNeverGoesPastTheBuffer) {
  SerialAnswerRule rule;
  std::vector<uint8_t> storage(16, 0xEE);
  rule.SetBulk(std::span(storage).first(8));  // the caller's buffer is the first 8 bytes
  std::vector<uint8_t> lots(40, 0x42);
  Signals(rule, lots);
  Signals(rule, lots);
  EXPECT_EQ(std::vector<uint8_t>(storage.begin(), storage.begin() + 8), std::vector<uint8_t>(8, 0x42));
  EXPECT_EQ(std::vector<uint8_t>(storage.begin() + 8, storage.end()), std::vector<uint8_t>(8, 0xEE));
}

TEST(SerialAnswerRule, TextModeSplitsAtZeroBytesAndNeverSignals) {
  SerialAnswerRule rule;
  rule.SetTextMode();
  const char data[] = "boot\0\0ok\r\n";  // the array's own terminator is not delivered
  auto r = rule.Deliver(reinterpret_cast<const uint8_t*>(data), sizeof data - 1);
  EXPECT_EQ(r.pieces, (std::vector<std::string>{"boot", "ok\r\n"}));
  EXPECT_EQ(Signals(rule, Bytes({{16, 0x00}})), 0);
  // Text mode wins over bulk mode once set.
  uint8_t buffer[8];
  rule.SetBulk(buffer);
  auto t = rule.Deliver(reinterpret_cast<const uint8_t*>("x"), 1);
  EXPECT_EQ(t.pieces, std::vector<std::string>{"x"});
}

TEST(SerialAnswerRule, AnEmptyDeliveryWithoutBytesChangesNothing) {
  std::vector<uint8_t> buffer(16, 0xEE);
  SerialAnswerRule bulk;
  bulk.SetBulk(buffer);
  EXPECT_EQ(Signals(bulk, Bytes({{5, 0x42}})), 0);
  auto r = bulk.Deliver(nullptr, 0);
  EXPECT_EQ(r.signals, 0);
  EXPECT_EQ(bulk.BulkOffset(), 5u);
  EXPECT_EQ(bulk.BulkCount(), 5u);
  EXPECT_EQ(buffer[5], 0xEE);

  SerialAnswerRule text;
  text.SetTextMode();
  EXPECT_TRUE(text.Deliver(nullptr, 0).pieces.empty());
  SerialAnswerRule runs;
  EXPECT_EQ(runs.Deliver(nullptr, 0).signals, 0);
}

TEST(TcpAnswerRule, OnlyASingleFFByteAcknowledgesABlockOrCommand) {
  TcpAnswerRule rule;
  const uint8_t ff = 0xFF, ffff[2] = {0xFF, 0xFF}, zero = 0x00;
  EXPECT_EQ(rule.Deliver(&ff, 1), 1);
  EXPECT_EQ(rule.Deliver(ffff, 2), 0);
  EXPECT_EQ(rule.Deliver(&zero, 1), 0);
}

TEST(TcpAnswerRule, ReceiveModeStoresWholeBlocksAndCollectsSplitOnes) {
  TcpAnswerRule rule;
  std::vector<uint8_t> buffer(512, 0xEE);
  rule.SetReceive(buffer);
  std::vector<uint8_t> block(128);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(rule.Deliver(block.data(), 128), 1);
  // The network split the second answer: it is collected and stored once whole.
  EXPECT_EQ(rule.Deliver(block.data(), 100), 0);
  EXPECT_EQ(rule.Deliver(block.data() + 100, 28), 1);
  EXPECT_EQ(rule.Offset(), 256u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 128, buffer.begin() + 256), block);
  EXPECT_EQ(buffer[256], 0xEE);
  const uint8_t ff = 0xFF;
  EXPECT_EQ(rule.Deliver(&ff, 1), 0);  // in receive mode a single byte is just data
  rule.ClearReceive();
  EXPECT_EQ(rule.Deliver(&ff, 1), 1);
}

TEST(TcpAnswerRule, ReceivedBlocksNeverGoPastTheCallersBuffer) {
  TcpAnswerRule rule;
  std::vector<uint8_t> storage(300, 0xEE);
  rule.SetReceive(std::span(storage).first(200));
  std::vector<uint8_t> block(128, 0x11);
  EXPECT_EQ(rule.Deliver(block.data(), 128), 1);
  EXPECT_EQ(rule.Deliver(block.data(), 128), 1);
  EXPECT_EQ(rule.Deliver(block.data(), 128), 1);
  EXPECT_EQ(storage[199], 0x11);
  EXPECT_EQ(storage[200], 0xEE);
}

// A read answer with bytes past its 128: in its own delivery it is no answer; in a delivery of their own
// they are a stray piece, dropped (with a debug-log line) when the next whole answer comes. No block is
// ever stored shifted.
TEST(TcpAnswerRuleSurplus, BytesPastABlockAreNoAnswerAndAStrayPieceIsDroppedBeforeTheNextAnswer) {
  DebugLogCapture log;
  TcpAnswerRule rule;
  std::vector<uint8_t> buffer(512, 0x00);
  rule.SetReceive(buffer);
  std::vector<uint8_t> answer(129, 0x41);
  answer[128] = 0xEE;
  EXPECT_EQ(rule.Deliver(answer.data(), answer.size()), 0);  // in one delivery
  EXPECT_EQ(rule.Offset(), 0u);

  std::vector<uint8_t> first(128, 0x42), second(128, 0x43), third(128, 0x44);
  EXPECT_EQ(rule.Deliver(first.data(), 100), 0);
  EXPECT_EQ(rule.Deliver(first.data() + 100, 28), 1);  // pieces that make exactly one block still count
  const uint8_t stray[3] = {0xEE, 0xEF, 0xF0};
  EXPECT_EQ(rule.Deliver(stray, 3), 0);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(rule.Deliver(second.data(), 128), 1);  // the stray piece goes, the answer is taken whole
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"Dropped a stray piece of length 3 before a 128-byte answer\n"});
  // Pieces that together run past a block are no answer; the next whole one is taken again.
  EXPECT_EQ(rule.Deliver(stray, 3), 0);
  EXPECT_EQ(rule.Deliver(third.data(), 127), 0);
  EXPECT_EQ(rule.Deliver(third.data(), 128), 1);
  EXPECT_EQ(rule.Offset(), 384u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 128), first);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 128, buffer.begin() + 256), second);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 256, buffer.begin() + 384), third);
  EXPECT_EQ(buffer[384], 0x00);
  EXPECT_EQ(log.Lines().size(), 1u);
}

}  // namespace
}  // namespace quill
