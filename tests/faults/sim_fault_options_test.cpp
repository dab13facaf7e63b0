// The simulator's fault options that the fault tests added, seen from a raw client.
#include <gtest/gtest.h>

#include "sim/tcp_loader.h"
#include "tests/support/loopback.h"
#include "tests/support/peers.h"

namespace quill::sim {
namespace {

using namespace std::chrono_literals;

// A read answer with more after it: the extra bytes come right after the block, in its segment or, with
// the block split at 128, in one of their own.
TEST(TcpLoaderFaults, BytesAfterEachReadAnswer) {
  TcpLoader::Config config;
  config.address = loopback::kSimFaultOptions.dotted;
  config.port = 0;  // any free port, so the address is shared with no fixed port
  TcpLoader loader(config);
  TcpFaults faults;
  faults.afterBlock = {0xEE, 0xEF};
  loader.SetFaults(faults);
  loader.SetSettingsImage(std::vector<uint8_t>(256, 0x31));
  ASSERT_TRUE(loader.Start()) << loader.Error();
  test::TcpClient client;
  ASSERT_EQ(client.Connect(loopback::kSimFaultOptions.dotted, loader.Port()), 0);
  ASSERT_TRUE(client.Send({'s', 'h'}));
  std::vector<uint8_t> expected(128, 0x31);
  expected.push_back(0xEE);
  expected.push_back(0xEF);
  EXPECT_EQ(client.ReadExactly(130, 5000ms), expected);

  faults.splitPiece = 128;
  loader.SetFaults(faults);
  ASSERT_TRUE(client.Send({'s', 'h'}));
  std::vector<size_t> pieces;
  EXPECT_EQ(client.ReadExactly(130, 5000ms, &pieces), expected);
  EXPECT_EQ(pieces, (std::vector<size_t>{128, 2}));
  loader.Stop();
}

// An answer and a reset in one turn: the client finds the answer, then the reset; with no answer to give,
// the connection is reset as soon as it is accepted.
TEST(TcpLoaderFaults, AnswerAndResetTogether) {
  TcpLoader::Config config;
  config.address = loopback::kSimFaultOptions.dotted;
  config.port = 0;
  TcpLoader loader(config);
  TcpFaults faults;
  faults.resetAfterAnswers = 2;
  loader.SetFaults(faults);
  ASSERT_TRUE(loader.Start()) << loader.Error();
  test::TcpClient client;
  ASSERT_EQ(client.Connect(loopback::kSimFaultOptions.dotted, loader.Port()), 0);
  ASSERT_TRUE(client.Send(test::Repeat(0x31, kLoaderBlock)));
  EXPECT_EQ(client.ReadExactly(1, 5000ms), std::vector<uint8_t>{kLoaderAck});
  EXPECT_FALSE(client.Closed());
  ASSERT_TRUE(client.Send(test::Repeat(0x32, kLoaderBlock)));
  ASSERT_TRUE(loader.WaitForClosedConnections(1, 5000ms));  // both are on their way before the client reads
  EXPECT_EQ(client.ReadExactly(2, 5000ms), std::vector<uint8_t>{kLoaderAck});
  EXPECT_TRUE(client.ResetSeen());

  faults.resetAfterAnswers = 0;
  loader.SetFaults(faults);
  ASSERT_EQ(client.Connect(loopback::kSimFaultOptions.dotted, loader.Port()), 0);
  ASSERT_TRUE(loader.WaitForClosedConnections(2, 5000ms));
  EXPECT_TRUE(client.ReadOnce(5000ms).empty());
  EXPECT_TRUE(client.ResetSeen());
  loader.Stop();
}

}  // namespace
}  // namespace quill::sim
