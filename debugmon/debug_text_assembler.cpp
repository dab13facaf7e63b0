#include "debugmon/debug_text_assembler.h"

#include <cstring>

#include "debugmon/debug_decoder.h"
#include "transport/net_helpers.h"

namespace quill {

std::string SenderPrefix(uint32_t sender) {
  return AddressToString(sender) + ": ";
}

std::vector<std::string> CDebugTextAssembler::Assemble(uint32_t sender, const void* data, size_t length) {
  std::vector<std::string> parts;
  const char* bytes = static_cast<const char*>(data);
  size_t position = 0;
  while (position < length) {
    // Several phones may report into one window: a continuation is only taken as one when it comes from
    // the phone that sent the 480-character piece, otherwise it would be shown under the wrong address.
    bool continued = lastPieceSize_ == kContinuedPieceLength + 1 && sender == lastSender_;
    if (!continued) parts.push_back(SenderPrefix(sender));
    // The piece ends at its zero or, for a last piece without one, at the end of the datagram.
    const void* zero = std::memchr(bytes + position, 0, length - position);
    size_t pieceLength =
        zero ? static_cast<size_t>(static_cast<const char*>(zero) - (bytes + position)) : length - position;
    std::string decoded = DecodeDebugLine({bytes + position, pieceLength});
    if (!decoded.empty()) parts.push_back(std::move(decoded));
    lastPieceSize_ = pieceLength + 1;
    lastSender_ = sender;
    position += lastPieceSize_;
  }
  return parts;
}

}  // namespace quill
