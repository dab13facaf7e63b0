#include "sim/serial_loader_protocol.h"

#include <gtest/gtest.h>

#include "tests/support/peers.h"

namespace quill::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Join;
using test::Repeat;
using Answer = SerialLoaderProtocol::Answer;

const Bytes kWake = Repeat(0x55, 16);
const Bytes kProbe = {0xAA};
const Bytes kZeros = Repeat(0x00, 8);
const Bytes kOnes = Repeat(0xFF, 8);

Bytes Chunk(uint8_t first) {
  Bytes c{0x08};
  for (int i = 0; i < 8; ++i) c.push_back(static_cast<uint8_t>(first + i));
  return c;
}

struct Fed {
  std::vector<SimUnit> units;
  std::vector<Answer> answers;
  std::vector<UnitKind> Kinds() const {
    std::vector<UnitKind> k;
    for (const SimUnit& u : units) k.push_back(u.kind);
    return k;
  }
  Bytes AnswerBytes() const {
    Bytes b;
    for (const Answer& a : answers) b.insert(b.end(), a.bytes.begin(), a.bytes.end());
    return b;
  }
};

Fed Feed(SerialLoaderProtocol& p, const Bytes& bytes) {
  Fed f;
  for (uint8_t b : bytes) p.Feed(b, f.units, f.answers);
  return f;
}

Bytes UnitBytes(const Fed& f) {
  Bytes b;
  for (const SimUnit& u : f.units) b.insert(b.end(), u.bytes.begin(), u.bytes.end());
  return b;
}

TEST(SerialLoaderProtocol, FlashProcedureFromWakeUpToEnd) {
  SerialLoaderProtocol p(2000);
  Bytes input = Join({kWake, kProbe, kOnes, {3}, kOnes, {2}, kZeros, Chunk(0x10), Chunk(0xF8), {0xFF}});
  Fed f = Feed(p, input);
  EXPECT_EQ(f.Kinds(), (std::vector<UnitKind>{UnitKind::WakeUp, UnitKind::Probe, UnitKind::EraseSector,
                                              UnitKind::EraseSector, UnitKind::BeginWrite, UnitKind::Chunk,
                                              UnitKind::Chunk, UnitKind::End}));
  EXPECT_EQ(UnitBytes(f), input);  // every byte in exactly one unit
  // 0x55, 0xAA, two erases answered when erased, begin-write, two chunks; the end is not answered.
  EXPECT_EQ(f.AnswerBytes(), Join({Repeat(0x55, 8), Repeat(0xAA, 8), Repeat(0xFF, 16), Repeat(0x00, 8),
                                   Repeat(0x55, 16)}));
  EXPECT_EQ(f.answers[2].delayMs, 2000);
  EXPECT_EQ(f.answers[4].delayMs, 0);
  EXPECT_EQ(p.ErasedSectors(), (std::vector<int>{3, 2}));
  Bytes a = Chunk(0x10);
  Bytes b = Chunk(0xF8);
  EXPECT_EQ(p.FlashPage(), Join({Bytes(a.begin() + 1, a.end()), Bytes(b.begin() + 1, b.end())}));
  EXPECT_EQ(p.FlashWritesEnded(), 1);
  EXPECT_EQ(p.GetState(), SerialLoaderProtocol::State::Idle);
}

// The same eight 0x00 begin a flash write only after a wake-up and an answered probe.
TEST(SerialLoaderProtocol, EightZerosAreABeginWriteOnlyAfterWakeUpAndProbe) {
  struct Row {
    const char* name;
    Bytes before;
    UnitKind expected;
  };
  const Row rows[] = {
      {"nothing before", {}, UnitKind::SdramLoadStart},
      {"wake-up only", kWake, UnitKind::SdramLoadStart},
      {"wake-up and probe", Join({kWake, kProbe}), UnitKind::BeginWrite},
      {"after a finished write", Join({kWake, kProbe, kZeros, Chunk(0), {0xFF}}), UnitKind::SdramLoadStart},
      {"after a finished export", Join({kOnes, {0x08}, {0x00}}), UnitKind::SdramLoadStart},
  };
  for (const Row& row : rows) {
    SerialLoaderProtocol p;
    Feed(p, row.before);
    Fed f = Feed(p, kZeros);
    ASSERT_EQ(f.units.size(), 1u) << row.name;
    EXPECT_EQ(f.units[0].kind, row.expected) << row.name;
    EXPECT_EQ(f.AnswerBytes(), Repeat(0x00, 8)) << row.name;
  }
}

TEST(SerialLoaderProtocol, ClosedLineOrFreshWakeUpEndsAProcedureCutShort) {
  SerialLoaderProtocol p;
  Feed(p, Join({kWake, kProbe, kOnes}));
  std::vector<SimUnit> units;
  p.LineClosed(units);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].kind, UnitKind::Stray);  // the erase lead that never got its sector
  EXPECT_EQ(Feed(p, kZeros).units[0].kind, UnitKind::SdramLoadStart);

  // A write cut off by a new wake-up: the wake-up is recognised between chunks, and then a probe.
  SerialLoaderProtocol q;
  Feed(q, Join({kWake, kProbe, kZeros, Chunk(1)}));
  Fed f = Feed(q, Join({kWake, kProbe}));
  EXPECT_EQ(f.Kinds(), (std::vector<UnitKind>{UnitKind::WakeUp, UnitKind::Probe}));
  EXPECT_EQ(f.answers.size(), 2u);
}

TEST(SerialLoaderProtocol, ChunkDataIsDataWhateverItsBytes) {
  SerialLoaderProtocol p;
  Feed(p, Join({kWake, kProbe, kZeros}));
  Bytes chunk = {0x08, 0xFF, 0x08, 0x55, 0x00, 0xAA, 0x55, 0x55, 0xFF};
  Fed f = Feed(p, Join({chunk, {0xFF}}));
  EXPECT_EQ(f.Kinds(), (std::vector<UnitKind>{UnitKind::Chunk, UnitKind::End}));
  EXPECT_EQ(p.FlashPage(), Bytes(chunk.begin() + 1, chunk.end()));
}

TEST(SerialLoaderProtocol, ExtraProbesAndStrayBytesAreRecordedButNotAnswered) {
  SerialLoaderProtocol p;
  // Bytes before any wake-up: probes are strays, and a short run of 0x55 makes nothing.
  Fed f = Feed(p, Join({kProbe, Repeat(0x55, 15), {0x12}, kWake, kProbe, kProbe, kProbe}));
  EXPECT_EQ(f.Kinds(), (std::vector<UnitKind>{UnitKind::Stray, UnitKind::Stray, UnitKind::Stray, UnitKind::WakeUp,
                                              UnitKind::Probe, UnitKind::Probe, UnitKind::Probe}));
  EXPECT_EQ(f.units[1].bytes, Repeat(0x55, 15));
  EXPECT_TRUE(f.units[4].answered);
  EXPECT_FALSE(f.units[5].answered);  // sent while the answer was on its way: answered once only
  EXPECT_EQ(f.answers.size(), 2u);
}

TEST(SerialLoaderProtocol, SdramLoadAndExport) {
  SerialLoaderProtocol p;
  Fed load = Feed(p, Join({kZeros, Chunk(1), Chunk(9), {0xFF}}));
  EXPECT_EQ(load.Kinds(), (std::vector<UnitKind>{UnitKind::SdramLoadStart, UnitKind::SdramChunk,
                                                 UnitKind::SdramChunk, UnitKind::SdramLoadEnd}));
  Bytes expected;
  for (int i = 1; i < 17; ++i) expected.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(p.SdramReceived(), expected);
  EXPECT_EQ(p.SdramLoadsEnded(), 1);
  EXPECT_TRUE(p.FlashPage().empty());

  Bytes image;
  for (int i = 0; i < 12; ++i) image.push_back(static_cast<uint8_t>(0xA0 + i));
  p.SetSdramImage(image);
  Fed out = Feed(p, Join({kOnes, {0x08}, {0x08}, {0x00}}));
  EXPECT_EQ(out.Kinds(), (std::vector<UnitKind>{UnitKind::SdramExportStart, UnitKind::SdramExportRequest,
                                                UnitKind::SdramExportRequest, UnitKind::SdramExportEnd}));
  // Past the image's end the SDRAM reads as zeros.
  EXPECT_EQ(out.AnswerBytes(), Join({Repeat(0xFF, 8), image, Repeat(0x00, 4)}));
}

TEST(SerialLoaderProtocol, FaultsChangeWhichUnitsAreAnsweredAndHow) {
  struct Row {
    const char* name;
    SerialFaults faults;
    Bytes input;
    std::vector<bool> answered;  // per unit
    Bytes answers;
  };
  SerialFaults silent;
  silent.silent = true;
  SerialFaults noWake;
  noWake.noWakeUpAnswer = true;
  SerialFaults twoProbes;
  twoProbes.ignoreProbes = 2;
  SerialFaults neverProbe;
  neverProbe.ignoreProbes = kNever;
  SerialFaults wrong;
  wrong.wrongByte = 0x5A;
  SerialFaults stop;
  stop.stopAfterChunks = 1;
  const Row rows[] = {
      {"silent", silent, Join({kWake, kProbe}), {false, false}, {}},
      {"no wake-up answer", noWake, Join({kWake, kProbe}), {false, true}, Repeat(0xAA, 8)},
      {"two probes ignored", twoProbes, Join({kWake, kProbe, kProbe, kProbe}), {true, false, false, true},
       Join({Repeat(0x55, 8), Repeat(0xAA, 8)})},
      {"probes never answered", neverProbe, Join({kWake, Repeat(0xAA, 5)}), {true, false, false, false, false, false},
       Repeat(0x55, 8)},
      {"wrong byte", wrong, Join({kWake, kProbe}), {true, true}, Repeat(0x5A, 16)},
      {"stop mid-page", stop, Join({kWake, kProbe, kZeros, Chunk(0), Chunk(8)}), {true, true, true, true, false},
       Join({Repeat(0x55, 8), Repeat(0xAA, 8), Repeat(0x00, 8), Repeat(0x55, 8)})},
  };
  for (const Row& row : rows) {
    SerialLoaderProtocol p;
    p.SetFaults(row.faults);
    Fed f = Feed(p, row.input);
    std::vector<bool> answered;
    for (const SimUnit& u : f.units) answered.push_back(u.answered);
    EXPECT_EQ(answered, row.answered) << row.name;
    EXPECT_EQ(f.AnswerBytes(), row.answers) << row.name;
  }
  // Probes ignored after a wake-up count again from the next wake-up.
  SerialLoaderProtocol p;
  p.SetFaults(twoProbes);
  Feed(p, Join({kWake, kProbe, kProbe}));
  Fed again = Feed(p, Join({kWake, kProbe, kProbe, kProbe}));
  EXPECT_EQ(again.answers.size(), 2u);
}

TEST(SerialLoaderProtocol, LateAnswersCarryTheirDelay) {
  SerialLoaderProtocol p(300);
  SerialFaults late;
  late.lateMs = 40;
  p.SetFaults(late);
  Fed f = Feed(p, Join({kWake, kProbe, kOnes, {7}}));
  ASSERT_EQ(f.answers.size(), 3u);
  EXPECT_EQ(f.answers[0].delayMs, 40);
  EXPECT_EQ(f.answers[2].delayMs, 340);  // the erase time and the lateness
}

}  // namespace
}  // namespace quill::sim
