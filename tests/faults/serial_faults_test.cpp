// Every way the serial link can fail, through the three commands that use it (the flash page written over
// the serial line, the SDRAM load and the SDRAM export): no port, a silent loader, a wrong answer byte,
// answers just inside and just outside each wait, answers in pieces, a loader that stops in the middle of
// the chunks, and the line closed under the transfer. Each run ends with the system's message (or the
// command's own success), the serial link stopped, nothing left behind and nothing hung.
#include <gtest/gtest.h>

#include <functional>

#include "link/maintenance_commands.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "sim/serial_loader.h"
#include "tests/support/census.h"
#include "tests/support/command_host.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/serial_phone.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using Texts = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr size_t kDataLength = 64;  // eight chunks, or eight export requests

std::vector<uint8_t> Data(uint8_t seed) {
  std::vector<uint8_t> v(kDataLength);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(seed + i * 11);
  return v;
}

struct Rig {
  explicit Rig(const test::TempDir& folder) : dir(folder) {
    host.linkType = 0;
    host.workingDirectory = dir.Path();
  }
  const test::TempDir& dir;
  test::FakeUi ui;
  test::FakeCommandHost host;
  CMaintenanceLink link{ui};
  CMaintenanceCommands commands{ui, link, host};
};

struct SerialCase {
  const char* name;
  const char* noStart;      // the start (wake-up, load start, export start) not answered
  const char* chunkFailed;  // a chunk or an export request not answered
  int startWait;            // ms the tool waits for the start's answer
  int chunkWait;            // and for each chunk's
  bool exports;
  std::function<bool(Rig&)> run;
};

std::vector<SerialCase> Cases() {
  return {
      {"flash page over serial", "Can not connect to Quill(2)", "Write operation failed", 1000, 500, false,
       [](Rig& r) {
         // Page 0 of chip type 4: one sector, no settings merged, eight chunks.
         test::WriteFile(r.dir.File("Page0.hex"), test::IntelHex({{0x0000, Data(1)}}));
         return r.commands.UpdateFlashPage();
       }},
      {"SDRAM load", "Can not connect to Quill(3)", "Write operation failed", 2000, 1000, false,
       [](Rig& r) {
         const auto data = Data(1);
         test::WriteFile(r.dir.File("load.dat"), std::string(data.begin(), data.end()));
         r.ui.AnswerFile(r.dir.File("load.dat"));
         return r.commands.LoadSdram();
       }},
      {"SDRAM export", "Can not connect to Quill(4)", "Read operation failed", 2000, 1000, true,
       [](Rig& r) {
         r.host.sdramLength = static_cast<int>(kDataLength);
         r.ui.AnswerFile(r.dir.File("export.dat"));
         return r.commands.SaveSdram();
       }},
  };
}

struct Row {
  std::string name;
  enum class Phone { None, Simulator, Paced } phone;
  std::function<sim::SerialFaults(const SerialCase&)> faults;  // the simulator's
  int eraseMs = 50;                                            // the simulator's
  test::SerialPhone::Options paced;
  std::function<Texts(const SerialCase&)> expected;  // empty: the command succeeds
};

sim::SerialFaults NoFaults(const SerialCase&) {
  return {};
}
Texts Success(const SerialCase&) {
  return {};
}
Texts NoStart(const SerialCase& c) {
  return {c.noStart};
}
Texts ChunkFailed(const SerialCase& c) {
  return {c.chunkFailed};
}

class SerialFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
  }

  void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      for (const SerialCase& c : Cases()) {
        SCOPED_TRACE(row.name + " / " + c.name);
        RunOne(row, c);
        if (HasFatalFailure()) return;
      }
    }
  }

  void RunOne(const Row& row, const SerialCase& c) {
    test::Watchdog dog(row.name + " / " + c.name);
    test::Census census;
    test::TempDir dir;
    std::unique_ptr<sim::SerialLoader> simulator;
    std::unique_ptr<test::SerialPhone> paced;
    std::string device = "/nonexistent/no-such-tty";
    if (row.phone == Row::Phone::Simulator) {
      sim::SerialLoader::Config config;
      config.eraseMs = row.eraseMs;
      simulator = std::make_unique<sim::SerialLoader>(config);
      simulator->SetFaults(row.faults ? row.faults(c) : sim::SerialFaults{});
      simulator->SetSdramImage(Data(7));
      ASSERT_TRUE(simulator->Start()) << simulator->Error();
      device = simulator->SlavePath();
    } else if (row.phone == Row::Phone::Paced) {
      auto options = row.paced;
      options.sdram = Data(7);
      paced = std::make_unique<test::SerialPhone>(options);
      device = paced->SlavePath();
    }
    ASSERT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", device));
    const Texts expected = row.expected(c);
    {
      Rig rig(dir);
      const bool done = c.run(rig);
      EXPECT_EQ(done, expected.empty());
      EXPECT_EQ(rig.ui.Texts(), expected);
      for (const auto& p : rig.ui.progresses) EXPECT_TRUE(p->closed);
      EXPECT_EQ(rig.ui.waitCursorDepth, 0);
      EXPECT_FALSE(rig.link.TcpLinkHeld());
      if (c.exports && done) {
        // A successful export leaves the serial link to the next serial stop.
        EXPECT_TRUE(rig.link.SerialLinkHeld());
        EXPECT_EQ(test::ReadBytes(dir.File("export.dat")), Data(7));
        rig.link.StopSerialLink();
      }
      EXPECT_FALSE(rig.link.SerialLinkHeld());
      if (c.exports) {
        EXPECT_EQ(test::FileExists(dir.File("export.dat")), done);
      }
      if (paced && row.paced.closeAfterChunks >= 0) {
        EXPECT_TRUE(paced->LineClosed());
      }
      if (paced && row.paced.silentAfterChunks >= 0) {
        EXPECT_EQ(paced->ChunksAnswered(), row.paced.silentAfterChunks);
      }
      if (done && !c.exports && paced) {
        EXPECT_EQ(paced->Received(), Data(1));
      }
    }
    simulator.reset();
    paced.reset();
    EXPECT_TRUE(census.Back()) << census.Describe();
  }

  ScopedProcessEvents events_;
  // The 500 ms chunk wait lasts 200 ms, the 1000 ms waits 400 ms; the 15000 ms erase pause 15 ms.
  test::ScaledTiming timing_{0.001, 0.4};
};

TEST_F(SerialFaultsTest, APortThatCannotBeOpenedOrALoaderThatNeverAnswers) {
  sim::SerialFaults silent;
  silent.silent = true;
  RunRows({
      {"no port",
       Row::Phone::None,
       nullptr,
       50,
       {},
       [](const SerialCase&) -> Texts {
         return {"Can not open rs232 port\n/nonexistent/no-such-tty: No such file or directory"};
       }},
      {"silent", Row::Phone::Simulator, [=](const SerialCase&) { return silent; }, 50, {}, NoStart},
  });
}

// The tool only counts eight equal bytes of 0x55, 0xAA, 0xFF or 0x00: another of them is as good as the
// right one, any other byte is no answer.
TEST_F(SerialFaultsTest, AWrongAnswerByte) {
  auto wrong = [](uint8_t byte) {
    return [byte](const SerialCase&) {
      sim::SerialFaults f;
      f.wrongByte = byte;
      return f;
    };
  };
  RunRows({
      {"answers runs of 0x12", Row::Phone::Simulator, wrong(0x12), 50, {}, NoStart},
      {"answers runs of 0xAA", Row::Phone::Simulator, wrong(0xAA), 50, {}, Success},
  });
}

TEST_F(SerialFaultsTest, AnswersJustInsideAndJustOutsideEachWait) {
  auto late = [](double ofChunkWait, double ofStartWait) {
    return [=](const SerialCase& c) {
      sim::SerialFaults f;
      f.lateMs = static_cast<int>(c.chunkWait * ofChunkWait + c.startWait * ofStartWait);
      return f;
    };
  };
  RunRows({
      // Inside every wait: the probes go on while the late answer to the first one is on its way.
      {"0.6 of the chunk wait late", Row::Phone::Simulator, late(0.6, 0), 50, {}, Success},
      // Inside the start's wait, outside the chunk's.
      {"1.5 of the chunk wait late", Row::Phone::Simulator, late(1.5, 0), 50, {}, ChunkFailed},
      {"1.5 of the start wait late", Row::Phone::Simulator, late(0, 1.5), 50, {}, NoStart},
  });
}

// The erase answer comes when the sector is erased: within the 15000 ms pause and the 1000 ms wait after
// it, or not.
TEST_F(SerialFaultsTest, AnEraseInsideThePauseAndWaitIsTakenAndOneOutsideItFails) {
  const SerialCase flash = Cases()[0];
  for (int eraseMs : {600, 1500}) {
    Row row{"erase of " + std::to_string(eraseMs) + " ms after the pause",
            Row::Phone::Simulator,
            NoFaults,
            eraseMs,
            {},
            [eraseMs](const SerialCase&) -> Texts {
              if (eraseMs < 1000) return {};
              return {"Erase sector failed"};
            }};
    SCOPED_TRACE(row.name);
    RunOne(row, flash);
  }
}

TEST_F(SerialFaultsTest, AnswersInPiecesAreCountedAcrossDeliveries) {
  test::SerialPhone::Options threes;
  threes.piece = 3;
  threes.gapMs = 2;
  test::SerialPhone::Options ones;
  ones.piece = 1;
  ones.gapMs = 1;
  RunRows({
      {"pieces of 3 bytes", Row::Phone::Paced, nullptr, 50, threes, Success},
      {"pieces of 1 byte", Row::Phone::Paced, nullptr, 50, ones, Success},
  });
}

TEST_F(SerialFaultsTest, ALoaderThatStopsInTheMiddleOfTheChunks) {
  test::SerialPhone::Options three;
  three.silentAfterChunks = 3;
  RunRows({{"silent after 3 chunks", Row::Phone::Paced, nullptr, 50, three, ChunkFailed}});
}

TEST_F(SerialFaultsTest, TheLineClosedUnderTheTransfer) {
  test::SerialPhone::Options three;
  three.closeAfterChunks = 3;
  test::SerialPhone::Options first;
  first.closeAfterChunks = 0;
  RunRows({
      {"line closed after 3 chunks", Row::Phone::Paced, nullptr, 50, three, ChunkFailed},
      {"line closed at the first chunk", Row::Phone::Paced, nullptr, 50, first, ChunkFailed},
  });
}

}  // namespace
}  // namespace quill

namespace quill {
namespace {

// A loader that sends on after the last eight bytes of an export: what comes after the last
// acknowledgement is not the export's, and the buffer it would have gone to is gone once the command ends.
TEST_F(SerialFaultsTest, BytesAfterTheLastEightOfAnExportDoNotReachItsBuffer) {
  test::SerialPhone::Options options;
  options.piece = 4096;
  options.trailing = 32768;
  const SerialCase exportCase = Cases()[2];
  for (int round = 0; round < 20; ++round) {
    RunOne({"32 KiB after the last eight bytes", Row::Phone::Paced, nullptr, 50, options, Success},
           exportCase);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace quill
