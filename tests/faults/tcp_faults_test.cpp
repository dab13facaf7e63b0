// Every way the network link can fail, through every command a technician runs over it: nothing
// listening, a phone that connects and falls silent, one that closes or resets the connection part way,
// answers that come late, in pieces, joined to other bytes or wrong. Each run ends with the message the
// system gives (or the command's own success), no link, thread or descriptor left, and nothing hung.
#include <gtest/gtest.h>

#include <functional>

#include "link/maintenance_commands.h"
#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "sim/tcp_loader.h"
#include "tests/support/census.h"
#include "tests/support/command_host.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using Texts = std::vector<std::string>;
using test::kCantUpdate;
using test::kTcpFailed;
using test::kUpdating;

constexpr const char* kAskPush = "Update settings to phone now?";

// Every answer wait of the link is 10000 ms; the connection is looked for for 1000 ms.
constexpr int kAnswerWait = 10000;

std::string Bytes(size_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7);
  return s;
}

// One command with everything it needs, run against the phone at address.
struct Rig {
  Rig(const std::string& address, const test::TempDir& folder) : dir(folder) {
    host.ipField = test::FieldAddress(address);
    host.workingDirectory = dir.Path();
  }
  const test::TempDir& dir;
  test::FakeUi ui;
  test::FakeCommandHost host;
  CMaintenanceLink link{ui};
  CMaintenanceCommands commands{ui, link, host};
};

enum class Stage { Connect, Read, Send, None };

struct TcpCase {
  const char* name;
  bool reads;        // reads the phone's settings or SDRAM first
  int blocks;        // 128-byte blocks sent afterwards
  bool commandByte;  // a command byte follows the blocks
  Texts beforeSend;  // shown between the read and the send
  Texts onSuccess;   // shown when everything went through
  std::function<bool(Rig&)> run;
};

// The files are small, so each transfer takes a handful of blocks: 300 bytes go as 512 (four blocks).
std::vector<TcpCase> Cases() {
  auto file = [](Rig& r, const char* name) {
    test::WriteFile(r.dir.File(name), Bytes(300, 5));
    r.ui.AnswerFile(r.dir.File(name));
  };
  return {
      {"program update",
       false,
       4,
       true,
       {},
       {kUpdating},
       [=](Rig& r) {
         file(r, "fw.bin");
         return r.commands.UpdateProgram();
       }},
      {"flash page over TCP",
       false,
       2,
       true,
       {},
       {},
       [](Rig& r) {
         test::WriteFile(r.dir.File("Page0.hex"), test::IntelHex({{0x0000, std::vector<uint8_t>(64, 0x3C)}}));
         return r.commands.UpdateFlashPage();
       }},
      {"ring",
       false,
       4,
       true,
       {},
       {kUpdating},
       [=](Rig& r) {
         file(r, "ring.dat");
         return r.commands.UpdateRing();
       }},
      {"digit map",
       false,
       4,
       true,
       {},
       {kUpdating},
       [=](Rig& r) {
         file(r, "map.txt");
         return r.commands.UpdateDigitMap();
       }},
      {"hold announcement",
       false,
       4,
       true,
       {},
       {kUpdating},
       [=](Rig& r) {
         file(r, "hold.dat");
         return r.commands.UpdateHoldAnnouncement();
       }},
      {"alternate settings",
       true,
       16,
       true,
       {},
       {kUpdating},
       [](Rig& r) {
         test::WriteFile(r.dir.File("setting.txt"), "[SETTING2]\nringtype=3\n");
         r.ui.AnswerFile(r.dir.File("setting.txt"));
         return r.commands.UpdateAlternateSettings();
       }},
      {"settings push",
       true,
       4,
       true,
       {kAskPush},
       {kAskPush, "New settings updated"},
       [](Rig& r) {
         r.ui.Answer(MbResult::Yes);
         return r.commands.EditAndPushSettings();
       }},
      {"SDRAM load",
       false,
       4,
       false,
       {},
       {},
       [=](Rig& r) {
         file(r, "load.dat");
         return r.commands.LoadSdram();
       }},
      {"SDRAM export",
       true,
       0,
       false,
       {},
       {},
       [](Rig& r) {
         r.host.sdramLength = 300;
         r.ui.AnswerFile(r.dir.File("export.dat"));
         return r.commands.SaveSdram();
       }},
  };
}

Texts Expected(const TcpCase& c, Stage stage) {
  switch (stage) {
    case Stage::Connect:
      return {kCantUpdate};
    case Stage::Read:
      return {kTcpFailed};
    case Stage::Send: {
      Texts t = c.beforeSend;
      t.push_back(kTcpFailed);
      return t;
    }
    case Stage::None:
      return c.onSuccess;
  }
  return {};
}

// The first exchange of a command: its read, or its first block.
Stage First(const TcpCase& c) {
  return c.reads ? Stage::Read : Stage::Send;
}

// A way for the phone to misbehave, and where each command then ends (nullopt: the row does not apply).
struct Row {
  std::string name;
  std::optional<sim::TcpFaults> faults;  // nothing: no phone at all
  std::function<std::optional<Stage>(const TcpCase&)> stage;
  int splitGapMs = 20;
};

class TcpFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
  }

  // Runs every command against every row, each on a fresh phone at address.
  void RunRows(const std::string& address, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      for (const TcpCase& c : Cases()) {
        std::optional<Stage> stage = row.stage(c);
        if (!stage) continue;
        SCOPED_TRACE(row.name + " / " + c.name);
        RunOne(address, row, c, *stage);
        if (HasFatalFailure()) return;
      }
    }
  }

  void RunOne(const std::string& address, const Row& row, const TcpCase& c, Stage stage) {
    test::Watchdog dog(row.name + " / " + c.name);
    test::Census census;
    test::TempDir dir;
    std::unique_ptr<sim::TcpLoader> phone;
    if (row.faults) {
      sim::TcpLoader::Config config;
      config.address = address;
      config.eraseMs = 60000;  // an accepted update keeps the phone silent past every probe
      config.splitGapMs = row.splitGapMs;
      phone = std::make_unique<sim::TcpLoader>(config);
      phone->SetFaults(*row.faults);
      phone->SetSettingsImage(std::vector<uint8_t>(kSettingsImageSize, 0x11));
      const std::string sdram = Bytes(512, 9);
      phone->SetSdramImage(std::vector<uint8_t>(sdram.begin(), sdram.end()));
      ASSERT_TRUE(phone->Start()) << phone->Error();
    }
    {
      Rig rig(address, dir);
      const bool done = c.run(rig);
      EXPECT_EQ(done, stage == Stage::None);
      EXPECT_EQ(rig.ui.Texts(), Expected(c, stage));
      for (const auto& m : rig.ui.messages) {
        if (m.text == kCantUpdate) {
          EXPECT_EQ(m.caption, "Can't update");
          EXPECT_EQ(m.icon, MbIcon::Stop);
        } else if (m.text == kTcpFailed) {
          EXPECT_EQ(m.caption, ApplicationName());
          EXPECT_EQ(m.icon, MbIcon::Exclamation);
        }
      }
      EXPECT_FALSE(rig.link.TcpLinkHeld());
      EXPECT_FALSE(rig.link.SerialLinkHeld());
      for (const auto& p : rig.ui.progresses) EXPECT_TRUE(p->closed);
      EXPECT_EQ(rig.ui.waitCursorDepth, 0);
      if (std::string(c.name) == "SDRAM export") {
        // A failed export writes no file; a successful one exactly the length asked for.
        EXPECT_EQ(test::FileExists(dir.File("export.dat")), stage == Stage::None);
        if (stage == Stage::None) {
          EXPECT_EQ(test::ReadFile(dir.File("export.dat")), Bytes(300, 9));
        }
      }
    }
    phone.reset();
    EXPECT_TRUE(census.Back()) << census.Describe();
  }

  ScopedProcessEvents events_;
  // The 10000 ms answer wait lasts 400 ms; the 1000 ms connection wait and the probes 250 ms.
  test::ScaledTiming timing_{0.001, 0.04, {1000, std::chrono::milliseconds(250)}};
};

sim::TcpFaults Silent() {
  sim::TcpFaults f;
  f.silent = true;
  return f;
}

sim::TcpFaults DropAfter(int units, bool reset) {
  sim::TcpFaults f;
  f.dropAfterUnits = units;
  f.dropWithReset = reset;
  return f;
}

TEST_F(TcpFaultsTest, NothingListeningShowsCantUpdate) {
  RunRows(loopback::kFaultNothing.dotted,
          {{"nothing listening", std::nullopt, [](const TcpCase&) { return Stage::Connect; }}});
}

TEST_F(TcpFaultsTest, APhoneThatConnectsAndFallsSilentEndsWithTcpConnectionFailed) {
  RunRows(loopback::kFaultSilent.dotted, {{"silent", Silent(), [](const TcpCase& c) { return First(c); }}});
}

TEST_F(TcpFaultsTest, AConnectionClosedPartWayEndsWithTcpConnectionFailed) {
  // The phone closes (or resets) the connection at its second unit, and at the command byte after the
  // last block; the reading commands read over a connection of their own before they send.
  for (bool reset : {false, true}) {
    const std::string how = reset ? "reset" : "closed";
    std::vector<Row> rows = {
        {how + " at the second unit", DropAfter(1, reset), [](const TcpCase& c) { return First(c); }}};
    for (const TcpCase& c : Cases()) {
      if (!c.commandByte) continue;
      // Each connection counts its own units: the reads' connection stays within the bound.
      rows.push_back({how + " at the command byte of " + c.name, DropAfter(c.blocks, reset),
                      [name = std::string(c.name)](const TcpCase& other) -> std::optional<Stage> {
                        if (name != other.name) return std::nullopt;
                        return Stage::Send;
                      }});
    }
    RunRows(loopback::kFaultClosed.dotted, rows);
    if (HasFatalFailure()) return;
  }
}

// The phone resets the connection as soon as it accepts it: the connection was made, so the command fails
// at its first exchange, not at the connect. Or it sends its last answer and a reset together: the answer
// counts, and the command succeeds.
TEST_F(TcpFaultsTest, AResetRightAfterAcceptOrAfterTheLastAnswer) {
  sim::TcpFaults onAccept;
  onAccept.resetAfterAnswers = 0;
  std::vector<Row> rows = {{"reset on accept", onAccept, [](const TcpCase& c) { return First(c); }}};
  for (const TcpCase& c : Cases()) {
    // The units of the command's last connection; a read-only command reads 512 bytes.
    int units = c.blocks + (c.commandByte ? 1 : 0);
    sim::TcpFaults f;
    f.resetAfterAnswers = units > 0 ? units : 4;
    rows.push_back({std::string("last answer with a reset, ") + c.name, f,
                    [name = std::string(c.name)](const TcpCase& other) -> std::optional<Stage> {
                      if (name != other.name) return std::nullopt;
                      return Stage::None;
                    }});
  }
  RunRows(loopback::kFaultReset.dotted, rows);
}

TEST_F(TcpFaultsTest, AnAnswerInsideTheWaitIsTakenAndOneOutsideItFails) {
  sim::TcpFaults inside;
  inside.lateMs = kAnswerWait * 6 / 10;
  sim::TcpFaults outside;
  outside.lateMs = kAnswerWait * 3 / 2;
  RunRows(loopback::kFaultLate.dotted,
          {
              {"answers 0.6 of the wait late", inside, [](const TcpCase&) { return Stage::None; }},
              {"answers 1.5 of the wait late", outside, [](const TcpCase& c) { return First(c); }},
          });
}

TEST_F(TcpFaultsTest, ReadAnswersInPiecesAreCollectedButAnAckJoinedToMoreIsNot) {
  std::vector<Row> rows;
  for (int piece : {1, 5, 127}) {
    sim::TcpFaults f;
    f.splitPiece = piece;
    rows.push_back({"read answers in pieces of " + std::to_string(piece), f,
                    [](const TcpCase&) { return Stage::None; }, piece == 1 ? 1 : 5});
  }
  // The acknowledgement is the single byte 0xFF in a segment of its own; anything joined to it is not one.
  sim::TcpFaults joined;
  joined.joinAfterAck = {0x00};
  rows.push_back({"0xFF joined to another byte", joined,
                  [](const TcpCase& c) { return c.blocks > 0 ? Stage::Send : Stage::None; }});
  RunRows(loopback::kFaultPieces.dotted, rows);
}

// A read answer is 128 bytes. More after them in the answer's segment makes it no answer; more in a segment
// of their own is a stray piece, dropped when the next whole answer comes. Taken as the start of the next
// block, either would shift everything read after it, and the command would store a wrong image and report
// success. (The answers are late, so that the stray byte arrives well before the next answer.)
TEST_F(TcpFaultsTest, AReadAnswerWithBytesPastItsBlockIsNoAnswerAndAStrayPieceIsDropped) {
  sim::TcpFaults joined;
  joined.afterBlock = {0xEE};
  sim::TcpFaults apart = joined;
  apart.splitPiece = 128;
  apart.lateMs = 999;  // below a second, so the scaled delay (40 ms) stays short
  // The stray byte follows its answer by 15 ms and precedes the next answer by 25 ms or more: on a loaded
  // machine the tool must still read it apart from both, or the test would see one segment where the phone
  // sent two.
  RunRows(loopback::kFaultPastBlock.dotted,
          {{"a byte after each read answer", joined,
            [](const TcpCase& c) { return c.reads ? Stage::Read : Stage::None; }},
           {"a byte after each read answer, in a segment of its own", apart,
            [](const TcpCase&) { return Stage::None; }, 15}});
}

TEST_F(TcpFaultsTest, AWrongAnswerByteIsNoAcknowledgement) {
  std::vector<Row> rows;
  for (uint8_t wrong : {0xFE, 0x00}) {
    sim::TcpFaults f;
    f.wrongAck = wrong;
    rows.push_back({"answers " + std::to_string(wrong) + " for 0xFF", f,
                    [](const TcpCase& c) { return c.blocks > 0 ? Stage::Send : Stage::None; }});
  }
  RunRows(loopback::kFaultWrongByte.dotted, rows);
}

}  // namespace
}  // namespace quill
