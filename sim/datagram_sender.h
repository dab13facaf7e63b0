// The phone's debug and call-detail-record output: UDP datagrams to ports 8225 and 8227 of the tool's
// address, sent from a bound address of their own (the tool ignores datagrams from its own host address).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/unique_fd.h"

namespace quill::sim {

constexpr uint16_t kDebugPort = 8225;
constexpr uint16_t kCdrPort = 8227;
// A debug piece this long is continued by the next piece; longer texts are cut into such pieces.
constexpr size_t kDebugPieceLength = 480;
// A burst never sends more than this many datagrams.
constexpr int kMaxBurst = 1000;

// The datagrams that carry a debug text: pieces of at most 480 characters, each ended by a zero byte,
// one piece per datagram.
std::vector<std::vector<uint8_t>> DebugDatagrams(std::string_view text);

class DatagramSender {
 public:
  // Both addresses dotted, in 127.0.0.0/8.
  DatagramSender(std::string from, std::string to);
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;

  // Makes the socket and binds it to the sending address; false with Error() set on failure.
  bool Open();
  void Close() { fd_.Reset(); }
  const std::string& Error() const { return error_; }

  // One datagram to the given port of the destination.
  bool Send(uint16_t port, const std::vector<uint8_t>& datagram);
  bool SendDebugText(std::string_view text);
  // A call-detail record is one text in one datagram, as it is.
  bool SendCdr(std::string_view text);
  // The same datagram count times back to back (at most kMaxBurst); the number sent.
  int SendBurst(uint16_t port, const std::vector<uint8_t>& datagram, int count);
  // A steady stream: datagram(i, into) fills the i-th datagram, and the i-th goes out no earlier than i /
  // perSecond seconds after the call, so the rate holds over the whole stream and not only on average.
  // Stops after count datagrams, at the first failed send, or once limit has passed; the number sent.
  int SendPaced(uint16_t port, int count, int perSecond, std::chrono::steady_clock::duration limit,
                const std::function<void(int, std::vector<uint8_t>&)>& datagram);

 private:
  std::string from_;
  std::string to_;
  uint32_t toAddress_ = 0;
  UniqueFd fd_;
  std::string error_;
};

}  // namespace quill::sim
