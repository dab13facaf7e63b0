// The two monitor windows' datagram handlers on arbitrary traffic: the input is cut into datagrams, each
// from one of a few senders. Each datagram's text must be what its pieces decode to, after the sender's
// prefix where one is due, and no larger than its bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "debugmon/cdr_text_assembler.h"
#include "debugmon/debug_decoder.h"
#include "debugmon/debug_text_assembler.h"
#include "debugmon/output_wnd.h"
#include "fuzz/fuzz_support.h"

using namespace quill;

namespace {

// Network order, as the listener passes them; 0 and the broadcast address included.
constexpr uint32_t kSenders[] = {0x0100007F, 0xE600007F, 0x00000000, 0xFFFFFFFF};
constexpr size_t kLongestPrefix = sizeof "255.255.255.255: " - 1;

// The phone's output so far as the monitor has seen it: who sent the last piece, and whether that piece
// was a full 480 characters (so that the same sender's next piece continues it).
struct Stream {
  uint32_t lastSender = 0;
  bool lastWasFull = false;
};

void CheckDebug(CDebugTextAssembler& assembler, uint32_t sender, Stream& stream,
                const std::vector<uint8_t>& datagram) {
  const auto parts = assembler.Assemble(sender, datagram.data(), datagram.size());

  size_t bound = 0, prefixesDue = 0, total = 0;
  std::string decoded;  // the pieces' texts as the decoder alone gives them
  const char* bytes = reinterpret_cast<const char*>(datagram.data());
  for (size_t at = 0; at < datagram.size();) {
    const void* zero = std::memchr(bytes + at, 0, datagram.size() - at);
    const size_t n =
        zero ? static_cast<size_t>(static_cast<const char*>(zero) - (bytes + at)) : datagram.size() - at;
    if (!(stream.lastWasFull && stream.lastSender == sender)) ++prefixesDue;
    stream.lastSender = sender;
    stream.lastWasFull = n == CDebugTextAssembler::kContinuedPieceLength;
    decoded += DecodeDebugLine({bytes + at, n});
    bound += kLongestPrefix + MaxDecodedSize(n);
    at += n + 1;
  }
  std::string shown;
  const std::string prefix = SenderPrefix(sender);
  size_t prefixes = 0;
  for (const auto& part : parts) {
    total += part.size();
    if (part == prefix) {
      ++prefixes;
      continue;
    }
    shown += part;
  }
  fuzz::Check(total <= bound, "a datagram's text is larger than its bound");
  // A decoded piece that reads like the sender's prefix cannot be told from one; rare enough to skip.
  if (decoded.find(prefix) != std::string::npos) return;
  fuzz::Check(shown == decoded, "the shown text is not the decoded pieces");
  fuzz::Check(prefixes == prefixesDue, "a sender prefix missing, or one before a continuation");
}

void CheckCdr(const CCdrTextAssembler& assembler, uint32_t sender, const std::vector<uint8_t>& datagram) {
  const auto parts = assembler.Assemble(sender, datagram.data(), datagram.size());
  fuzz::Check(!parts.empty() && parts.size() <= 2 && parts[0] == SenderPrefix(sender), "CDR parts");
  const size_t text = parts.size() == 2 ? parts[1].size() : 0;
  fuzz::Check(text <= datagram.size(), "a CDR record grew");
  fuzz::Check(text == 0 || std::memcmp(parts[1].data(), datagram.data(), text) == 0, "a CDR record changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  CDebugTextAssembler debug;
  Stream stream;
  const CCdrTextAssembler cdr;
  while (input.remaining_bytes() > 0) {
    const uint32_t sender = kSenders[input.ConsumeIntegralInRange<size_t>(0, std::size(kSenders) - 1)];
    // Within what the listener hands over: its buffer keeps one byte for the terminator.
    const size_t length = input.ConsumeIntegralInRange<size_t>(0, kMonitorReceiveSize - 1);
    const std::vector<uint8_t> datagram = input.ConsumeBytes<uint8_t>(length);
    CheckDebug(debug, sender, stream, datagram);
    CheckCdr(cdr, sender, datagram);
  }
  return 0;
}
