// The maintenance links against the phone simulator: TCP on loopback, serial over a pseudo-terminal.
#include <gtest/gtest.h>

#include <numeric>
#include <span>

#include "link/maintenance_link.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "tests/support/census.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using sim::UnitKind;

constexpr const char* kCantUpdate =
    "Can not connect to phone.\nsorry,unable to update.Please confirm if your phone is ready.\n ";

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 1) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

std::vector<UnitKind> Kinds(const sim::UnitLog& log) {
  std::vector<UnitKind> out;
  for (const auto& u : log.Units()) out.push_back(u.kind);
  return out;
}

class TcpLinkTest : public ::testing::Test {
 protected:
  // Each test names its own loopback address, so tests on port 8739 never meet. The link is handed that
  // address; the store names another one, where nothing answers, so a link that read it would fail.
  void StartPhone(const char* address, const sim::TcpFaults& faults = {}) {
    test::ClearStore();
    phoneAddress_ = 0;
    for (const char* p = address; *p;) {
      phoneAddress_ =
          (phoneAddress_ << 8) | static_cast<uint32_t>(std::strtoul(p, const_cast<char**>(&p), 10));
      if (*p == '.') ++p;
    }
    EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress",
                                                  static_cast<int>(loopback::kLinkStoredPeer.value)));
    sim::TcpLoader::Config config;
    config.address = address;
    config.eraseMs = 3000;
    phone_ = std::make_unique<sim::TcpLoader>(config);
    phone_->SetFaults(faults);
    ASSERT_TRUE(phone_->Start()) << phone_->Error();
  }
  void TearDown() override {
    if (phone_) phone_->Stop();
  }

  ScopedProcessEvents events_;
  test::ScaledTiming scale_{0.2};
  test::FakeUi ui_;
  uint32_t phoneAddress_ = 0;
  std::unique_ptr<sim::TcpLoader> phone_;
};

TEST_F(TcpLinkTest, SendImagePadsToAMultipleOf256AndEndsWithTheCommand) {
  StartPhone(loopback::kLinkSendImage.dotted);
  auto data = Pattern(300);
  {
    CMaintenanceLink link(ui_);
    ASSERT_TRUE(link.SendImage(phoneAddress_, data, 0x82, 0x00));
    EXPECT_FALSE(link.TcpLinkHeld());
  }
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Kinds(phone_->Log()), (std::vector<UnitKind>{UnitKind::Block, UnitKind::Block, UnitKind::Block,
                                                         UnitKind::Block, UnitKind::Command}));
  auto ring = phone_->Stored(0x82);
  ASSERT_TRUE(ring.has_value());
  std::vector<uint8_t> expected = data;
  expected.resize(512, 0x00);  // the padding is defined
  EXPECT_EQ(*ring, expected);
  ASSERT_EQ(ui_.progresses.size(), 1u);
  const auto& p = *ui_.progresses[0];
  EXPECT_EQ(p.texts, (std::vector<std::string>{"Loading data 0", "Loading data 128", "Loading data 256",
                                               "Loading data 384"}));
  EXPECT_EQ(p.labels, (std::vector<std::string>{"25%", "50%", "75%", "100%"}));
  EXPECT_TRUE(p.closed);
}

TEST_F(TcpLinkTest, AWholeMultipleOf256SendsTheSameBlocksAndNoCommandWhenNoneIsGiven) {
  StartPhone(loopback::kLinkWholeMultiple.dotted);
  auto data = Pattern(512, 9);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.SendImage(phoneAddress_, data, kNoCommand, 0xFF));
  ASSERT_TRUE(phone_->Log().WaitForCount(4, 2000ms));
  EXPECT_EQ(Kinds(phone_->Log()), std::vector<UnitKind>(4, UnitKind::Block));
  EXPECT_EQ(phone_->Log().Bytes(), data);
}

TEST_F(TcpLinkTest, ReadImageOfSettingsSendsFourRequestsAndFills512Bytes) {
  StartPhone(loopback::kLinkReadSettings.dotted);
  auto settings = Pattern(512, 3);
  phone_->SetSettingsImage(settings);
  std::vector<uint8_t> buffer(512, 0);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.ReadImage(phoneAddress_, std::span<uint8_t, 512>(buffer)));
  EXPECT_EQ(buffer, settings);
  auto units = phone_->Log().Units();
  ASSERT_EQ(units.size(), 4u);
  for (const auto& u : units) EXPECT_EQ(u.bytes, (std::vector<uint8_t>{'s', 'h'}));
  EXPECT_EQ(ui_.progresses.at(0)->texts.back(), "Reading data 384");
}

TEST_F(TcpLinkTest, ReadImageOfSdramReadsTheGivenLengthRoundedUp) {
  StartPhone(loopback::kLinkReadSdram.dotted);
  EXPECT_TRUE(
      SettingsStore::Profile().WriteInt("Sdram", "SaveLength", 4000));  // the length is given, never read
  auto sdram = Pattern(1024, 5);
  phone_->SetSdramImage(sdram);
  std::vector<uint8_t> buffer(640000, 0xEE);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.ReadImage(phoneAddress_, buffer, 1000));
  EXPECT_EQ(phone_->Log().Count(), 8u);
  EXPECT_EQ(phone_->Log().Units()[0].bytes, (std::vector<uint8_t>{'d', 'h'}));
  EXPECT_TRUE(std::equal(sdram.begin(), sdram.end(), buffer.begin()));
  EXPECT_EQ(buffer[1024], 0xEE);
}

TEST_F(TcpLinkTest, ASplitReadAnswerIsCollectedInsteadOfTimingOut) {
  sim::TcpFaults faults;
  faults.splitPiece = 50;
  StartPhone(loopback::kLinkSplitRead.dotted, faults);
  auto settings = Pattern(512, 11);
  phone_->SetSettingsImage(settings);
  std::vector<uint8_t> buffer(512, 0);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.ReadImage(phoneAddress_, std::span<uint8_t, 512>(buffer)));
  EXPECT_EQ(buffer, settings);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(TcpLinkTest, StartingAHeldLinkReturnsFalseWithoutAMessage) {
  StartPhone(loopback::kLinkHeld.dotted);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.StartTcpLink(phoneAddress_));
  EXPECT_FALSE(link.StartTcpLink(phoneAddress_));
  EXPECT_TRUE(ui_.messages.empty());
  link.StopTcpLink();
  EXPECT_FALSE(link.TcpLinkHeld());
}

TEST_F(TcpLinkTest, NoConnectionShowsCantUpdateAndStopsTheLink) {
  test::ScaledTiming fast(0.05);
  sim::TcpFaults faults;
  faults.noListener = true;
  StartPhone(loopback::kLinkNoConnection.dotted, faults);
  test::Census census;
  CMaintenanceLink link(ui_);
  auto data = Pattern(128);
  EXPECT_FALSE(link.SendImage(phoneAddress_, data, 0x81, 0xFF));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kCantUpdate);
  EXPECT_EQ(ui_.messages[0].caption, "Can't update");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Stop);
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::Ok);
  EXPECT_FALSE(link.TcpLinkHeld());
  EXPECT_TRUE(ui_.progresses.empty());
  EXPECT_TRUE(census.Back()) << census.Describe();
}

TEST_F(TcpLinkTest, ASilentPhoneEndsTheTransferWithTcpConnectionFailed) {
  test::ScaledTiming fast(0.02);
  sim::TcpFaults faults;
  faults.silent = true;
  StartPhone(loopback::kLinkSilent.dotted, faults);
  CMaintenanceLink link(ui_);
  auto data = Pattern(256);
  EXPECT_FALSE(link.SendImage(phoneAddress_, data, 0x81, 0xFF));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "tcp connection failed");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Exclamation);
  EXPECT_TRUE(ui_.progresses.at(0)->closed);
  EXPECT_EQ(ui_.progresses.at(0)->steps, 0);
  EXPECT_FALSE(link.TcpLinkHeld());
}

TEST_F(TcpLinkTest, ProbeTellsARefusingPhoneFromOneThatIsWriting) {
  StartPhone(loopback::kLinkProbe.dotted);
  auto data = Pattern(128);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.SendImage(phoneAddress_, data, 0x82, 0x00));
  EXPECT_FALSE(link.ProbeTcpLink(phoneAddress_, 2000));  // erasing: nobody answers the new connection
  phone_->Stop();
  sim::TcpFaults refuse;
  refuse.refuseUpdates = true;
  StartPhone(loopback::kLinkProbe.dotted, refuse);
  ASSERT_TRUE(link.SendImage(phoneAddress_, data, 0x82, 0x00));
  EXPECT_TRUE(link.ProbeTcpLink(phoneAddress_, 2000));
  EXPECT_FALSE(link.TcpLinkHeld());
}

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ASSERT_TRUE(phone_.Start()) << phone_.Error();
    EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", phone_.SlavePath()));
  }
  void TearDown() override { phone_.Stop(); }
  void Write(CMaintenanceLink& link, int count, uint8_t byte) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(link.WriteSerial(byte));
  }

  ScopedProcessEvents events_;
  test::ScaledTiming scale_{0.2};
  test::FakeUi ui_;
  sim::SerialLoader phone_;
};

TEST_F(SerialLinkTest, TheWakeUpIsAnsweredAndTheLinkStopsCleanly) {
  test::Census census;
  {
    CMaintenanceLink link(ui_);
    ASSERT_TRUE(link.StartSerialLink("COM1"));
    Write(link, 16, 0x55);
    EXPECT_TRUE(link.WaitSerialAck(1000));
    link.StopSerialLink();
    EXPECT_FALSE(link.SerialLinkHeld());
  }
  ASSERT_TRUE(phone_.WaitForLineCloses(1, 2000ms));
  EXPECT_TRUE(census.Back()) << census.Describe();
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SerialLinkTest, BulkModeReadsEightBytesPerRequest) {
  std::vector<uint8_t> sdram = Pattern(64, 21);
  phone_.SetSdramImage(sdram);
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.StartSerialLink("COM1"));
  Write(link, 8, 0xFF);  // the export's start
  ASSERT_TRUE(link.WaitSerialAck(2000));
  std::vector<uint8_t> buffer(16, 0);
  link.SetSerialBulk(buffer);
  for (int i = 0; i < 2; ++i) {
    Write(link, 1, 0x08);
    ASSERT_TRUE(link.WaitSerialAck(1000)) << i;
  }
  Write(link, 1, 0x00);
  link.ClearSerialBulk();
  EXPECT_EQ(buffer, std::vector<uint8_t>(sdram.begin(), sdram.begin() + 16));
  link.StopSerialLink();
}

TEST_F(SerialLinkTest, AShownOutputWindowTakesTheTextAndTheOperationsWaitsTimeOut) {
  CMaintenanceLink link(ui_);
  ASSERT_TRUE(link.StartSerialLink("COM1"));
  link.ShowSerialOutput();
  auto view = ui_.WaitForView(0);
  ASSERT_NE(view, nullptr);
  phone_.SendText(std::string("boot\0ok\r\n", 9));
  ASSERT_TRUE(view->WaitForText("bootok\r\n"));
  EXPECT_EQ(view->Spec().caption, "Rs232 Output");
  EXPECT_EQ(view->Spec().controlId, 1027);
  EXPECT_EQ(view->Spec().width, 600);
  EXPECT_EQ(view->Spec().editHeight, 375);
  EXPECT_TRUE(view->Shown());
  // A maintenance command started now reuses this thread: the answer is shown, not detected.
  ASSERT_TRUE(link.StartSerialLink("COM1"));
  Write(link, 16, 0x55);
  EXPECT_FALSE(link.WaitSerialAck(1000));
  EXPECT_TRUE(view->WaitForText("UUUUUUUU"));
  link.StopSerialLink();
}

TEST_F(SerialLinkTest, APortThatCannotBeOpenedIsReportedAndNothingIsHeld) {
  EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM2Device", "/dev/no-such-port"));
  test::Census census;
  CMaintenanceLink link(ui_);
  EXPECT_FALSE(link.StartSerialLink("COM2"));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Can not open rs232 port");
  EXPECT_FALSE(link.SerialLinkHeld());
  EXPECT_TRUE(census.Back()) << census.Describe();
}

}  // namespace
}  // namespace quill
