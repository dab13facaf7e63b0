// The data-area updates against the TCP loader of the simulator: what the phone received, byte for byte,
// and what the user was shown.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "link/maintenance_commands.h"
#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "settings/phone_settings.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"
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

using namespace std::chrono_literals;
using sim::UnitKind;

constexpr const char* kUpdating = "Updating ... please wait until the update led stop on and off";
constexpr const char* kOnlyTcp = "Only Tcpip connection can be used for this function";
constexpr const char* kDataFilter =
    "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
constexpr const char* kTextFilter = "Text files (*.txt)|*.txt|All Text files|*.txt;|All files (*.*)|*.*||";

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
  return v;
}

std::string AsText(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

std::vector<UnitKind> Kinds(const sim::UnitLog& log) {
  std::vector<UnitKind> out;
  for (const auto& u : log.Units()) out.push_back(u.kind);
  return out;
}

class DataAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
  }
  void TearDown() override {
    if (phone_) phone_->Stop();
  }
  void StartPhone(const std::string& address, const sim::TcpFaults& faults = {}) {
    host_.ipField = test::FieldAddress(address);
    sim::TcpLoader::Config config;
    config.address = address;
    config.eraseMs = 8000;  // outlasts the tool's 500 ms + 2000 ms reconnect, scaled
    phone_ = std::make_unique<sim::TcpLoader>(config);
    phone_->SetFaults(faults);
    ASSERT_TRUE(phone_->Start()) << phone_->Error();
  }
  std::string File(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir_.File(name), bytes);
    return dir_.File(name);
  }
  void ExpectNothingLeft(const test::Census& census) {
    EXPECT_FALSE(link_.TcpLinkHeld());
    // The phone's listener is closed while it "writes its flash"; count once it is back.
    EXPECT_TRUE(phone_->WaitForListening(true, 5000ms));
    EXPECT_TRUE(census.Back()) << census.Describe();
  }

  ScopedProcessEvents events_;
  test::ScaledTiming timing_{0.001, 0.1, {100, std::chrono::milliseconds(400)}};
  test::FakeUi ui_;
  test::FakeCommandHost host_;
  CMaintenanceLink link_{ui_};
  CMaintenanceCommands commands_{ui_, link_, host_};
  test::TempDir dir_;
  std::unique_ptr<sim::TcpLoader> phone_;
};

TEST_F(DataAreaTest, ARingFileOf1000BytesGoesAsEightBlocksThenItsCommand) {
  StartPhone(loopback::kDataRing.dotted);
  auto ring = Pattern(1000, 7);
  ui_.AnswerFile(File("tone.dat", AsText(ring)));
  test::Census census;

  EXPECT_TRUE(commands_.UpdateRing());

  std::vector<UnitKind> expected(8, UnitKind::Block);
  expected.push_back(UnitKind::Command);
  EXPECT_EQ(Kinds(phone_->Log()), expected);
  auto stored = phone_->Stored(0x82);
  ASSERT_TRUE(stored.has_value());
  auto padded = ring;
  padded.resize(1024, 0x00);
  EXPECT_EQ(*stored, padded);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kUpdating);
  EXPECT_EQ(ui_.messages[0].caption, ApplicationName());
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Information);
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::Ok);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "ring.dat");
  EXPECT_EQ(SettingsStore::Profile().GetString("RingUpdate", "SrcName", ""), dir_.File("tone.dat"));
  EXPECT_EQ(host_.saves, 1);
  ExpectNothingLeft(census);
}

// Each file update with a refusing and with an accepting phone: its dialog, its command byte, its message.
TEST_F(DataAreaTest, EachFileUpdateHasItsDialogCommandAndProbeOutcomes) {
  struct Row {
    bool (CMaintenanceCommands::*run)();
    const char* section;
    const char* defaultName;
    const char* ext;
    const char* filter;
    uint8_t command;
    const char* refusal;
  };
  const Row rows[] = {
      {&CMaintenanceCommands::UpdateRing, "RingUpdate", "ring.dat", "*.dat", kDataFilter, 0x82,
       "Invalid update ring method"},
      {&CMaintenanceCommands::UpdateDigitMap, "MapUpdate", "map.txt", "*.txt", kTextFilter, 0x84,
       "Invalid update digitmap method"},
      {&CMaintenanceCommands::UpdateHoldAnnouncement, "HoldIVRUpdate", "hold.dat", "*.dat", kDataFilter, 0x83,
       "Invalid update hold IVR method"},
  };
  int n = 0;
  for (const Row& row : rows) {
    for (bool refuse : {true, false}) {
      SCOPED_TRACE(std::string(row.section) + (refuse ? " refused" : " accepted"));
      if (phone_) phone_->Stop();
      sim::TcpFaults faults;
      faults.refuseUpdates = refuse;
      StartPhone(n % 2 == 0 ? loopback::kDataUpdateA.dotted : loopback::kDataUpdateB.dotted, faults);
      ++n;
      ui_.messages.clear();
      ui_.fileDialogs.clear();
      EXPECT_TRUE(SettingsStore::Profile().WriteString(row.section, "SrcName",
                                                       "last-" + std::string(row.defaultName)));
      ui_.AnswerFile(File(row.defaultName, "0123456789"));

      EXPECT_EQ((commands_.*row.run)(), !refuse);

      ASSERT_EQ(ui_.fileDialogs.size(), 1u);
      EXPECT_EQ(ui_.fileDialogs[0].defaultExt, row.ext);
      EXPECT_EQ(ui_.fileDialogs[0].initialName, "last-" + std::string(row.defaultName));
      EXPECT_EQ(ui_.fileDialogs[0].filter, row.filter);
      auto commands = phone_->Log().Units(UnitKind::Command);
      ASSERT_EQ(commands.size(), 1u);
      EXPECT_EQ(commands[0].bytes, std::vector<uint8_t>{row.command});
      ASSERT_EQ(ui_.messages.size(), 1u);
      if (refuse) {
        EXPECT_EQ(ui_.messages[0].text, row.refusal);
        EXPECT_EQ(ui_.messages[0].icon, MbIcon::Exclamation);
      } else {
        EXPECT_EQ(ui_.messages[0].text, kUpdating);
        EXPECT_EQ(ui_.messages[0].icon, MbIcon::Information);
      }
      // The probe came after the command: one connection for the update, one for the probe when refused.
      EXPECT_TRUE(phone_->WaitForConnections(refuse ? 2 : 1, 2000ms));
      EXPECT_FALSE(link_.TcpLinkHeld());
    }
  }
}

TEST_F(DataAreaTest, TheSerialLinkIsRefusedAfterTheDialogAndNothingIsSent) {
  StartPhone(loopback::kDataSerialRefused.dotted);
  host_.linkType = 0;
  ui_.AnswerFile(File("map.txt", "x"));
  EXPECT_FALSE(commands_.UpdateDigitMap());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kOnlyTcp});
  EXPECT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(phone_->Connections(), 0);
}

// After options that could not be stored, what would carry values of the store to the phone is not sent
// (the settings push, a flash page with the settings merged in); what carries none goes on.
TEST_F(DataAreaTest, AFailedStoreWriteStopsOnlyWhatSendsTheStoresValues) {
  StartPhone(loopback::kDataStoreFails.dotted);
  host_.storeFails = true;
  host_.workingDirectory = dir_.Path();
  File("Page0.hex", test::IntelHex({{0x0000, std::vector<uint8_t>(64, 0x5A)}}));
  ui_.defaultAnswer = MbResult::Yes;  // the question about the page file
  host_.page = 15;                    // chip 4 keeps the settings in page 15
  EXPECT_FALSE(commands_.UpdateFlashPage());
  EXPECT_FALSE(commands_.EditAndPushSettings());
  EXPECT_EQ(ui_.settingsDialogRuns, 0);
  EXPECT_EQ(phone_->Connections(), 0);

  ui_.AnswerFile(File("tone.dat", "ring"));
  EXPECT_TRUE(commands_.UpdateRing());
  EXPECT_TRUE(phone_->Stored(0x82).has_value());
}

TEST_F(DataAreaTest, AFileThatCannotBeOpenedOrACancelledDialogSendsNothing) {
  StartPhone(loopback::kDataCannotOpen.dotted);
  ui_.AnswerFile(dir_.File("missing.dat"));
  EXPECT_FALSE(commands_.UpdateHoldAnnouncement());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Can not open source file\n" + dir_.File("missing.dat") +
                                                  ": No such file or directory"});
  ui_.AnswerFile(dir_.Path());  // a folder is no file either
  EXPECT_FALSE(commands_.UpdateHoldAnnouncement());
  EXPECT_EQ(ui_.messages.size(), 2u);
  // A FIFO nobody writes is refused at once instead of holding the command.
  ::mkfifo(dir_.File("fifo").c_str(), 0644);
  ui_.AnswerFile(dir_.File("fifo"));
  EXPECT_FALSE(commands_.UpdateRing());
  EXPECT_EQ(ui_.messages.back().text,
            "Can not open source file\n" + dir_.File("fifo") + ": a FIFO or pipe, not a regular file");
  EXPECT_FALSE(commands_.UpdateRing());  // no answer scripted: cancelled
  EXPECT_EQ(ui_.messages.size(), 3u);
  EXPECT_EQ(host_.saves, 3);  // a cancelled dialog ends before the options are saved
  EXPECT_EQ(phone_->Connections(), 0);
}

class AlternateSettingsTest : public DataAreaTest {
 protected:
  void SetUp() override {
    DataAreaTest::SetUp();
    phoneImage_ = Pattern(kSettingsImageSize, 40);
  }
  // Runs the update with text as the settings file and returns the 2048 bytes the phone kept.
  std::vector<uint8_t> Run(const std::string& address, const std::string& text) {
    StartPhone(address);
    phone_->SetSettingsImage(phoneImage_);
    ui_.AnswerFile(File("setting.txt", text));
    EXPECT_TRUE(commands_.UpdateAlternateSettings());
    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kUpdating});
    return phone_->Stored(0x85).value_or(std::vector<uint8_t>{});
  }
  // The phone's image with lines applied.
  std::vector<uint8_t> Image(const std::vector<std::string>& lines) const {
    std::vector<uint8_t> image = phoneImage_;
    for (const auto& line : lines) ApplySettingsLine(std::span(image).first<kSettingsImageSize>(), line);
    return image;
  }
  static std::vector<uint8_t> Slice(const std::vector<uint8_t>& all, int which) {
    auto begin = all.begin() + (which - 1) * static_cast<long>(kSettingsImageSize);
    return std::vector<uint8_t>(begin, begin + static_cast<long>(kSettingsImageSize));
  }
  std::vector<uint8_t> phoneImage_;
};

TEST_F(AlternateSettingsTest, ATextWithoutSectionsChangesImageOneOnly) {
  auto sent = Run(loopback::kAlternateNoSections.dotted, "ringtype=5\r\nhandsetin=77\n");
  ASSERT_EQ(sent.size(), kAlternateSettingsSize);
  EXPECT_EQ(Slice(sent, 1), Image({"ringtype=5", "handsetin=77"}));
  for (int i = 2; i <= 4; ++i) EXPECT_EQ(Slice(sent, i), phoneImage_) << i;
  // The phone's settings were read first: four "sh" requests, then eight blocks and the command.
  auto requests = phone_->Log().Units(UnitKind::Request);
  EXPECT_EQ(requests.size(), 4u);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "setting.txt");
  EXPECT_EQ(ui_.fileDialogs[0].filter, kTextFilter);
  EXPECT_EQ(ui_.waitCursorBegins, 1);
  EXPECT_EQ(ui_.waitCursorDepth, 0);
}

TEST_F(AlternateSettingsTest, SectionsSelectImagesAndOtherSectionsKeepTheSelection) {
  auto sent = Run(loopback::kAlternateSections.dotted,
                  "ringtype=1\n"
                  "[setting3]\n"
                  "ringtype=3\n"
                  "[OTHER]\n"
                  "handsetin=33\n"
                  "[SETTING5]\n"  // no fifth image: its lines have nowhere to go
                  "ringtype=7\n"
                  "[Setting2]\n"
                  "ringtype=2\n");
  ASSERT_EQ(sent.size(), kAlternateSettingsSize);
  EXPECT_EQ(Slice(sent, 1), Image({"ringtype=1"}));
  EXPECT_EQ(Slice(sent, 2), Image({"ringtype=2"}));
  EXPECT_EQ(Slice(sent, 3), Image({"ringtype=3", "handsetin=33"}));
  EXPECT_EQ(Slice(sent, 4), phoneImage_);
}

TEST_F(AlternateSettingsTest, NothingIsSentWhenThePhonesSettingsCannotBeRead) {
  sim::TcpFaults faults;
  faults.noListener = true;
  StartPhone(loopback::kAlternateReadFails.dotted, faults);
  test::Census census;
  EXPECT_FALSE(commands_.UpdateAlternateSettings());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "Can't update");
  EXPECT_TRUE(ui_.fileDialogs.empty());
  EXPECT_TRUE(census.Back()) << census.Describe();
  host_.linkType = 0;
  EXPECT_FALSE(commands_.UpdateAlternateSettings());
  EXPECT_EQ(ui_.messages.back().text, kOnlyTcp);
}

class SettingsPushTest : public DataAreaTest {
 protected:
  void StartWithImage(const std::string& address, const sim::TcpFaults& faults = {}) {
    StartPhone(address, faults);
    phoneImage_ = Pattern(kSettingsImageSize, 90);
    phone_->SetSettingsImage(phoneImage_);
  }
  std::vector<uint8_t> phoneImage_;
};

TEST_F(SettingsPushTest, OkAndYesSendTheImageBuiltFromTheDialogsValues) {
  StartWithImage(loopback::kPushOkYes.dotted);
  ui_.settingsDialog = [] {
    // What the user changed in the dialog is in the store when it closes with OK.
    EXPECT_TRUE(WritePhoneText("PhoneNumber", "4711"));
    return true;
  };
  ui_.Answer(MbResult::Yes);
  test::Census census;
  EXPECT_TRUE(commands_.EditAndPushSettings());

  // The phone's image became the base and its values the store's, before the dialog ran.
  SettingsImage base = BaseSettingsImage();
  EXPECT_TRUE(std::equal(base.begin(), base.end(), phoneImage_.begin()));
  SettingsImage expected;
  BuildSettingsImage(expected);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(expected.data()) + 16), "4711");
  auto stored = phone_->Stored(0x80);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(*stored, std::vector<uint8_t>(expected.begin(), expected.end()));
  EXPECT_EQ(ui_.settingsDialogRuns, 1);
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text, "Update settings to phone now?");
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::YesNo);
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Question);
  EXPECT_EQ(ui_.messages[1].text, "New settings updated");
  EXPECT_EQ(ui_.messages[1].icon, MbIcon::Information);
  ExpectNothingLeft(census);
}

TEST_F(SettingsPushTest, CancelOrNoSendNothingButTheReadRequests) {
  StartWithImage(loopback::kPushCancel.dotted);
  ui_.settingsDialog = [] { return false; };
  EXPECT_FALSE(commands_.EditAndPushSettings());
  EXPECT_TRUE(ui_.messages.empty());
  ui_.settingsDialog = nullptr;
  ui_.Answer(MbResult::No);
  EXPECT_FALSE(commands_.EditAndPushSettings());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Update settings to phone now?"});
  EXPECT_EQ(Kinds(phone_->Log()), std::vector<UnitKind>(8, UnitKind::Request));
}

TEST_F(SettingsPushTest, ARefusingPhoneGivesInvalidSettingsMethod) {
  sim::TcpFaults faults;
  faults.refuseUpdates = true;
  StartWithImage(loopback::kPushRefusing.dotted, faults);
  ui_.Answer(MbResult::Yes);
  EXPECT_FALSE(commands_.EditAndPushSettings());
  EXPECT_EQ(ui_.Texts(),
            (std::vector<std::string>{"Update settings to phone now?", "Invalid settings method"}));
  EXPECT_EQ(ui_.messages.back().icon, MbIcon::Exclamation);
}

TEST_F(SettingsPushTest, NothingIsSentWhenTheReadFails) {
  sim::TcpFaults faults;
  faults.silent = true;  // connects, but never answers a read request
  StartWithImage(loopback::kPushReadFails.dotted, faults);
  test::Census census;
  EXPECT_FALSE(commands_.EditAndPushSettings());
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"tcp connection failed"});
  EXPECT_EQ(ui_.settingsDialogRuns, 0);
  EXPECT_EQ(Kinds(phone_->Log()), std::vector<UnitKind>{UnitKind::Request});
  EXPECT_EQ(BaseSettingsImage(), SettingsImage{});  // nothing imported
  EXPECT_TRUE(census.Back()) << census.Describe();
}

}  // namespace
}  // namespace quill
