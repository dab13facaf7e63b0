#include "sim/tcp_loader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/timing.h"
#include "tests/support/census.h"
#include "tests/support/loopback.h"
#include "tests/support/peers.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Repeat;
using test::TcpClient;

// Only a failing test waits this long; a passing one is released by the event it waits for.
constexpr auto kWait = std::chrono::seconds(5);
// How long a test listens to be sure that no answer comes, after the simulator has recorded the unit.
constexpr auto kQuiet = std::chrono::milliseconds(150);

Bytes Pattern(size_t n, unsigned seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + i / 256 + seed) & 0xFF);
  return b;
}

Bytes Slice(const Bytes& b, size_t at, size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

std::vector<UnitKind> Kinds(const std::vector<SimUnit>& units) {
  std::vector<UnitKind> out;
  out.reserve(units.size());
  for (const SimUnit& u : units) out.push_back(u.kind);
  return out;
}

class TcpLoaderTest : public ::testing::Test {
 protected:
  // A 5000 ms erase window takes 50 ms; late answers shrink alike.
  test::ScaledTiming scale_{0.01};
  std::unique_ptr<TcpLoader> loader_;

  TcpLoader& Start(const std::string& address, const TcpFaults& faults = {}, TcpLoader::Config config = {}) {
    config.address = address;
    loader_ = std::make_unique<TcpLoader>(config);
    loader_->SetFaults(faults);
    EXPECT_TRUE(loader_->Start()) << loader_->Error();
    return *loader_;
  }

  void Connect(TcpClient& client) { ASSERT_EQ(client.Connect(loader_->Address(), loader_->Port()), 0); }
};

TEST_F(TcpLoaderTest, PageOf512BlocksIsAnsweredBlockByBlockAndKeptByPageNumber) {
  TcpLoader& loader = Start(loopback::kLoaderPage.dotted);
  Bytes page = Pattern(65536, 1);
  TcpClient client;
  Connect(client);
  for (size_t at = 0; at < page.size(); at += kLoaderBlock) {
    ASSERT_TRUE(client.Send(Slice(page, at, kLoaderBlock)));
    // Each answer is the single byte 0xFF, alone in its segment.
    ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF}) << "block at " << at;
  }
  ASSERT_TRUE(client.Send({3}));
  EXPECT_EQ(client.ReadOnce(kWait), Bytes{0xFF});

  EXPECT_EQ(loader.Page(3), page);
  EXPECT_EQ(loader.Page(4), std::nullopt);
  EXPECT_EQ(loader.CommandsAccepted(), 1);
  auto units = loader.Log().Units();
  ASSERT_EQ(units.size(), 513u);
  EXPECT_EQ(loader.Log().Units(UnitKind::Block).size(), 512u);
  EXPECT_EQ(units.back().kind, UnitKind::Command);
  EXPECT_TRUE(units.back().answered);
  Bytes expected = page;
  expected.push_back(3);
  EXPECT_EQ(loader.Log().Bytes(1), expected);
}

TEST_F(TcpLoaderTest, EveryCommandByteStoresItsDataArea) {
  TcpLoader& loader = Start(loopback::kLoaderCommands.dotted);
  // Each update connects anew once the previous erase window has ended, as the tool's next command would.
  const uint8_t commands[] = {kCmdSettings, kCmdProgram,   kCmdRing, kCmdHold,
                              kCmdDigitMap, kCmdAlternate, 0,        15};
  int n = 0;
  for (uint8_t command : commands) {
    ASSERT_TRUE(loader.WaitForListening(true, kWait));
    TcpClient client;
    Connect(client);
    Bytes data = Pattern(2 * kLoaderBlock, command);
    for (size_t at = 0; at < data.size(); at += kLoaderBlock) {
      ASSERT_TRUE(client.Send(Slice(data, at, kLoaderBlock)));
      ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
    }
    ASSERT_TRUE(client.Send({command}));
    ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
    EXPECT_EQ(loader.Stored(command), data) << int(command);
    ASSERT_TRUE(loader.WaitForEraseWindowsEnded(++n, kWait));
  }
  EXPECT_EQ(loader.CommandsAccepted(), 8);
}

TEST_F(TcpLoaderTest, ReadRequestsServeTheImagesBlockByBlockFromTheStartOfEachConnection) {
  TcpLoader& loader = Start(loopback::kLoaderReads.dotted);
  Bytes settings = Pattern(512, 9);
  Bytes sdram = Pattern(200, 4);
  loader.SetSettingsImage(settings);
  loader.SetSdramImage(sdram);

  TcpClient client;
  Connect(client);
  Bytes read;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(client.Send({'s', 'h'}));
    std::vector<size_t> pieces;
    Bytes block = client.ReadExactly(kLoaderBlock, kWait, &pieces);
    EXPECT_EQ(pieces, std::vector<size_t>{kLoaderBlock});  // one segment of exactly 128 bytes
    read.insert(read.end(), block.begin(), block.end());
  }
  EXPECT_EQ(read, settings);

  // SDRAM past the image's end reads as zeros; a new connection starts from the beginning again.
  ASSERT_TRUE(client.Send({'d', 'h'}));
  EXPECT_EQ(client.ReadExactly(kLoaderBlock, kWait), Slice(sdram, 0, 128));
  ASSERT_TRUE(client.Send({'d', 'h'}));
  EXPECT_EQ(client.ReadExactly(kLoaderBlock, kWait), test::Join({Slice(sdram, 128, 72), Bytes(56, 0)}));
  client.Close();
  TcpClient again;
  Connect(again);
  ASSERT_TRUE(again.Send({'s', 'h'}));
  EXPECT_EQ(again.ReadExactly(kLoaderBlock, kWait), Slice(settings, 0, 128));

  auto requests = loader.Log().Units(UnitKind::Request);
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[6].session, 2);
  EXPECT_EQ(requests[4].bytes, (Bytes{'d', 'h'}));
}

TEST_F(TcpLoaderTest, AcceptedCommandClosesTheListenerForTheEraseWindowThenAcceptsAgain) {
  TcpLoader& loader = Start(loopback::kLoaderEraseWindow.dotted);
  TcpClient client;
  Connect(client);
  Bytes block = Pattern(kLoaderBlock, 2);
  ASSERT_TRUE(client.Send(block));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  ASSERT_TRUE(client.Send({kCmdProgram}));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});

  // The listener was closed before the answer left: a tool holding the answer finds nobody listening.
  EXPECT_FALSE(loader.IsListening());
  TcpClient probe;
  EXPECT_EQ(probe.Connect(loopback::kLoaderEraseWindow.dotted, kLoaderPort), ECONNREFUSED);
  EXPECT_EQ(loader.Stored(kCmdProgram), block);

  ASSERT_TRUE(loader.WaitForEraseWindowsEnded(1, kWait));
  ASSERT_TRUE(loader.WaitForListening(true, kWait));
  EXPECT_EQ(probe.Connect(loopback::kLoaderEraseWindow.dotted, kLoaderPort), 0);
}

TEST_F(TcpLoaderTest, PhoneRefusingTheUpdateKeepsAcceptingAndKeepsNothing) {
  TcpFaults f;
  f.refuseUpdates = true;
  TcpLoader& loader = Start(loopback::kLoaderRefusing.dotted, f);
  TcpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(Pattern(kLoaderBlock, 3)));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  ASSERT_TRUE(client.Send({kCmdRing}));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});

  TcpClient probe;
  EXPECT_EQ(probe.Connect(loopback::kLoaderRefusing.dotted, kLoaderPort), 0);
  ASSERT_TRUE(loader.WaitForConnections(2, kWait));
  EXPECT_TRUE(loader.IsListening());
  EXPECT_EQ(loader.Stored(kCmdRing), std::nullopt);
  EXPECT_EQ(loader.CommandsRefused(), 1);
  EXPECT_EQ(loader.CommandsAccepted(), 0);
  client.Close();
  ASSERT_TRUE(loader.WaitForClosedConnections(1, kWait));
  EXPECT_TRUE(loader.SdramReceived().empty());  // the refused update's block is not taken for SDRAM data
}

TEST_F(TcpLoaderTest, NoListenerRefusesConnectionsUntilTheFaultIsCleared) {
  TcpFaults f;
  f.noListener = true;
  TcpLoader& loader = Start(loopback::kLoaderNoListener.dotted, f);
  TcpClient client;
  EXPECT_EQ(client.Connect(loopback::kLoaderNoListener.dotted, kLoaderPort), ECONNREFUSED);
  EXPECT_EQ(loader.Connections(), 0);
  loader.SetFaults({});
  ASSERT_TRUE(loader.WaitForListening(true, kWait));
  EXPECT_EQ(client.Connect(loopback::kLoaderNoListener.dotted, kLoaderPort), 0);
  f.noListener = true;
  loader.SetFaults(f);
  ASSERT_TRUE(loader.WaitForListening(false, kWait));
  TcpClient other;
  EXPECT_EQ(other.Connect(loopback::kLoaderNoListener.dotted, kLoaderPort), ECONNREFUSED);
}

TEST_F(TcpLoaderTest, SilentPhoneAcceptsAndRecordsButNeverAnswersNorActs) {
  TcpFaults f;
  f.silent = true;
  TcpLoader& loader = Start(loopback::kLoaderSilent.dotted, f);
  TcpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(Pattern(kLoaderBlock, 5)));
  ASSERT_TRUE(loader.Log().WaitForCount(1, kWait));
  ASSERT_TRUE(client.Send({2}));
  ASSERT_TRUE(loader.Log().WaitForCount(2, kWait));
  EXPECT_TRUE(client.Quiet(kQuiet));
  EXPECT_EQ(Kinds(loader.Log().Units()), (std::vector<UnitKind>{UnitKind::Block, UnitKind::Command}));
  EXPECT_FALSE(loader.Log().Units()[0].answered);
  EXPECT_EQ(loader.Page(2), std::nullopt);
  EXPECT_TRUE(loader.IsListening());
}

TEST_F(TcpLoaderTest, LateAnswersComeNoEarlierThanTheScaledDelay) {
  TcpFaults f;
  f.lateMs = 5000;  // 50 ms at this scale
  TcpLoader& loader = Start(loopback::kLoaderLate.dotted, f);
  loader.SetSettingsImage(Pattern(512, 1));
  TcpClient client;
  Connect(client);
  for (const Bytes& unit : {Pattern(kLoaderBlock, 1), Bytes{'s', 'h'}}) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Send(unit));
    Bytes answer = client.ReadExactly(unit.size() == 2 ? kLoaderBlock : 1, kWait);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(answer.empty());
    EXPECT_GE(took, std::chrono::milliseconds(50));
  }
}

TEST_F(TcpLoaderTest, SplitAnswerArrivesInSeveralPiecesThatMakeTheBlock) {
  TcpFaults f;
  f.splitPiece = 32;
  TcpLoader::Config c;
  c.splitGapMs = 60;  // real time: the pieces stay apart even on a loaded machine
  TcpLoader& loader = Start(loopback::kLoaderSplit.dotted, f, c);
  Bytes settings = Pattern(512, 7);
  loader.SetSettingsImage(settings);
  TcpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send({'s', 'h'}));
  std::vector<size_t> pieces;
  EXPECT_EQ(client.ReadExactly(kLoaderBlock, kWait, &pieces), Slice(settings, 0, 128));
  EXPECT_GE(pieces.size(), 2u);
  // An acknowledgement has nothing to split.
  ASSERT_TRUE(client.Send(Pattern(kLoaderBlock, 0)));
  EXPECT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
}

TEST_F(TcpLoaderTest, AcknowledgementFaultsChangeTheBytesOfTheAnswer) {
  struct Row {
    const char* name;
    std::vector<uint8_t> join;
    std::optional<uint8_t> wrong;
    Bytes expected;
  };
  const Row rows[] = {
      {"joined with another byte", {0x00}, std::nullopt, {0xFF, 0x00}},
      {"wrong byte", {}, 0x00, {0x00}},
      {"wrong byte joined", {0x11, 0x22}, 0xFE, {0xFE, 0x11, 0x22}},
  };
  for (const Row& row : rows) {
    TcpFaults f;
    f.joinAfterAck = row.join;
    f.wrongAck = row.wrong;
    Start(loopback::kLoaderAckFaults.dotted, f);
    TcpClient client;
    Connect(client);
    for (const Bytes& unit : {Pattern(kLoaderBlock, 0), Bytes{7}}) {
      ASSERT_TRUE(client.Send(unit));
      // Sent with one write: whatever the tool reads of it, it reads at once.
      EXPECT_EQ(client.ReadOnce(kWait), row.expected) << row.name;
    }
    loader_.reset();
  }
}

TEST_F(TcpLoaderTest, DropAfterNUnitsClosesOrResetsTheConnection) {
  for (bool reset : {false, true}) {
    TcpFaults f;
    f.dropAfterUnits = 3;
    f.dropWithReset = reset;
    TcpLoader& loader = Start(loopback::kLoaderDrop.dotted, f);
    TcpClient client;
    Connect(client);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(client.Send(Pattern(kLoaderBlock, i)));
      ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
    }
    ASSERT_TRUE(client.Send(Pattern(kLoaderBlock, 3)));
    EXPECT_EQ(client.ReadOnce(kWait), Bytes{});
    EXPECT_TRUE(client.Closed()) << "reset " << reset;
    EXPECT_EQ(client.ResetSeen(), reset);
    ASSERT_TRUE(loader.WaitForClosedConnections(1, kWait));
    auto blocks = loader.Log().Units(UnitKind::Block);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_TRUE(blocks[2].answered);
    EXPECT_FALSE(blocks[3].answered);
    // A new connection gets its own count.
    TcpClient next;
    Connect(next);
    ASSERT_TRUE(next.Send(Pattern(kLoaderBlock, 0)));
    EXPECT_EQ(next.ReadOnce(kWait), Bytes{0xFF});
    loader_.reset();
  }
}

TEST_F(TcpLoaderTest, BlocksWithoutACommandAreKeptAsTheConnectionsSdramData) {
  TcpLoader& loader = Start(loopback::kLoaderSdram.dotted);
  Bytes sdram = Pattern(3 * kLoaderBlock, 8);
  TcpClient client;
  Connect(client);
  for (size_t at = 0; at < sdram.size(); at += kLoaderBlock) {
    ASSERT_TRUE(client.Send(Slice(sdram, at, kLoaderBlock)));
    ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  }
  // A tail that never became a block is recorded as it came.
  ASSERT_TRUE(client.Send(Bytes(100, 0x5A)));
  client.Close();
  ASSERT_TRUE(loader.WaitForClosedConnections(1, kWait));
  EXPECT_EQ(loader.SdramReceived(), sdram);
  auto units = loader.Log().Units();
  ASSERT_EQ(units.size(), 4u);
  EXPECT_EQ(units[3].kind, UnitKind::Partial);
  EXPECT_EQ(units[3].bytes, Bytes(100, 0x5A));
  EXPECT_EQ(loader.CommandsAccepted(), 0);
  EXPECT_TRUE(loader.IsListening());
}

TEST_F(TcpLoaderTest, BlockArrivingInPiecesIsCollectedIntoOneUnit) {
  TcpLoader& loader = Start(loopback::kLoaderPieces.dotted);
  TcpClient client;
  Connect(client);
  // First pieces that are no command (0x20) and no request ("dx"), then the rest; and a block that comes
  // together with nothing else.
  Bytes block = Pattern(kLoaderBlock, 0x20);
  block[0] = 0x20;
  ASSERT_TRUE(client.Send(Slice(block, 0, 1)));
  ASSERT_TRUE(client.Send(Slice(block, 1, 60)));
  ASSERT_TRUE(client.Send(Slice(block, 61, 67)));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  Bytes second = Pattern(kLoaderBlock, 1);
  second[0] = 'd';
  second[1] = 'x';
  ASSERT_TRUE(client.Send(Slice(second, 0, 2)));
  ASSERT_TRUE(client.Send(Slice(second, 2, 126)));
  ASSERT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  auto units = loader.Log().Units();
  ASSERT_EQ(Kinds(units), (std::vector<UnitKind>{UnitKind::Block, UnitKind::Block}));
  EXPECT_EQ(units[0].bytes, block);
  EXPECT_EQ(units[1].bytes, second);
}

TEST_F(TcpLoaderTest, AnyPortCanBeChosenForBenchmarks) {
  TcpLoader::Config c;
  c.port = 0;
  TcpLoader& loader = Start(loopback::kLoaderAnyPort.dotted, {}, c);
  ASSERT_NE(loader.Port(), 0);
  TcpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send({1}));
  EXPECT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  // After the erase window the listener comes back on the same port.
  ASSERT_TRUE(loader.WaitForEraseWindowsEnded(1, kWait));
  ASSERT_TRUE(loader.WaitForListening(true, kWait));
  TcpClient again;
  EXPECT_EQ(again.Connect(loopback::kLoaderAnyPort.dotted, loader.Port()), 0);
}

TEST(TcpLoaderAddress, OnlyLoopbackAddressesAreUsed) {
  for (const char* address :
       {"192.168.1.100", "10.0.0.1", "0.0.0.0", "localhost", "", "127.0.0.300", "127.1"}) {
    TcpLoader::Config c;
    c.address = address;
    TcpLoader loader(c);
    EXPECT_FALSE(loader.Start()) << address;
    EXPECT_NE(loader.Error().find("is not a loopback address"), std::string::npos) << loader.Error();
    EXPECT_FALSE(loader.IsRunning());
  }
}

TEST_F(TcpLoaderTest, StopEndsEverythingEvenWithAnswersPendingAndLeavesNothingBehind) {
  quill::test::Census census;
  {
    TcpFaults f;
    f.lateMs = 10000000;  // pending for far longer than the test
    TcpLoader& loader = Start(loopback::kLoaderStop.dotted, f);
    TcpClient client;
    Connect(client);
    ASSERT_TRUE(client.Send({'s', 'h'}));
    ASSERT_TRUE(loader.Log().WaitForCount(1, kWait));
    loader.Stop();
    loader.Stop();  // harmless
    EXPECT_FALSE(loader.IsRunning());
    EXPECT_FALSE(loader.IsListening());
    EXPECT_EQ(client.ReadOnce(kWait), Bytes{});
    EXPECT_TRUE(client.Closed());
    EXPECT_EQ(loader.ClosedConnections(), 1);
    // It starts again after a stop.
    ASSERT_TRUE(loader.Start());
    TcpClient again;
    Connect(again);
    client.Close();
    again.Close();
    loader_.reset();
  }
  EXPECT_TRUE(census.Back()) << census.Describe();
}

}  // namespace
}  // namespace quill::sim
