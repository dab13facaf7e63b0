// The link threads' answer rules on arbitrary deliveries: the phone's bytes cut into deliveries of any size
// (a stream socket or a serial line may split or join answers anywhere). The first byte picks the rule,
// its mode and the caller's buffer; each rule is checked against what the whole stream should give,
// however it was cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "link/answer_rules.h"

using namespace quill;

namespace {

// The receive buffers callers pass: none, smaller than one block, whole blocks, and a ragged size.
constexpr size_t kCapacities[] = {0, 1, 127, 128, 256, 1000, 4096, 8};

std::vector<std::vector<uint8_t>> Deliveries(FuzzedDataProvider& input) {
  std::vector<std::vector<uint8_t>> out;
  while (input.remaining_bytes() > 0) {
    const size_t n = input.ConsumeIntegralInRange<size_t>(0, 300);
    out.push_back(input.ConsumeBytes<uint8_t>(n));
  }
  return out;
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& deliveries) {
  std::vector<uint8_t> all;
  for (const auto& d : deliveries) all.insert(all.end(), d.begin(), d.end());
  return all;
}

// Heap buffer of exactly the capacity (null for none), so that a write past it is an AddressSanitizer
// report.
std::unique_ptr<uint8_t[]> Buffer(size_t capacity) {
  if (capacity == 0) return nullptr;
  std::unique_ptr<uint8_t[]> b(new uint8_t[capacity]);
  std::memset(b.get(), 0xEE, capacity);
  return b;
}

void CheckStored(const uint8_t* buffer, size_t capacity, const std::vector<uint8_t>& all, size_t stored) {
  const size_t n = std::min(capacity, stored);
  fuzz::Check(n == 0 || std::memcmp(buffer, all.data(), n) == 0, "the buffer does not hold the answer bytes");
  for (size_t i = n; i < capacity; ++i) fuzz::Check(buffer[i] == 0xEE, "bytes past the answers were written");
}

void FuzzTcp(bool receive, size_t capacity, const std::vector<std::vector<uint8_t>>& deliveries) {
  TcpAnswerRule rule;
  auto buffer = Buffer(capacity);
  if (receive) rule.SetReceive({buffer.get(), capacity});
  int acks = 0;
  size_t lonelyAcks = 0;
  for (const auto& d : deliveries) {
    acks += rule.Deliver(d.data(), d.size());
    if (d.size() == 1 && d[0] == 0xFF) ++lonelyAcks;
  }
  if (!receive) {
    // Outside receive mode only a delivery of the single byte 0xFF is an answer.
    fuzz::Check(static_cast<size_t>(acks) == lonelyAcks, "TCP acknowledgements miscounted");
    return;
  }
  // Deliveries that together make exactly 128 bytes are one answer, however they were cut; a whole
  // 128-byte delivery drops a piece pending before it; any other delivery that would run past the block
  // drops the block begun.
  std::vector<uint8_t> answers;
  std::vector<uint8_t> partial;
  for (const auto& d : deliveries) {
    if (d.empty()) continue;
    if (d.size() == kLinkBlock) partial.clear();
    if (partial.size() + d.size() > kLinkBlock) {
      partial.clear();
      continue;
    }
    partial.insert(partial.end(), d.begin(), d.end());
    if (partial.size() == kLinkBlock) {
      answers.insert(answers.end(), partial.begin(), partial.end());
      partial.clear();
    }
  }
  fuzz::Check(static_cast<size_t>(acks) == answers.size() / kLinkBlock, "TCP blocks miscounted");
  fuzz::Check(rule.Offset() == answers.size(), "TCP offset miscounted");
  CheckStored(buffer.get(), capacity, answers, rule.Offset());
}

void FuzzSerialRuns(const std::vector<std::vector<uint8_t>>& deliveries) {
  SerialAnswerRule rule;
  int signals = 0;
  for (const auto& d : deliveries) {
    auto r = rule.Deliver(d.data(), d.size());
    fuzz::Check(r.pieces.empty(), "text pieces outside text mode");
    signals += r.signals;
  }
  // Every complete eight of a maximal run of one answer value signals once, however the run was cut.
  const auto all = Joined(deliveries);
  int want = 0;
  for (size_t i = 0; i < all.size();) {
    size_t j = i;
    while (j < all.size() && all[j] == all[i]) ++j;
    const uint8_t v = all[i];
    if (v == 0x55 || v == 0xAA || v == 0xFF || v == 0x00) want += static_cast<int>((j - i) / 8);
    i = j;
  }
  fuzz::Check(signals == want, "serial runs miscounted");
}

void FuzzSerialBulk(size_t capacity, const std::vector<std::vector<uint8_t>>& deliveries) {
  SerialAnswerRule rule;
  auto buffer = Buffer(capacity);
  rule.SetBulk({buffer.get(), capacity});
  uint32_t signals = 0;
  for (const auto& d : deliveries) {
    auto r = rule.Deliver(d.data(), d.size());
    fuzz::Check(r.signals == 0 || r.signals == 1, "more than one bulk signal for a delivery");
    signals += static_cast<uint32_t>(r.signals);
  }
  const auto all = Joined(deliveries);
  fuzz::Check(rule.BulkOffset() == static_cast<uint32_t>(all.size()), "bulk offset miscounted");
  fuzz::Check(rule.BulkCount() == static_cast<uint32_t>(all.size()) - 8 * signals, "bulk count miscounted");
  CheckStored(buffer.get(), capacity, all, all.size());
}

void FuzzSerialText(const std::vector<std::vector<uint8_t>>& deliveries) {
  SerialAnswerRule rule;
  rule.SetTextMode();
  std::string shown;
  for (const auto& d : deliveries) {
    auto r = rule.Deliver(d.data(), d.size());
    fuzz::Check(r.signals == 0, "a signal in text mode");
    for (const auto& piece : r.pieces) {
      fuzz::Check(!piece.empty() && piece.find('\0') == std::string::npos, "an empty piece or a zero shown");
      shown += piece;
    }
  }
  std::string want;
  for (uint8_t b : Joined(deliveries))
    if (b != 0) want += static_cast<char>(b);
  fuzz::Check(shown == want, "the text shown is not the bytes received");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[0];
  FuzzedDataProvider input(data + 1, size - 1);
  const auto deliveries = Deliveries(input);
  const size_t capacity = kCapacities[(pick / 5) % std::size(kCapacities)];
  switch (pick % 5) {
    case 0:
      FuzzTcp(false, capacity, deliveries);
      break;
    case 1:
      FuzzTcp(true, capacity, deliveries);
      break;
    case 2:
      FuzzSerialRuns(deliveries);
      break;
    case 3:
      FuzzSerialBulk(capacity, deliveries);
      break;
    case 4:
      FuzzSerialText(deliveries);
      break;
  }
  return 0;
}
