#include "settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "platform/application.h"
#include "platform/settings_store.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "settings/settings_image.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

constexpr const char* kSection = "PhoneSettings";

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }

  std::unique_ptr<CPhoneSettingsDlg> Open() {
    auto d = std::make_unique<CPhoneSettingsDlg>(nullptr, ui);
    d->show();
    return d;
  }
  static QLineEdit* Edit(QWidget* d, int id) { return gui::Control<QLineEdit>(d, id); }
  static std::string Text(QWidget* d, int id) { return Edit(d, id)->text().toStdString(); }
  static bool Enabled(QWidget* d, int id) { return gui::FindControl(d, id)->isEnabled(); }
  static void Ok(QWidget* d) { gui::Control<QPushButton>(d, IDC_PS_OK)->click(); }
  // Types text as a user would: ASCII on the keys, any other character committed by an input method, one
  // character at a time.
  static void Type(QWidget* edit, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      const qsizetype n = text[i].isHighSurrogate() ? 2 : 1;
      const QString character = text.mid(i, n);
      i += n - 1;
      if (character[0].unicode() < 0x80) {
        QTest::keyClicks(edit, character);
        continue;
      }
      QInputMethodEvent commit;
      commit.setCommitString(character);
      QApplication::sendEvent(edit, &commit);
    }
  }
  // The store file's whole text: "nothing written" means this does not change.
  static std::string StoreText() { return test::ReadFile(SettingsStore::Profile().FilePath()); }

  SettingsStore& store = SettingsStore::Profile();
  test::FakeUi ui;
};

TEST_F(SettingsDialogTest, OpensWithTheFactoryProfileAndLooksAsDesigned) {
  auto d = Open();
  EXPECT_EQ(d->windowTitle().toStdString(), "话机设置");
  EXPECT_EQ(d->size(), QSize(gui::DuToPxX(518), gui::DuToPxY(337)));

  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "0");
  const std::pair<int, const char*> texts[] = {
      {IDC_PS_MAC1, "0x02"},         {IDC_PS_MAC2, "0x1d"},        {IDC_PS_MAC3, "0x7b"},
      {IDC_PS_MAC4, "0x0a"},         {IDC_PS_MAC5, "0x00"},        {IDC_PS_MAC6, "0x00"},
      {IDC_PS_PASSWORD, "8046"},     {IDC_PS_SUBVERSION, "15"},    {IDC_PS_RTP_PORT, "6000"},
      {IDC_PS_Q931_PORT, "1730"},    {IDC_PS_RAS_PORT, "1719"},    {IDC_PS_H245_PORT, "1722"},
      {IDC_PS_SERVICE_PORT, "1710"}, {IDC_PS_NETWORK_RETRY, "15"}, {IDC_PS_NUMBER, "0"},
      {IDC_PS_USER_NAME, ""},        {IDC_PS_RING_NUMBER, "6"},    {IDC_PS_FRAMES, "2"},
      {IDC_PS_TIMEOUT0, "60"},       {IDC_PS_TIMEOUT1, "60"},      {IDC_PS_TIMEOUT2, "15"},
      {IDC_PS_TEST0, "0"},           {IDC_PS_TEST5, "0"}};
  for (auto [id, text] : texts) EXPECT_EQ(Text(d.get(), id), text) << id;

  const std::pair<int, const char*> lists[] = {
      {IDC_PS_PROTOCOL, "H323"},      {IDC_PS_OUTPUT, "不输出"},      {IDC_PS_PROXY, "Citron"},
      {IDC_PS_REMOTE_ALIAS, "E.164"}, {IDC_PS_LOCAL_ALIAS, "H323ID"}, {IDC_PS_FASTSTART, "H245隧道"},
      {IDC_PS_RING_TYPE, "PCM"},      {IDC_PS_DTMF, "H245 String"},   {IDC_PS_AUDIO_TYPE, "G729"}};
  for (auto [id, text] : lists)
    EXPECT_EQ(gui::Control<QComboBox>(d.get(), id)->currentText().toStdString(), text) << id;

  const std::pair<int, uint32_t> addresses[] = {{IDC_PS_LOCAL_IP, 0xC0A80164},
                                                {IDC_PS_SUBNET_MASK, 0xFFFFFF00},
                                                {IDC_PS_ROUTER_IP, 0xC0A80101},
                                                {IDC_PS_DNS_IP, 0xC0A80101},
                                                {IDC_PS_TFTP_IP, 0},
                                                {IDC_PS_PROXY_IP, 0},
                                                {IDC_PS_GK_IP, 0}};
  for (auto [id, a] : addresses) EXPECT_EQ(gui::Control<gui::IpAddressEdit>(d.get(), id)->Address(), a) << id;

  // {id, maximum, value}
  const int sliders[][3] = {{IDC_PS_MIC_VOL, 15, 9},       {IDC_PS_SPK_VOL, 31, 12},
                            {IDC_PS_HANDSET_TONE, 15, 15}, {IDC_PS_HANDFREE_INPUT, 15, 7},
                            {IDC_PS_RING_VOL, 31, 12},     {IDC_PS_SPK_TONE, 15, 15}};
  for (auto& s : sliders) {
    auto* slider = gui::Control<QSlider>(d.get(), s[0]);
    EXPECT_EQ(slider->minimum(), 0) << s[0];
    EXPECT_EQ(slider->maximum(), s[1]) << s[0];
    EXPECT_EQ(slider->value(), s[2]) << s[0];
  }

  const std::pair<int, bool> checks[] = {
      {IDC_PS_DHCP, false},        {IDC_PS_PPPOE, false},     {IDC_PS_USE_GK, false},   {IDC_PS_H235, true},
      {IDC_PS_AUTO_ANSWER, false}, {IDC_PS_ABBR_DIAL, false}, {IDC_PS_HIGH_RATE, true}, {IDC_PS_VAD, false},
      {IDC_PS_AGC, false},         {IDC_PS_AEC, true},        {IDC_PS_DIGIT_MAP, false}};
  for (auto [id, on] : checks) EXPECT_EQ(gui::Control<QCheckBox>(d.get(), id)->isChecked(), on) << id;

  // What the user can change when the dialog opens; everything else is greyed.
  const std::set<int> enabled = {
      IDC_PS_SERIAL,         IDC_PS_SERIAL_SPIN, IDC_PS_DHCP,        IDC_PS_OUTPUT,
      IDC_PS_PPPOE,          IDC_PS_LOCAL_IP,    IDC_PS_SUBNET_MASK, IDC_PS_ROUTER_IP,
      IDC_PS_DNS_IP,         IDC_PS_MIC_VOL,     IDC_PS_SPK_VOL,     IDC_PS_HANDSET_TONE,
      IDC_PS_HANDFREE_INPUT, IDC_PS_RING_VOL,    IDC_PS_SPK_TONE,    IDC_PS_VAD,
      IDC_PS_TEST0,          IDC_PS_TEST1,       IDC_PS_TEST2,       IDC_PS_TEST3,
      IDC_PS_TEST4,          IDC_PS_TEST5,       IDC_PS_OK,          IDC_PS_CANCEL};
  std::vector<QRect> placed;
  for (int id = IDC_PS_PASSWORD; id <= IDC_PS_TEST5; ++id) {
    QWidget* c = gui::FindControl(d.get(), id);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(c->isEnabled(), enabled.count(id) == 1) << id;
    // Every control lies inside the dialog and on no other control.
    EXPECT_TRUE(d->rect().contains(c->geometry())) << id;
    for (const QRect& r : placed) EXPECT_FALSE(r.intersects(c->geometry())) << id;
    placed.push_back(c->geometry());
  }

  const std::pair<int, int> limits[] = {
      {IDC_PS_PASSWORD, 15},  {IDC_PS_MAC1, 4},       {IDC_PS_MAC6, 4},   {IDC_PS_PPPOE_ID, 23},
      {IDC_PS_PPPOE_PIN, 15}, {IDC_PS_PPPOE_ID2, 23}, {IDC_PS_GK_ID, 24}, {IDC_PS_SERVICE_DNS, 31},
      {IDC_PS_USER_NAME, 16}, {IDC_PS_NUMBER, 15},    {IDC_PS_PIN, 16}};
  for (auto [id, n] : limits) EXPECT_EQ(Edit(d.get(), id)->maxLength(), n) << id;

  QApplication::processEvents();
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  EXPECT_TRUE(d->grab().save(QUILL_TEST_BINARY_DIR "/screenshots/settings_dialog.png"));
}

TEST_F(SettingsDialogTest, OnlyTheSerialNumberAndTestValuesComeFromTheStore) {
  ASSERT_TRUE(store.WriteInt(kSection, "Mac_L", 300));
  ASSERT_TRUE(store.WriteString(kSection, "Mac5", "0x77"));  // follows the serial number, not the store
  ASSERT_TRUE(store.WriteInt(kSection, "Test2", -5));
  ASSERT_TRUE(store.WriteInt(kSection, "SubVersion", 42));
  ASSERT_TRUE(store.WriteString(kSection, "Password", "stored"));
  auto d = Open();
  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "300");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC5), "0x01");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC6), "0x2c");
  EXPECT_EQ(Text(d.get(), IDC_PS_TEST2), "-5");
  EXPECT_EQ(Text(d.get(), IDC_PS_SUBVERSION), "15");
  EXPECT_EQ(Text(d.get(), IDC_PS_PASSWORD), "8046");
}

TEST_F(SettingsDialogTest, TypingASerialNumberShowsTheLastTwoMacBytesAndOkWritesThem) {
  auto d = Open();
  QLineEdit* serial = Edit(d.get(), IDC_PS_SERIAL);
  serial->selectAll();
  QTest::keyClicks(serial, "4660");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC5), "0x12");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC6), "0x34");
  // Text that is no serial number leaves the MAC bytes where the last one put them.
  serial->setText("46x");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC6), "0x34");
  serial->setText("4660");
  Ok(d.get());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(store.GetInt(kSection, "Mac_L", 0), 4660);
  EXPECT_EQ(store.GetString(kSection, "Mac5", ""), "0x12");
  EXPECT_EQ(store.GetString(kSection, "Mac6", ""), "0x34");
  EXPECT_FALSE(store.Contains(kSection, "Spin1"));
}

TEST_F(SettingsDialogTest, TheArrowsStepTheSerialNumberWithinItsRange) {
  ASSERT_TRUE(store.WriteInt(kSection, "Mac_L", 255));
  auto d = Open();
  auto* up = gui::FindControl(d.get(), IDC_PS_SERIAL_SPIN)->findChild<QToolButton*>("up");
  auto* down = gui::FindControl(d.get(), IDC_PS_SERIAL_SPIN)->findChild<QToolButton*>("down");
  ASSERT_TRUE(up && down);
  up->click();
  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "256");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC5), "0x01");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC6), "0x00");
  Edit(d.get(), IDC_PS_SERIAL)->setText("0");
  down->click();
  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "0");
  Edit(d.get(), IDC_PS_SERIAL)->setText("65535");
  up->click();
  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "65535");
  EXPECT_EQ(Text(d.get(), IDC_PS_MAC5), "0xff");
}

TEST_F(SettingsDialogTest, EnablingRulesFollowTheirControls) {
  auto d = Open();
  auto* dhcp = gui::Control<QCheckBox>(d.get(), IDC_PS_DHCP);
  dhcp->click();
  for (int id : {IDC_PS_LOCAL_IP, IDC_PS_SUBNET_MASK, IDC_PS_ROUTER_IP, IDC_PS_DNS_IP})
    EXPECT_FALSE(Enabled(d.get(), id)) << id;
  dhcp->click();
  EXPECT_TRUE(Enabled(d.get(), IDC_PS_DNS_IP));

  gui::Control<QCheckBox>(d.get(), IDC_PS_PPPOE)->click();
  EXPECT_TRUE(Enabled(d.get(), IDC_PS_PPPOE_ID));
  EXPECT_TRUE(Enabled(d.get(), IDC_PS_PPPOE_PIN));

  // The greyed controls behind the other two rules, driven as a program would.
  gui::Control<QCheckBox>(d.get(), IDC_PS_USE_GK)->setChecked(true);
  EXPECT_TRUE(Enabled(d.get(), IDC_PS_GK_IP));
  EXPECT_TRUE(Enabled(d.get(), IDC_PS_NUMBER));
  auto* audio = gui::Control<QComboBox>(d.get(), IDC_PS_AUDIO_TYPE);
  const std::pair<int, std::pair<bool, bool>> codecs[] = {
      {0, {false, false}}, {1, {false, false}}, {2, {true, true}}, {6, {true, false}}};
  for (auto [codec, vadAndHighRate] : codecs) {
    audio->setCurrentIndex(codec);
    EXPECT_EQ(Enabled(d.get(), IDC_PS_VAD), vadAndHighRate.first) << codec;
    EXPECT_EQ(Enabled(d.get(), IDC_PS_HIGH_RATE), vadAndHighRate.second) << codec;
  }
}

TEST_F(SettingsDialogTest, OkWritesTheWholeProfileGreyedFieldsIncluded) {
  ASSERT_TRUE(store.WriteString(kSection, "DialNumber", "keep"));
  ASSERT_TRUE(store.WriteInt(kSection, "CDR", 1));
  auto d = Open();
  gui::Control<QCheckBox>(d.get(), IDC_PS_DHCP)->click();  // greys the addresses; they are still written
  gui::Control<gui::IpAddressEdit>(d.get(), IDC_PS_LOCAL_IP)
      ->SetAddress(loopback::kSettingsDialogLocalIp.value);
  gui::Control<QSlider>(d.get(), IDC_PS_SPK_VOL)->setValue(31);
  Edit(d.get(), IDC_PS_TEST3)->setText(" -7 ");
  Ok(d.get());
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(ui.messages.empty());

  const std::map<std::string, int> ints = {
      {"UseDHCP", 1},
      {"LocalIP", static_cast<int>(loopback::kSettingsDialogLocalIp.value)},
      {"SubnetMask", -256},
      {"RouterIP", static_cast<int>(0xC0A80101)},
      {"SpkVol", 31},
      {"Test3", -7},
      {"Test0", 0},
      {"SubVersion", 15},
      {"Q931Port", 1730},
      {"RtpPort", 6000},
      {"UseProxy", 2},
      {"LocalAlias", 2},
      {"RemoteAlias", 1},
      {"UseFaststart", 2},
      {"RingType", 1},
      {"AudioType", 3},
      {"UseH235", 1},
      {"UseHighRate", 1},
      {"UseVAD", 0},
      {"UseAEC", 1},
      {"UseDigitMap", 0},
      {"RingNumber", 6},
      {"G7231Frames", 2},
      {"TimeOut2", 15},
      {"NetworkRetry", 15},
      {"ServicePort", 1710},
      {"MicVol", 9},
      {"HandfreeInput", 7},
      {"GKIP", 0},
      {"Mac_L", 0},
      {"Output", 0},
      {"PPPoE", 0},
      {"CDR", 1}};
  for (const auto& [key, v] : ints) EXPECT_EQ(store.GetInt(kSection, key, 12345), v) << key;
  const std::map<std::string, std::string> texts = {
      {"H323ID", "@0"}, {"Account", "@0"},     {"PhoneNumber", "0"}, {"Password", "8046"},
      {"Mac2", "0x1d"}, {"Mac4", "0x0a"},      {"Mac6", "0x00"},     {"Pin", ""},
      {"GKID", ""},     {"DialNumber", "keep"}};
  for (const auto& [key, v] : texts) EXPECT_EQ(store.GetString(kSection, key, "?"), v) << key;
  for (const char* notWritten : {"Spin1", "CDRIP", "GWIP"})
    EXPECT_FALSE(store.Contains(kSection, notWritten));

  // What the phone then gets.
  SettingsImage image;
  ResetBaseSettingsImage();
  BuildSettingsImage(image);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[488]), 3), std::string("@0\0", 3));
  EXPECT_EQ(image[40], 1);
  EXPECT_EQ(image[6], 127);
}

struct RejectCase {
  const char* name;
  int id;
  const char* text;
  const char* message;
};

void PrintTo(const RejectCase& c, std::ostream* os) {
  *os << c.name;
}

class SettingsDialogRejects : public SettingsDialogTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(SettingsDialogRejects, ShowTheStandardMessageFocusTheFieldAndWriteNothing) {
  const auto& c = GetParam();
  ASSERT_TRUE(store.WriteString(kSection, "Account", "before"));
  const std::string before = StoreText();
  auto d = Open();
  Edit(d.get(), c.id)->setText(QString::fromUtf8(c.text));
  Edit(d.get(), IDC_PS_TEST5)->setText("not checked: an earlier field fails first");
  Ok(d.get());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, c.message);
  EXPECT_EQ(ui.messages[0].caption, ApplicationName());
  EXPECT_EQ(ui.messages[0].icon, MbIcon::Exclamation);
  EXPECT_EQ(ui.messages[0].buttons, MbButtons::Ok);
  // A greyed field cannot take the focus (only a program can have put a value there).
  if (Edit(d.get(), c.id)->isEnabled()) {
    EXPECT_EQ(d->focusWidget(), Edit(d.get(), c.id));
  }
  EXPECT_TRUE(d->isVisible());
  EXPECT_NE(d->result(), QDialog::Accepted);
  EXPECT_EQ(StoreText(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SettingsDialogRejects,
    ::testing::Values(
        RejectCase{"RingCountOutOfRange", IDC_PS_RING_NUMBER, "12",
                   "Please enter an integer between 0 and 9."},
        RejectCase{"SubVersionNegative", IDC_PS_SUBVERSION, "-1",
                   "Please enter an integer between 0 and 99."},
        RejectCase{"PortTooLarge", IDC_PS_RTP_PORT, "65536", "Please enter an integer between 0 and 65535."},
        RejectCase{"RetryNotANumber", IDC_PS_NETWORK_RETRY, "1 5", "Please enter an integer."},
        RejectCase{"FramesEmpty", IDC_PS_FRAMES, "", "Please enter an integer."},
        RejectCase{"DialTimeTooLong", IDC_PS_TIMEOUT1, "61", "Please enter an integer between 0 and 60."},
        RejectCase{"TestValueNotANumber", IDC_PS_TEST0, "x", "Please enter an integer."},
        RejectCase{"TestValuePast32Bits", IDC_PS_TEST0, "4294967296", "Please enter an integer."},
        RejectCase{"SerialNotANumber", IDC_PS_SERIAL, "abc", "Please enter a positive integer."},
        RejectCase{"SerialNegative", IDC_PS_SERIAL, "-1", "Please enter a positive integer."},
        RejectCase{"SerialTooLarge", IDC_PS_SERIAL, "65536", "Please enter an integer between 0 and 65535."}),
    [](const auto& info) { return std::string(info.param.name); });

// OK with a store that cannot be written: the message names the store file and the reason, and the dialog
// stays open with what the user set, so nothing is lost and OK can be pressed again once the store is
// mended.
TEST_F(SettingsDialogTest, OkWithAStoreThatCannotBeWrittenSaysSoAndKeepsTheDialogOpen) {
  test::TempDir storeDir;
  SettingsStore::SetLocation(storeDir.Path());
  const std::string file = store.FilePath();
  std::filesystem::create_directories(file);  // a folder where the file should be
  auto d = Open();
  Edit(d.get(), IDC_PS_SERIAL)->setText("4660");
  gui::Control<QSlider>(d.get(), IDC_PS_SPK_VOL)->setValue(31);
  Ok(d.get());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Can not write the settings store\n" + file + ": Is a directory");
  EXPECT_EQ(ui.messages[0].icon, MbIcon::Exclamation);
  EXPECT_TRUE(d->isVisible());
  EXPECT_NE(d->result(), QDialog::Accepted);
  EXPECT_EQ(Text(d.get(), IDC_PS_SERIAL), "4660");
  EXPECT_EQ(gui::Control<QSlider>(d.get(), IDC_PS_SPK_VOL)->value(), 31);
  EXPECT_FALSE(store.Contains(kSection, "Mac_L"));  // nothing half-stored for the next build to send

  std::filesystem::remove(file);
  Ok(d.get());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(store.GetInt(kSection, "Mac_L", 0), 4660);
  EXPECT_EQ(store.GetInt(kSection, "SpkVol", 0), 31);
  test::UsePrivateStore();
}

// What the user types in a text field is limited in the phone's bytes (code page 936, two for a Chinese
// character), is stored in them, and reaches the phone's image as them, never cut inside a character.
TEST_F(SettingsDialogTest, ChineseTypedInATextFieldReachesThePhoneInCodePage936) {
  auto d = Open();
  gui::Control<QCheckBox>(d.get(), IDC_PS_PPPOE)->click();  // enables the PPPoE account
  QLineEdit* account = Edit(d.get(), IDC_PS_PPPOE_ID);
  ASSERT_TRUE(account->isEnabled());
  // 23 bytes fit: "a" and eleven characters; the twelfth, and anything after it, is refused.
  Type(account, QString::fromUtf8("a话机设置话机设置话机设置"));
  Type(account, "b");
  Type(account, QString::fromUtf8("😀"));  // no code page 936 bytes at all
  EXPECT_EQ(account->text(), QString::fromUtf8("a话机设置话机设置话机设"));
  Type(Edit(d.get(), IDC_PS_PPPOE_PIN), QString::fromUtf8("密码12"));

  QApplication::processEvents();
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  EXPECT_TRUE(d->grab().save(QUILL_TEST_BINARY_DIR "/screenshots/settings_dialog_chinese.png"));

  Ok(d.get());
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(ui.messages.empty());
  const std::string settings = "\xbb\xb0\xbb\xfa\xc9\xe8\xd6\xc3";  // 话机设置
  const std::string typed = "a" + settings + settings + settings.substr(0, 6);
  EXPECT_EQ(store.GetString(kSection, "PPPoEID", ""), typed);
  EXPECT_EQ(store.GetString(kSection, "PPPoEPin", ""),
            "\xc3\xdc\xc2\xeb"
            "12");

  SettingsImage image;
  ResetBaseSettingsImage();
  BuildSettingsImage(image);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[176]), 24), typed + '\0');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[200]), 7), std::string("\xc3\xdc\xc2\xeb"
                                                                                    "12\0",
                                                                                    7));
}

TEST_F(SettingsDialogTest, CancelWritesNothing) {
  ASSERT_TRUE(store.WriteInt(kSection, "Mac_L", 7));
  const std::string before = StoreText();
  auto d = Open();
  Edit(d.get(), IDC_PS_SERIAL)->setText("999");
  gui::Control<QCheckBox>(d.get(), IDC_PS_DHCP)->click();
  gui::Control<QPushButton>(d.get(), IDC_PS_CANCEL)->click();
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(StoreText(), before);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SettingsDialogTest, RunningTheDialogModallyReportsOkAndCancel) {
  for (bool ok : {true, false}) {
    // Should the click miss the dialog, this ends it so the test fails instead of hanging.
    QTimer::singleShot(10000, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CPhoneSettingsDlg*>(w)) d->done(QDialog::Rejected + 5);
    });
    QTimer::singleShot(0, [ok] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CPhoneSettingsDlg*>(w); d && d->isVisible())
          gui::Control<QPushButton>(d, ok ? IDC_PS_OK : IDC_PS_CANCEL)->click();
    });
    EXPECT_EQ(RunPhoneSettingsDialog(nullptr, ui), ok);
  }
  EXPECT_EQ(store.GetString(kSection, "H323ID", "?"), "@0");
}

}  // namespace
}  // namespace quill
