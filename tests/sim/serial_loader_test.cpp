#include "sim/serial_loader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/timing.h"
#include "tests/support/census.h"
#include "tests/support/peers.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Join;
using test::Repeat;
using test::SerialEnd;

constexpr auto kWait = std::chrono::seconds(5);
constexpr auto kQuiet = std::chrono::milliseconds(150);

Bytes Chunk(const Bytes& data, size_t at) {
  Bytes c(9, 0x08);
  for (size_t i = 0; i < 8; ++i) c[1 + i] = data[at + i];
  return c;
}

std::vector<UnitKind> Kinds(const std::vector<SimUnit>& units) {
  std::vector<UnitKind> out;
  out.reserve(units.size());
  for (const SimUnit& u : units) out.push_back(u.kind);
  return out;
}

class SerialLoaderTest : public ::testing::Test {
 protected:
  // A 2000 ms sector erase takes 2 ms.
  test::ScaledTiming scale_{0.001};
  SerialLoader loader_;
  SerialEnd port_;

  void SetUp() override {
    ASSERT_TRUE(loader_.Start()) << loader_.Error();
    ASSERT_TRUE(port_.Open(loader_.SlavePath()));
    ASSERT_TRUE(loader_.WaitForLineOpen(true, kWait));
  }

  // Sends the bytes of one unit and reads its answer.
  Bytes Exchange(const Bytes& bytes, size_t answer = 8) {
    EXPECT_TRUE(port_.Write(bytes));
    return port_.ReadExactly(answer, kWait);
  }

  // The tool closes its port and the phone has taken note.
  void CloseAndSettle(int closes) {
    port_.Close();
    ASSERT_TRUE(loader_.WaitForLineCloses(closes, kWait));
  }
};

TEST_F(SerialLoaderTest, FlashProcedureIsAnsweredAndKeptByteExact) {
  SerialFaults f;
  f.ignoreProbes = 2;
  loader_.SetFaults(f);
  Bytes page(40);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(0xF0 + i);

  EXPECT_EQ(Exchange(Repeat(0x55, 16)), Repeat(0x55, 8));
  Bytes sent = Repeat(0x55, 16);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(port_.Write({0xAA}));
    ASSERT_TRUE(loader_.Log().WaitForCount(2 + i, kWait));
  }
  EXPECT_TRUE(port_.Quiet(kQuiet));  // the first two probes stay unanswered
  EXPECT_EQ(Exchange({0xAA}), Repeat(0xAA, 8));
  sent = Join({sent, Repeat(0xAA, 3)});
  for (int s : {18, 17, 16, 15}) {
    Bytes erase = Join({Repeat(0xFF, 8), {static_cast<uint8_t>(s)}});
    EXPECT_EQ(Exchange(erase), Repeat(0xFF, 8)) << "sector " << s;
    sent = Join({sent, erase});
  }
  EXPECT_EQ(Exchange(Repeat(0x00, 8)), Repeat(0x00, 8));
  sent = Join({sent, Repeat(0x00, 8)});
  for (size_t at = 0; at < page.size(); at += 8) {
    EXPECT_EQ(Exchange(Chunk(page, at)), Repeat(0x55, 8));
    sent = Join({sent, Chunk(page, at)});
  }
  ASSERT_TRUE(port_.Write({0xFF}));
  sent.push_back(0xFF);
  CloseAndSettle(1);

  EXPECT_EQ(loader_.ErasedSectors(), (std::vector<int>{18, 17, 16, 15}));
  EXPECT_EQ(loader_.FlashPage(), page);
  EXPECT_EQ(loader_.FlashWritesEnded(), 1);
  EXPECT_EQ(loader_.Log().Bytes(), sent);
  auto units = loader_.Log().Units();
  std::vector<UnitKind> expected = {UnitKind::WakeUp, UnitKind::Probe, UnitKind::Probe, UnitKind::Probe};
  expected.insert(expected.end(), 4, UnitKind::EraseSector);
  expected.push_back(UnitKind::BeginWrite);
  expected.insert(expected.end(), 5, UnitKind::Chunk);
  expected.push_back(UnitKind::End);
  EXPECT_EQ(Kinds(units), expected);
  for (const SimUnit& u : units) EXPECT_EQ(u.session, 1);
}

TEST_F(SerialLoaderTest, SdramLoadAndExportAreByteExact) {
  // Thirteen bytes go as two chunks, the second carrying three bytes of the file and five of the buffer.
  Bytes data(16);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(Exchange(Repeat(0x00, 8)), Repeat(0x00, 8));
  EXPECT_EQ(Exchange(Chunk(data, 0)), Repeat(0x55, 8));
  EXPECT_EQ(Exchange(Chunk(data, 8)), Repeat(0x55, 8));
  ASSERT_TRUE(port_.Write({0xFF}));
  ASSERT_TRUE(loader_.Log().WaitForCount(4, kWait));
  EXPECT_EQ(loader_.SdramReceived(), data);
  EXPECT_EQ(loader_.SdramLoadsEnded(), 1);

  Bytes image(20);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(0xC0 + i);
  loader_.SetSdramImage(image);
  EXPECT_EQ(Exchange(Repeat(0xFF, 8)), Repeat(0xFF, 8));
  Bytes read;
  for (int i = 0; i < 3; ++i) read = Join({read, Exchange({0x08})});
  ASSERT_TRUE(port_.Write({0x00}));
  ASSERT_TRUE(loader_.Log().WaitForCount(9, kWait));
  EXPECT_EQ(read, Join({image, Repeat(0x00, 4)}));
  EXPECT_EQ(Kinds(loader_.Log().Units()),
            (std::vector<UnitKind>{UnitKind::SdramLoadStart, UnitKind::SdramChunk, UnitKind::SdramChunk,
                                   UnitKind::SdramLoadEnd, UnitKind::SdramExportStart,
                                   UnitKind::SdramExportRequest, UnitKind::SdramExportRequest,
                                   UnitKind::SdramExportRequest, UnitKind::SdramExportEnd}));
  EXPECT_TRUE(loader_.FlashPage().empty());
}

TEST_F(SerialLoaderTest, ClosingThePortEndsTheFlashProcedureSoTheNextZerosLoadSdram) {
  EXPECT_EQ(Exchange(Repeat(0x55, 16)), Repeat(0x55, 8));
  EXPECT_EQ(Exchange({0xAA}), Repeat(0xAA, 8));
  CloseAndSettle(1);
  ASSERT_TRUE(port_.Open(loader_.SlavePath()));
  ASSERT_TRUE(loader_.WaitForLineOpen(true, kWait));
  EXPECT_EQ(Exchange(Repeat(0x00, 8)), Repeat(0x00, 8));
  auto units = loader_.Log().Units();
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[2].kind, UnitKind::SdramLoadStart);
  EXPECT_EQ(units[2].session, 2);
  EXPECT_EQ(loader_.Sessions(), 2);
}

TEST_F(SerialLoaderTest, LineFaultsAsTheToolSeesThem) {
  SerialFaults f;
  f.noWakeUpAnswer = true;
  loader_.SetFaults(f);
  ASSERT_TRUE(port_.Write(Repeat(0x55, 16)));
  ASSERT_TRUE(loader_.Log().WaitForCount(1, kWait));
  EXPECT_TRUE(port_.Quiet(kQuiet));

  f = {};
  f.wrongByte = 0x5A;
  loader_.SetFaults(f);
  EXPECT_EQ(Exchange({0xAA}), Repeat(0x5A, 8));

  f = {};
  f.lateMs = 100000;  // 100 ms at this scale
  loader_.SetFaults(f);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(Repeat(0x55, 16)), Repeat(0x55, 8));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

  f = {};
  f.stopAfterChunks = 1;
  loader_.SetFaults(f);
  EXPECT_EQ(Exchange({0xAA}), Repeat(0xAA, 8));
  EXPECT_EQ(Exchange(Repeat(0x00, 8)), Repeat(0x00, 8));
  Bytes data(16, 0x31);
  EXPECT_EQ(Exchange(Chunk(data, 0)), Repeat(0x55, 8));
  ASSERT_TRUE(port_.Write(Chunk(data, 8)));
  ASSERT_TRUE(loader_.Log().WaitForCount(7, kWait));
  EXPECT_TRUE(port_.Quiet(kQuiet));  // stopped in the middle of the page
  EXPECT_EQ(loader_.FlashPage(), data);
}

TEST_F(SerialLoaderTest, FreeTextGoesOutOnTheLine) {
  loader_.SendText("boot 0x1018 3\r\n");
  std::string expected = "boot 0x1018 3\r\n";
  Bytes got = port_.ReadExactly(expected.size(), kWait);
  EXPECT_EQ(std::string(got.begin(), got.end()), expected);
}

// The master stays open until the tool has closed its port: an answer sent just before the stop is still
// read, not lost to a hang-up.
TEST_F(SerialLoaderTest, StopWaitsForTheToolToCloseThePort) {
  ASSERT_TRUE(port_.Write(Repeat(0x55, 16)));
  ASSERT_FALSE(port_.Quiet(kWait));  // the answer is waiting in the tool's port, unread
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    loader_.Stop();
    stopped = true;
  });
  EXPECT_EQ(port_.ReadExactly(8, kWait), Repeat(0x55, 8));
  EXPECT_FALSE(stopped);
  port_.Close();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(loader_.IsRunning());
}

TEST(SerialLoaderLifetime, StopIsBoundedWhenTheToolKeepsThePortAndNothingIsLeftBehind) {
  quill::test::Census census;
  {
    SerialLoader::Config c;
    c.closeWaitMs = 50;
    SerialLoader loader(c);
    ASSERT_TRUE(loader.Start());
    EXPECT_EQ(loader.SlavePath().rfind("/dev/pts/", 0), 0u) << loader.SlavePath();
    SerialEnd port;
    ASSERT_TRUE(port.Open(loader.SlavePath()));
    ASSERT_TRUE(loader.WaitForLineOpen(true, kWait));
    loader.Stop();  // returns after the bound although the port is still open
    EXPECT_FALSE(loader.IsRunning());
    port.Close();
    SerialLoader unused;
    ASSERT_TRUE(unused.Start());
  }
  EXPECT_TRUE(census.Back()) << census.Describe();
}

}  // namespace
}  // namespace quill::sim
