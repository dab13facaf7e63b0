// Flash page and program update against the simulator: the serial procedure byte for byte over a
// pseudo-terminal, the TCP hand-over, and every way they end.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "link/flash_layout.h"
#include "link/maintenance_commands.h"
#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "tests/support/census.h"
#include "tests/support/command_host.h"
#include "tests/support/fake_ui.h"
#include "tests/support/hex_text.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/serial_phone.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using sim::UnitKind;

constexpr const char* kHexError = "Error Hex file to upgrade Quill1";
constexpr const char* kQuestion = "Are you sure about flash page?";

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 29 + i / 256);
  return v;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The page image the tool builds from pieces: 0xFF fill, the pieces, the settings at offset if any.
std::vector<uint8_t> PageImage(const std::vector<test::HexPiece>& pieces, std::optional<size_t> settingsAt) {
  std::vector<uint8_t> image(kFlashPageSize, 0xFF);
  for (const auto& p : pieces) std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + p.address);
  if (settingsAt) BuildSettingsImage(std::span(image).subspan(*settingsAt).first<kSettingsImageSize>());
  return image;
}

std::vector<uint8_t> Head(const std::vector<uint8_t>& v, size_t n) {
  return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n)};
}

class FlashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
    // Settings that differ from an empty store's, so a merge is seen.
    EXPECT_TRUE(SettingsStore::Profile().WriteString("PhoneSettings", "PhoneNumber", "31337"));
    host_.workingDirectory = dir_.Path();
  }
  void TearDown() override {
    if (serial_) serial_->Stop();
    if (tcp_) tcp_->Stop();
  }
  void WritePageFile(const std::vector<test::HexPiece>& pieces) {
    test::WriteFile(dir_.File("Page0.hex"), test::IntelHex(pieces));
  }
  void StartSerialPhone(sim::SerialFaults faults = {}, int eraseMs = 50) {
    host_.linkType = 0;
    sim::SerialLoader::Config config;
    config.eraseMs = eraseMs;  // well inside the tool's 15000 ms pause and 1000 ms wait
    serial_ = std::make_unique<sim::SerialLoader>(config);
    serial_->SetFaults(faults);
    ASSERT_TRUE(serial_->Start()) << serial_->Error();
    EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", serial_->SlavePath()));
  }
  void StartTcpPhone(const std::string& address, const sim::TcpFaults& faults = {}) {
    if (tcp_) tcp_->Stop();
    host_.linkType = 1;
    host_.ipField = test::FieldAddress(address);
    sim::TcpLoader::Config config;
    config.address = address;
    config.eraseMs = 8000;  // closed for longer than the hand-over looks for an answer
    tcp_ = std::make_unique<sim::TcpLoader>(config);
    tcp_->SetFaults(faults);
    ASSERT_TRUE(tcp_->Start()) << tcp_->Error();
  }
  std::vector<sim::SimUnit> SerialUnits() {
    EXPECT_TRUE(serial_->WaitForLineCloses(1, 5000ms));
    return serial_->Log().Units();
  }
  void Count() { census_.emplace(); }
  void ExpectNothingLeft() {
    EXPECT_FALSE(link_.SerialLinkHeld());
    EXPECT_FALSE(link_.TcpLinkHeld());
    for (const auto& p : ui_.progresses) EXPECT_TRUE(p->closed);
    EXPECT_EQ(ui_.waitCursorDepth, 0);
    if (tcp_) {
      EXPECT_TRUE(tcp_->WaitForListening(true, 5000ms));
      EXPECT_TRUE(tcp_->WaitForClosedConnections(tcp_->Connections(), 5000ms));
    }
    EXPECT_TRUE(census_->Back()) << census_->Describe();
  }

  ScopedProcessEvents events_;
  test::ScaledTiming timing_{0.001, 0.1, {100, std::chrono::milliseconds(400)}};
  test::FakeUi ui_;
  test::FakeCommandHost host_;
  CMaintenanceLink link_{ui_};
  CMaintenanceCommands commands_{ui_, link_, host_};
  test::TempDir dir_;
  std::unique_ptr<sim::SerialLoader> serial_;
  std::unique_ptr<sim::TcpLoader> tcp_;
  std::optional<test::Census> census_;
};

TEST_F(FlashTest, Page0OfChip0OverSerialErasesSectors3To0AndWritesTheMergedPage) {
  StartSerialPhone();
  host_.page = 0;
  host_.chipType = 0;
  std::vector<test::HexPiece> pieces = {
      {0x0000, Pattern(40, 1)},
      {0x4000, Cat({0x02, 0x1D, 0x7B, 0x00, 0x00, 0x00}, {0xAB, 0xCD})},
  };
  WritePageFile(pieces);
  Count();

  EXPECT_TRUE(commands_.UpdateFlashPage());

  auto units = SerialUnits();
  ASSERT_GE(units.size(), 3u);
  EXPECT_EQ(units[0].kind, UnitKind::WakeUp);
  EXPECT_EQ(units[0].bytes, std::vector<uint8_t>(16, 0x55));
  size_t at = 1;
  int answeredProbes = 0;
  for (; at < units.size() && units[at].kind == UnitKind::Probe; ++at) answeredProbes += units[at].answered;
  EXPECT_EQ(answeredProbes, 1);
  for (int sector : {3, 2, 1, 0}) {
    ASSERT_LT(at, units.size());
    EXPECT_EQ(units[at].kind, UnitKind::EraseSector);
    EXPECT_EQ(units[at++].bytes, Cat(std::vector<uint8_t>(8, 0xFF), {static_cast<uint8_t>(sector)}));
  }
  ASSERT_LT(at, units.size());
  EXPECT_EQ(units[at].kind, UnitKind::BeginWrite);
  EXPECT_EQ(units[at++].bytes, std::vector<uint8_t>(8, 0x00));
  // Used size 0x4008: 2049 chunks, the settings image over the file's bytes from 0x4000 on.
  const size_t chunks = 0x4008 / 8;
  ASSERT_EQ(units.size(), at + chunks + 1) << sim::UnitKindName(units.back().kind);
  for (size_t i = 0; i < chunks; ++i) ASSERT_EQ(units[at + i].kind, UnitKind::Chunk) << i;
  EXPECT_EQ(serial_->FlashPage(), Head(PageImage(pieces, 0x4000), chunks * 8));
  EXPECT_EQ(units.back().kind, UnitKind::End);
  EXPECT_EQ(units.back().bytes, std::vector<uint8_t>{0xFF});
  EXPECT_EQ(serial_->ErasedSectors(), (std::vector<int>{3, 2, 1, 0}));

  EXPECT_TRUE(ui_.messages.empty());
  ASSERT_EQ(ui_.progresses.size(), 2u);
  EXPECT_EQ(ui_.progresses[0]->texts, (std::vector<std::string>{"Erase sector 3", "Erase sector 2",
                                                                "Erase sector 1", "Erase sector 0"}));
  EXPECT_EQ(ui_.progresses[1]->texts.size(), chunks);
  EXPECT_EQ(ui_.progresses[1]->texts.back(), "Write program 16384");
  EXPECT_EQ(SettingsStore::Profile().GetString("PFlashUpdate", "SrcName", ""), dir_.File("Page0.hex"));
  ExpectNothingLeft();
}

TEST_F(FlashTest, OtherPagesEraseTheirOwnSectorsFromTheHighestDown) {
  struct Row {
    int chip, page;
    std::vector<int> erased;
  };
  const Row rows[] = {{0, 5, {8}}, {4, 15, {18, 17, 16, 15}}};
  for (const Row& row : rows) {
    SCOPED_TRACE("chip " + std::to_string(row.chip) + " page " + std::to_string(row.page));
    if (serial_) serial_->Stop();
    StartSerialPhone();
    ui_.messages.clear();
    host_.chipType = row.chip;
    host_.page = row.page;
    WritePageFile({{0x0000, Pattern(20, 5)}});
    ui_.Answer(MbResult::Yes);  // "Page0.hex" names neither page

    EXPECT_TRUE(commands_.UpdateFlashPage());

    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kQuestion});
    auto units = SerialUnits();
    std::vector<int> erased;
    for (const auto& u : units)
      if (u.kind == UnitKind::EraseSector) erased.push_back(u.bytes.back());
    EXPECT_EQ(erased, row.erased);
    // 20 bytes: three chunks, the last one ending in the page image's 0xFF fill.
    EXPECT_EQ(serial_->FlashPage(), Cat(Pattern(20, 5), std::vector<uint8_t>(4, 0xFF)));
  }
}

TEST_F(FlashTest, AUsedSizeOf20771Gives2597ChunksTheLastPaddedWith0xFF) {
  StartSerialPhone();
  auto data = Pattern(20771, 9);
  WritePageFile({{0x0000, data}});
  EXPECT_TRUE(commands_.UpdateFlashPage());
  auto units = SerialUnits();
  EXPECT_EQ(serial_->Log().Units(UnitKind::Chunk).size(), 2597u);
  EXPECT_EQ(serial_->FlashPage(), Cat(data, std::vector<uint8_t>(5, 0xFF)));
  EXPECT_EQ(serial_->FlashWritesEnded(), 1);
  EXPECT_EQ(ui_.progresses.at(1)->texts.back(), "Write program 20768");
  EXPECT_EQ(ui_.progresses.at(1)->labels.back(), "100%");
}

TEST_F(FlashTest, TheQuestionComesOnlyWhenTheFileDoesNotNameThePage) {
  // No page file at all: a page that needs no question runs on to the HEX error without any link.
  StartSerialPhone();
  host_.chipType = 1;
  host_.page = 0;
  EXPECT_FALSE(commands_.UpdateFlashPage());
  ASSERT_FALSE(ui_.messages.empty());
  for (const auto& m : ui_.messages) EXPECT_NE(m.text, kQuestion);
  EXPECT_EQ(ui_.messages.back().text, kHexError);

  ui_.messages.clear();
  host_.page = 2;                             // "Page0.hex" is neither "page2.hex" nor, on this chip, "page4"
  EXPECT_FALSE(commands_.UpdateFlashPage());  // the fake answers No
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kQuestion);
  EXPECT_EQ(ui_.messages[0].caption, ApplicationName());
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::YesNo);
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Question);
  EXPECT_EQ(serial_->Sessions(), 0);
}

TEST_F(FlashTest, ALoaderThatAnswersTheWakeUpButNoProbeIsGivenUpAfter4096Probes) {
  sim::SerialFaults faults;
  faults.ignoreProbes = sim::kNever;
  StartSerialPhone(faults);
  WritePageFile({{0x0000, Pattern(16, 1)}});
  Count();
  EXPECT_FALSE(commands_.UpdateFlashPage());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"No response from Quill1?"});
  SerialUnits();
  EXPECT_EQ(serial_->Log().Units(UnitKind::Probe).size(), 4096u);
  EXPECT_EQ(serial_->Log().Units(UnitKind::WakeUp).size(), 1u);
  EXPECT_TRUE(serial_->Log().Units(UnitKind::EraseSector).empty());
  ExpectNothingLeft();
}

// The other serial failures, each with its message and the link stopped.
TEST_F(FlashTest, SerialFailuresEndWithTheirMessageAndStopTheLink) {
  struct Row {
    const char* message;
    sim::SerialFaults faults;
    int eraseMs;
    bool scripted;  // answers wake-up, one probe and one erase, then nothing
  };
  sim::SerialFaults noWakeUp;
  noWakeUp.noWakeUpAnswer = true;
  sim::SerialFaults twoChunks;
  twoChunks.stopAfterChunks = 2;
  const Row rows[] = {
      {"Can not connect to Quill(2)", noWakeUp, 50, false},
      {"Erase sector failed", {}, 1000000, false},  // the erase outlasts the pause and the wait
      {"Begin write operation failed", {}, 50, true},
      {"Write operation failed", twoChunks, 50, false},
  };
  WritePageFile({{0x0000, Pattern(64, 3)}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    ui_.messages.clear();
    ui_.progresses.clear();
    if (serial_) serial_->Stop();
    std::unique_ptr<test::SerialPhone> scripted;
    if (row.scripted) {
      host_.linkType = 0;
      test::SerialPhone::Options eraseOnly;
      eraseOnly.answers = 3;  // the wake-up, the probe and the erase: the begin-write is never answered
      scripted = std::make_unique<test::SerialPhone>(eraseOnly);
      EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", scripted->SlavePath()));
    } else {
      StartSerialPhone(row.faults, row.eraseMs);
    }
    Count();
    EXPECT_FALSE(commands_.UpdateFlashPage());
    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{row.message});
    ExpectNothingLeft();
  }
}

TEST_F(FlashTest, Page15OfChip4IsHandedOverTcpWithItsSettingsAndPerSectorProgress) {
  StartTcpPhone(loopback::kFlashPage15.dotted);
  host_.page = 15;
  ui_.Answer(MbResult::Yes);
  std::vector<test::HexPiece> pieces = {{0x0000, Pattern(32, 4)}, {0xA000, Pattern(16, 8)}};
  WritePageFile(pieces);
  Count();

  EXPECT_TRUE(commands_.UpdateFlashPage());

  // Used size 0xA010, sent as 0xA100 bytes: the last block carries the settings image's next bytes.
  auto page = tcp_->Page(15);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(*page, Head(PageImage(pieces, 0xA000), 0xA100));
  auto commands = tcp_->Log().Units(UnitKind::Command);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].bytes, std::vector<uint8_t>{15});
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kQuestion});
  ASSERT_EQ(ui_.progresses.size(), 2u);
  EXPECT_EQ(ui_.progresses[1]->texts, (std::vector<std::string>{"Erase sector 18", "Erase sector 17",
                                                                "Erase sector 16", "Erase sector 15"}));
  EXPECT_EQ(ui_.progresses[1]->labels.back(), "100%");
  ExpectNothingLeft();
}

TEST_F(FlashTest, TheSettingsGoWhereEachPageAndChipKeepsThem) {
  struct Row {
    int page, chip;
    std::vector<test::HexPiece> pieces;
    std::optional<size_t> settingsAt;
    size_t sent;
  };
  const std::vector<uint8_t> signature{0x02, 0x1D, 0x7B, 0x00, 0x00, 0x00, 0x11, 0x22};
  const Row rows[] = {
      {3, 1, {{0, Pattern(16, 1)}}, 0xC000, 0xC100},  // always 0xC100 bytes, whatever the file covers
      {7, 2, {{0, Pattern(0x300, 2)}}, 0x200, 0x300},
      {0, 0, {{0, Pattern(16, 3)}, {0x4000, signature}}, 0x4000, 0x4100},
      {7, 3, {{0, Pattern(16, 4)}}, 0xA000, 0x100},  // merged beyond the used size: not sent
      {1, 0, {{0, Pattern(16, 5)}}, std::nullopt, 0x100},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE("page " + std::to_string(row.page) + " chip " + std::to_string(row.chip));
    StartTcpPhone(n++ % 2 == 0 ? loopback::kFlashSettingsA.dotted : loopback::kFlashSettingsB.dotted);
    ui_.messages.clear();
    host_.page = row.page;
    host_.chipType = row.chip;
    ui_.Answer(MbResult::Yes);
    WritePageFile(row.pieces);
    EXPECT_TRUE(commands_.UpdateFlashPage());
    auto page = tcp_->Page(row.page);
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(*page, Head(PageImage(row.pieces, row.settingsAt), row.sent));
  }
}

TEST_F(FlashTest, APhoneThatStillAnswersAfterThePageRefusedTheUpgrade) {
  sim::TcpFaults faults;
  faults.refuseUpdates = true;
  StartTcpPhone(loopback::kFlashStillAnswers.dotted, faults);
  host_.page = 0;
  host_.chipType = 0;
  WritePageFile({{0x4000, {0x02, 0x1D, 0x7B, 0x00, 0x00, 0x00}}});
  Count();
  EXPECT_FALSE(commands_.UpdateFlashPage());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Invalid upgrade method"});
  // The answer is looked for at the first sector only, after the others' pauses.
  EXPECT_EQ(ui_.progresses.at(1)->texts, (std::vector<std::string>{"Erase sector 3", "Erase sector 2",
                                                                   "Erase sector 1", "Erase sector 0"}));
  EXPECT_TRUE(tcp_->WaitForConnections(2, 2000ms));
  ExpectNothingLeft();
}

TEST_F(FlashTest, APage0FileWithoutTheLoaderTableIsRefusedBeforeAnyLink) {
  StartTcpPhone(loopback::kFlashNoLoaderTable.dotted);
  host_.page = 0;
  host_.chipType = 0;
  WritePageFile({{0x4000, {0x02, 0x1D, 0x7B, 0x00, 0x00, 0x01}}});
  EXPECT_FALSE(commands_.UpdateFlashPage());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kHexError});
  WritePageFile({});  // no record at all: used size 0
  EXPECT_FALSE(commands_.UpdateFlashPage());
  EXPECT_EQ(ui_.messages.back().text, kHexError);
  EXPECT_EQ(tcp_->Connections(), 0);
}

TEST_F(FlashTest, TheProgramGoesOverTcpWith0x81AndErasedFlashAfterItsEnd) {
  StartTcpPhone(loopback::kFlashProgram.dotted);
  auto program = Pattern(300, 6);
  test::WriteFile(dir_.File("fw.bin"), std::string(program.begin(), program.end()));
  ui_.AnswerFile(dir_.File("fw.bin"));
  Count();
  EXPECT_TRUE(commands_.UpdateProgram());
  auto stored = tcp_->Stored(0x81);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(*stored, Cat(program, std::vector<uint8_t>(212, 0xFF)));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Updating ... please wait until the update led stop on and off");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Information);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.bin");
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.bin");
  EXPECT_EQ(ui_.fileDialogs[0].filter, "Binary files (*.bin)|*.bin|All files (*.*)|*.*||");
  EXPECT_EQ(SettingsStore::Profile().GetString("ProgramUpdate", "SrcName", ""), dir_.File("fw.bin"));
  ExpectNothingLeft();
}

TEST_F(FlashTest, TheProgramUpdateIsRefusedOverSerialOrByThePhoneAndNeedsItsFile) {
  StartTcpPhone(loopback::kFlashProgramRefused.dotted);
  test::WriteFile(dir_.File("fw.bin"), "program");
  host_.linkType = 0;
  ui_.AnswerFile(dir_.File("fw.bin"));
  EXPECT_FALSE(commands_.UpdateProgram());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Only Tcpip connection can be used for this function"});
  EXPECT_EQ(tcp_->Connections(), 0);

  host_.linkType = 1;
  ui_.AnswerFile(dir_.File("none.bin"));
  EXPECT_FALSE(commands_.UpdateProgram());
  EXPECT_EQ(ui_.messages.back().text,
            "Can not open source file\n" + dir_.File("none.bin") + ": No such file or directory");
  EXPECT_EQ(tcp_->Connections(), 0);

  sim::TcpFaults faults;
  faults.refuseUpdates = true;
  StartTcpPhone(loopback::kFlashProgramRefusedByPhone.dotted, faults);
  ui_.AnswerFile(dir_.File("fw.bin"));
  EXPECT_FALSE(commands_.UpdateProgram());
  EXPECT_EQ(ui_.messages.back().text, "Invalid update method");
  EXPECT_EQ(ui_.messages.back().icon, MbIcon::Exclamation);
}

}  // namespace
}  // namespace quill
