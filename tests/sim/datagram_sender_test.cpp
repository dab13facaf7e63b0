#include "sim/datagram_sender.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <string>

#include "sim/unique_fd.h"
#include "tests/support/census.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

namespace quill::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// A receiver in the tool's place on one port of a loopback address.
class Receiver {
 public:
  Receiver(const char* address, uint16_t port) {
    fd_.Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    int one = 1;
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &sa.sin_addr);
    bound_ = ::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  bool Bound() const { return bound_; }
  uint16_t Port() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
  }
  // One datagram and its sender's dotted address; empty on time-out.
  std::pair<Bytes, std::string> Receive() {
    pollfd p{fd_.Get(), POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return {};
    uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(fd_.Get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return {};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return {Bytes(buffer, buffer + n), text};
  }

 private:
  UniqueFd fd_;
  bool bound_ = false;
};

TEST(DatagramSender, DebugTextIsCutIntoZeroEndedPiecesOf480) {
  struct Row {
    size_t length;
    std::vector<size_t> datagrams;
  };
  const Row rows[] = {{0, {1}}, {3, {4}}, {479, {480}}, {480, {481}}, {481, {481, 2}}, {1000, {481, 481, 41}}};
  for (const Row& row : rows) {
    std::string text(row.length, 'x');
    auto d = DebugDatagrams(text);
    std::vector<size_t> sizes;
    std::string joined;
    for (const auto& one : d) {
      sizes.push_back(one.size());
      EXPECT_EQ(one.back(), 0);
      joined.append(one.begin(), one.end() - 1);
    }
    EXPECT_EQ(sizes, row.datagrams) << row.length;
    EXPECT_EQ(joined, text);
  }
}

TEST(DatagramSender, DebugAndCdrDatagramsArriveFromTheSenderAddress) {
  Receiver debug(loopback::kSenderReceiver.dotted, kDebugPort);
  Receiver cdr(loopback::kSenderReceiver.dotted, kCdrPort);
  ASSERT_TRUE(debug.Bound() && cdr.Bound());
  DatagramSender sender(loopback::kSenderFrom.dotted, loopback::kSenderReceiver.dotted);
  ASSERT_TRUE(sender.Open()) << sender.Error();

  std::string text = "boot 0x1018 3" + std::string(600, '.');
  ASSERT_TRUE(sender.SendDebugText(text));
  auto first = debug.Receive();
  auto second = debug.Receive();
  EXPECT_EQ(first.second, loopback::kSenderFrom.dotted);
  EXPECT_EQ(second.second, loopback::kSenderFrom.dotted);
  ASSERT_EQ(first.first.size(), 481u);
  EXPECT_EQ(std::string(first.first.begin(), first.first.end() - 1) +
                std::string(second.first.begin(), second.first.end() - 1),
            text);

  ASSERT_TRUE(sender.SendCdr("abc"));
  auto record = cdr.Receive();
  EXPECT_EQ(record.first, (Bytes{'a', 'b', 'c'}));  // as it is: no zero added
  EXPECT_EQ(record.second, loopback::kSenderFrom.dotted);

  EXPECT_EQ(sender.SendBurst(kCdrPort, {'r'}, 3), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cdr.Receive().first, Bytes{'r'});
}

TEST(DatagramSender, BurstsAreBoundedAndOnlyLoopbackIsUsed) {
  int descriptors = quill::test::OpenDescriptorCount();
  {
    // A port of its own, so that no listener on the fixed ports gets a thousand datagrams.
    Receiver sink(loopback::kSenderSink.dotted, 0);
    ASSERT_TRUE(sink.Bound());
    DatagramSender sender(loopback::kSenderSinkFrom.dotted, loopback::kSenderSink.dotted);
    ASSERT_TRUE(sender.Open());
    EXPECT_EQ(sender.SendBurst(sink.Port(), {'x'}, kMaxBurst + 500), kMaxBurst);
    for (auto [from, to] : {std::pair{loopback::kSenderSinkFrom.dotted, "192.168.1.100"},
                            std::pair{"10.0.0.2", loopback::kSenderSink.dotted},
                            std::pair{loopback::kSenderSinkFrom.dotted, "phone.local"}}) {
      DatagramSender bad(from, to);
      EXPECT_FALSE(bad.Open());
      EXPECT_NE(bad.Error().find("is not a loopback address"), std::string::npos) << bad.Error();
      EXPECT_FALSE(bad.Send(kDebugPort, {'x'}));
    }
  }
  EXPECT_EQ(quill::test::OpenDescriptorCount(), descriptors);
}

}  // namespace
}  // namespace quill::sim
