// SDRAM load and export over both links against the simulator: what the phone received, what the file
// holds, what the user was shown, and that every failure leaves no link, thread or descriptor behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "link/maintenance_commands.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "tests/support/census.h"
#include "tests/support/command_host.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/serial_phone.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using sim::UnitKind;

constexpr const char* kDataFilter =
    "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 11 + i / 251);
  return v;
}

std::string AsText(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

std::vector<UnitKind> Kinds(const std::vector<sim::SimUnit>& units) {
  std::vector<UnitKind> out;
  out.reserve(units.size());
  for (const auto& u : units) out.push_back(u.kind);
  return out;
}

class SdramTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  void TearDown() override {
    if (tcp_) tcp_->Stop();
    if (serial_) serial_->Stop();
  }
  void StartTcpPhone(const std::string& address, const sim::TcpFaults& faults = {}) {
    host_.linkType = 1;
    host_.ipField = test::FieldAddress(address);
    sim::TcpLoader::Config config;
    config.address = address;
    tcp_ = std::make_unique<sim::TcpLoader>(config);
    tcp_->SetFaults(faults);
    ASSERT_TRUE(tcp_->Start()) << tcp_->Error();
  }
  void StartSerialPhone(sim::SerialFaults faults = {}) {
    host_.linkType = 0;
    serial_ = std::make_unique<sim::SerialLoader>();
    serial_->SetFaults(faults);
    ASSERT_TRUE(serial_->Start()) << serial_->Error();
    EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", serial_->SlavePath()));
  }
  std::string File(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir_.File(name), bytes);
    return dir_.File(name);
  }
  // The units of the serial phone once the tool has closed the port.
  std::vector<sim::SimUnit> SerialUnits() {
    EXPECT_TRUE(serial_->WaitForLineCloses(1, 5000ms));
    return serial_->Log().Units();
  }

  ScopedProcessEvents events_;
  test::ScaledTiming timing_{0.01, 0.1, {100, std::chrono::milliseconds(400)}};
  test::FakeUi ui_;
  test::FakeCommandHost host_;
  CMaintenanceLink link_{ui_};
  CMaintenanceCommands commands_{ui_, link_, host_};
  test::TempDir dir_;
  std::unique_ptr<sim::TcpLoader> tcp_;
  std::unique_ptr<sim::SerialLoader> serial_;
};

TEST_F(SdramTest, AFileOf700000BytesLoadsItsFirst640000OverTcp) {
  StartTcpPhone(loopback::kSdramLoadTcp.dotted);
  auto data = Pattern(700000, 3);
  ui_.AnswerFile(File("big.dat", AsText(data)));
  EXPECT_TRUE(commands_.LoadSdram());
  ASSERT_TRUE(tcp_->WaitForClosedConnections(1, 2000ms));
  EXPECT_EQ(tcp_->SdramReceived(), std::vector<uint8_t>(data.begin(), data.begin() + 640000));
  EXPECT_EQ(tcp_->Log().Count(), 5000u);
  EXPECT_TRUE(tcp_->Log().Units(UnitKind::Command).empty());  // no command byte after an SDRAM load
  EXPECT_TRUE(ui_.messages.empty());
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Open);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "sdram.dat");
  EXPECT_EQ(ui_.fileDialogs[0].filter, kDataFilter);
  EXPECT_EQ(SettingsStore::Profile().GetString("LoadSdram", "SrcName", ""), dir_.File("big.dat"));
  EXPECT_EQ(ui_.progresses.at(0)->texts.back(), "Loading data 639872");
}

TEST_F(SdramTest, ASerialLoadOf13BytesSendsTwoChunksTheSecondPaddedWithZeros) {
  StartSerialPhone();
  auto data = Pattern(13, 200);
  ui_.AnswerFile(File("small.dat", AsText(data)));
  test::Census census;
  EXPECT_TRUE(commands_.LoadSdram());
  EXPECT_FALSE(link_.SerialLinkHeld());

  auto units = SerialUnits();
  EXPECT_EQ(Kinds(units), (std::vector<UnitKind>{UnitKind::SdramLoadStart, UnitKind::SdramChunk,
                                                 UnitKind::SdramChunk, UnitKind::SdramLoadEnd}));
  std::vector<uint8_t> first{0x08}, second{0x08};
  first.insert(first.end(), data.begin(), data.begin() + 8);
  second.insert(second.end(), data.begin() + 8, data.end());
  second.resize(9, 0x00);
  ASSERT_EQ(units.size(), 4u);
  EXPECT_EQ(units[0].bytes, std::vector<uint8_t>(8, 0x00));
  EXPECT_EQ(units[1].bytes, first);
  EXPECT_EQ(units[2].bytes, second);
  EXPECT_EQ(units[3].bytes, std::vector<uint8_t>{0xFF});
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.progresses.at(0)->texts, (std::vector<std::string>{"Write data 0", "Write data 8"}));
  EXPECT_TRUE(ui_.progresses.at(0)->closed);
  EXPECT_EQ(ui_.waitCursorBegins, 1);
  EXPECT_EQ(ui_.waitCursorDepth, 0);
  EXPECT_TRUE(census.Back()) << census.Describe();
}

TEST_F(SdramTest, AnExportOf1000BytesOverTcpReads1024AndWritesExactly1000) {
  StartTcpPhone(loopback::kSdramExportTcp.dotted);
  auto sdram = Pattern(2048, 9);
  tcp_->SetSdramImage(sdram);
  host_.sdramLength = 1000;
  ui_.AnswerFile(dir_.File("out.dat"));
  EXPECT_TRUE(commands_.SaveSdram());
  auto requests = tcp_->Log().Units(UnitKind::Request);
  ASSERT_EQ(requests.size(), 8u);
  EXPECT_EQ(requests[0].bytes, (std::vector<uint8_t>{'d', 'h'}));
  EXPECT_EQ(test::ReadBytes(dir_.File("out.dat")), std::vector<uint8_t>(sdram.begin(), sdram.begin() + 1000));
  EXPECT_TRUE(ui_.messages.empty());
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.dat");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "sdram.dat");
  EXPECT_EQ(SettingsStore::Profile().GetString("SaveSdram", "DstName", ""), dir_.File("out.dat"));
  EXPECT_EQ(SettingsStore::Profile().GetInt("Sdram", "SaveLength", -1), 1000);
}

TEST_F(SdramTest, AnExportOfZeroBytesOverSerialStartsEndsAndLeavesTheLinkRunning) {
  StartSerialPhone();
  test::WriteFile(dir_.File("old.dat"), "old contents");
  ui_.AnswerFile(dir_.File("old.dat"));
  EXPECT_TRUE(commands_.SaveSdram());
  EXPECT_TRUE(link_.SerialLinkHeld());
  link_.StopSerialLink();
  auto units = SerialUnits();
  EXPECT_EQ(Kinds(units), (std::vector<UnitKind>{UnitKind::SdramExportStart, UnitKind::SdramExportEnd}));
  EXPECT_TRUE(test::FileExists(dir_.File("old.dat")));
  EXPECT_EQ(test::ReadFile(dir_.File("old.dat")), "");
}

TEST_F(SdramTest, ASerialExportReadsEightBytesPerRequestAndKeepsTheStoredLength) {
  StartSerialPhone();
  auto sdram = Pattern(64, 77);
  serial_->SetSdramImage(sdram);
  host_.sdramLength = 20;
  ui_.AnswerFile(dir_.File("part.dat"));
  EXPECT_TRUE(commands_.SaveSdram());
  link_.StopSerialLink();
  auto units = SerialUnits();
  EXPECT_EQ(Kinds(units), (std::vector<UnitKind>{UnitKind::SdramExportStart, UnitKind::SdramExportRequest,
                                                 UnitKind::SdramExportRequest, UnitKind::SdramExportRequest,
                                                 UnitKind::SdramExportEnd}));
  EXPECT_EQ(test::ReadBytes(dir_.File("part.dat")), std::vector<uint8_t>(sdram.begin(), sdram.begin() + 20));
  EXPECT_EQ(ui_.progresses.at(0)->texts,
            (std::vector<std::string>{"Reading data 0", "Reading data 8", "Reading data 16"}));
}

// Every serial failure: its message, no file, the link stopped and nothing left behind.
TEST_F(SdramTest, SerialFailuresEndWithTheirMessageAndStopTheLink) {
  struct Row {
    const char* name;
    bool load;
    sim::SerialFaults faults;
    bool scripted;  // a phone that answers the export's start and nothing after it
    const char* message;
  };
  sim::SerialFaults silent;
  silent.silent = true;
  sim::SerialFaults oneChunk;
  oneChunk.stopAfterChunks = 1;
  const Row rows[] = {
      {"load start", true, silent, false, "Can not connect to Quill(3)"},
      {"load chunk", true, oneChunk, false, "Write operation failed"},
      {"export start", false, silent, false, "Can not connect to Quill(4)"},
      {"export data", false, {}, true, "Read operation failed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ui_.messages.clear();
    ui_.progresses.clear();
    std::unique_ptr<test::SerialPhone> scripted;
    if (row.scripted) {
      host_.linkType = 0;
      test::SerialPhone::Options startOnly;
      startOnly.answers = 1;
      scripted = std::make_unique<test::SerialPhone>(startOnly);
      EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", scripted->SlavePath()));
    } else {
      if (serial_) serial_->Stop();
      StartSerialPhone(row.faults);
    }
    host_.sdramLength = 40;
    const std::string out = dir_.File(std::string(row.name) + ".out");
    ui_.AnswerFile(row.load ? File("load.dat", AsText(Pattern(40, 1))) : out);
    test::Census census;

    EXPECT_FALSE(row.load ? commands_.LoadSdram() : commands_.SaveSdram());

    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{row.message});
    EXPECT_FALSE(link_.SerialLinkHeld());
    EXPECT_FALSE(test::FileExists(out));
    for (const auto& p : ui_.progresses) EXPECT_TRUE(p->closed);
    EXPECT_EQ(ui_.waitCursorDepth, 0);
    EXPECT_TRUE(census.Back()) << census.Describe();
  }
}

TEST_F(SdramTest, AFailedTcpExportWritesNoFile) {
  sim::TcpFaults faults;
  faults.silent = true;
  StartTcpPhone(loopback::kSdramFailedExport.dotted, faults);
  host_.sdramLength = 256;
  ui_.AnswerFile(dir_.File("none.dat"));
  EXPECT_FALSE(commands_.SaveSdram());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"tcp connection failed"});
  EXPECT_FALSE(test::FileExists(dir_.File("none.dat")));
  EXPECT_FALSE(link_.TcpLinkHeld());
}

// The destination is made ready before the phone is read: one that cannot be written costs no traffic, on
// either link.
TEST_F(SdramTest, ADestinationThatCannotBeWrittenFailsBeforeAnyTraffic) {
  StartTcpPhone(loopback::kSdramCannotWrite.dotted);
  host_.sdramLength = 128;
  test::WriteFile(dir_.File("plain"), "x");
  for (const std::string& to : {dir_.Path(), dir_.File("no/such/folder/x.dat"), dir_.File("plain/x.dat")}) {
    SCOPED_TRACE(to);
    ui_.messages.clear();
    ui_.AnswerFile(to);
    EXPECT_FALSE(commands_.SaveSdram());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text.rfind("Can not create dest file\n" + to + ": ", 0), 0u)
        << ui_.messages[0].text;
  }
  EXPECT_EQ(tcp_->Connections(), 0);
  StartSerialPhone();
  ui_.AnswerFile(dir_.Path());
  EXPECT_FALSE(commands_.SaveSdram());
  EXPECT_FALSE(link_.SerialLinkHeld());
  EXPECT_TRUE(serial_->Log().Units().empty());
}

// A write that fails after the read (the disk full, here a file-size limit) says why and leaves the
// destination as it was: absent, or the old file.
TEST_F(SdramTest, AWriteThatFailsAfterTheReadLeavesNoFile) {
  StartTcpPhone(loopback::kSdramWriteFailsAfterRead.dotted);
  tcp_->SetSdramImage(Pattern(8192, 4));
  host_.sdramLength = 8192;
  test::WriteFile(dir_.File("old.dat"), "old contents");
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  for (const char* name : {"new.dat", "old.dat"}) {
    SCOPED_TRACE(name);
    ui_.messages.clear();
    ui_.AnswerFile(dir_.File(name));
    auto ignored = std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the test
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = commands_.SaveSdram();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, ignored);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not write dest file\n" + dir_.File(name) + ": " +
                                                    std::strerror(EFBIG)});
  }
  EXPECT_EQ(tcp_->Log().Units(UnitKind::Request).size(), 128u);  // both were read in full
  EXPECT_FALSE(test::FileExists(dir_.File("new.dat")));
  EXPECT_EQ(test::ReadFile(dir_.File("old.dat")), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 1);  // no temporary file
}

TEST_F(SdramTest, ALengthOutsideTheRangeEndsTheExportBeforeAnyLink) {
  StartTcpPhone(loopback::kSdramLengthRange.dotted);
  host_.sdramLength = 640001;
  ui_.AnswerFile(dir_.File("x.dat"));
  EXPECT_FALSE(commands_.SaveSdram());
  EXPECT_EQ(host_.saves, 1);
  EXPECT_EQ(tcp_->Connections(), 0);
  EXPECT_FALSE(test::FileExists(dir_.File("x.dat")));
}

TEST_F(SdramTest, ALoadFileThatCannotBeOpenedIsReported) {
  StartTcpPhone(loopback::kSdramCannotOpen.dotted);
  ui_.AnswerFile(dir_.File("missing.dat"));
  EXPECT_FALSE(commands_.LoadSdram());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not open source file\n" + dir_.File("missing.dat") +
                                                  ": No such file or directory"});
  EXPECT_FALSE(commands_.LoadSdram());  // cancelled
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(tcp_->Connections(), 0);
}

}  // namespace
}  // namespace quill
