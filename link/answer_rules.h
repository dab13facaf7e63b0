// How the link threads recognise the phone's answers. Kept apart from the threads so they can be tested
// and fuzzed with arbitrary deliveries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/link_messages.h"

namespace quill {

// Over TCP the phone answers a block or a command with the single byte 0xFF, and a read request with one
// 128-byte block.
class TcpAnswerRule {
 public:
  // Receive mode on: answers are 128-byte blocks stored one after another in buffer, never past its end.
  void SetReceive(std::span<uint8_t> buffer);
  void ClearReceive();
  // One delivery from the socket; the number of acknowledgements it gives (0 or 1). In receive mode 128
  // bytes are one answer, in one delivery or in pieces; a whole 128-byte delivery drops a short piece still
  // pending before it (with a debug-log line), and pieces that together run past 128 bytes are no answer.
  int Deliver(const uint8_t* data, size_t length);

  size_t Offset() const { return offset_; }

 private:
  bool receive_ = false;
  size_t offset_ = 0;
  std::span<uint8_t> buffer_;
  // TCP is a stream: a 128-byte answer the network split is collected here until it is whole.
  std::array<uint8_t, kLinkBlock> partial_{};
  size_t partialLength_ = 0;
};

// Over the serial line the phone answers with a run of eight equal bytes (0x55, 0xAA, 0xFF or 0x00), or,
// when the tool reads, with raw data counted in groups of eight; while the output window is shown, what
// arrives is the phone's text.
class SerialAnswerRule {
 public:
  struct Result {
    int signals = 0;                  // acknowledgements to give
    std::vector<std::string> pieces;  // text for the output window (text mode)
  };

  void SetTextMode() { text_ = true; }
  // Bulk mode on: the bytes are stored one after another in buffer, never past its end.
  void SetBulk(std::span<uint8_t> buffer);
  void ClearBulk() { bulk_ = false; }
  Result Deliver(const uint8_t* data, size_t length);

  uint32_t BulkCount() const { return bulkCount_; }
  uint32_t BulkOffset() const { return bulkOffset_; }

 private:
  bool text_ = false;
  bool bulk_ = false;
  uint32_t bulkCount_ = 0;
  uint32_t bulkOffset_ = 0;
  std::span<uint8_t> bulkBuffer_;
  std::array<uint32_t, 4> runs_{};  // 0x55, 0xAA, 0xFF and 0x00; they live as long as the window
};

}  // namespace quill
