// What the debug monitor shows for each datagram from port 8225, kept apart from the socket and the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill {

class CDebugTextAssembler {
 public:
  // The phone splits long output into pieces of 480 characters; a piece that long is continued by the next
  // one, which may come in the next datagram and carries no sender prefix.
  static constexpr size_t kContinuedPieceLength = 480;

  // The texts to add to the view, in order, for one datagram from sender (IPv4, network order). The
  // datagram holds zero-terminated pieces; the last may lack its zero. Each piece is decoded and shown
  // after "<sender>: " unless it continues a 480-character piece from the same sender.
  std::vector<std::string> Assemble(uint32_t sender, const void* data, size_t length);

  // The length plus one of the last piece shown; 0 before the first.
  size_t LastPieceSize() const { return lastPieceSize_; }

 private:
  size_t lastPieceSize_ = 0;
  uint32_t lastSender_ = 0;
};

// "<dotted address>: ", the prefix both monitors put before a sender's text.
std::string SenderPrefix(uint32_t sender);

}  // namespace quill
