#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "link/maintenance_link.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "resources/string_table.h"
#include "sim/serial_loader.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

// Records what would be started; starts nothing.
class FakeLauncher : public Launcher {
 public:
  bool Start(const std::string& program, const std::vector<std::string>& args) override {
    started.push_back({program, args});
    return true;
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    SetThreadLocale(kLocaleEnglishUS);
  }
  std::unique_ptr<MainWindow> Open(bool full = false) {
    auto w = std::make_unique<MainWindow>(ui_, launcher_, MainWindowOptions{full});
    w->show();
    return w;
  }
  template <class T>
  static T* C(MainWindow& w, int id) {
    return gui::Control<T>(&w, id);
  }
  static void Save(MainWindow& w, const char* name) {
    QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
    w.grab().save(QString(QUILL_TEST_BINARY_DIR "/screenshots/") + name);
  }

  ScopedProcessEvents events_;
  test::FakeUi ui_;
  FakeLauncher launcher_;
};

struct Placement {
  int id;
  const char* text;
  int x, y, w, h;
};

constexpr Placement kVisible[] = {
    {IDC_IP_ADDRESS, nullptr, 5, 27, 90, 15},
    {IDC_TEST, "Test", 115, 16, 70, 39},
    {IDC_UPDATE_PROGRAM, "     Step1\n Update Program", 14, 88, 70, 43},
    {IDC_UPDATE_BOOT, "   Step2\nUpdate Boot", 113, 88, 70, 43},
    {IDC_RESTORE_FACTORY, "     Step3\nRestore Factory", 212, 88, 70, 43},
    {IDC_EXIT, "Exit", 311, 88, 70, 43},
};

constexpr int kHiddenIds[] = {IDC_PHONE_SETTINGS, IDC_LOAD_SDRAM, IDC_SAVE_SDRAM, IDC_SDRAM_LENGTH, IDC_DEBUG,
                              IDC_FILE_TOOLS,     IDC_CODEC_LIST, IDC_UDP_AUDIO,  IDC_LINK_SERIAL,  IDC_LINK_TCPIP,
                              IDC_COMPILER,       IDC_COM1,       IDC_COM2,       IDC_CDR,          IDC_UPDATE_DIGIT_MAP,
                              IDC_UPDATE_HOLD,    IDC_UPDATE_ALTERNATE, IDC_GENERATE_HTTP, IDC_STEP4, IDC_LABEL_1236};

TEST_F(MainWindowTest, ThePlainLookIsTheDesignAndTheFullLookShowsEveryControl) {
  auto w = Open();
  EXPECT_EQ(w->windowTitle(), "Updating Tool");
  EXPECT_EQ(w->size(), QSize(gui::DuToPxX(396), gui::DuToPxY(138)));
  for (const auto& p : kVisible) {
    QWidget* c = gui::FindControl(w.get(), p.id);
    ASSERT_NE(c, nullptr) << p.id;
    EXPECT_EQ(c->geometry(), gui::DuRect(p.x, p.y, p.w, p.h)) << p.id;
    EXPECT_TRUE(c->isVisible()) << p.id;
    if (p.text) {
      EXPECT_EQ(qobject_cast<QPushButton*>(c)->text().toStdString(), p.text);
    }
  }
  for (int id : kHiddenIds) {
    ASSERT_NE(gui::FindControl(w.get(), id), nullptr) << id;
    EXPECT_FALSE(gui::FindControl(w.get(), id)->isVisible()) << id;
  }
  for (int id : kPageRadioIds) EXPECT_FALSE(gui::FindControl(w.get(), id)->isVisible());
  EXPECT_FALSE(C<QPushButton>(*w, IDC_LOAD_SDRAM)->isEnabled());  // disabled by the template
  Save(*w, "main_window.png");

  w->SetFullLook(true);
  EXPECT_GT(w->height(), gui::DuToPxY(300));
  for (int id : kHiddenIds) EXPECT_TRUE(gui::FindControl(w.get(), id)->isVisible()) << id;
  EXPECT_TRUE(C<QPushButton>(*w, IDC_LOAD_SDRAM)->isEnabled());
  EXPECT_TRUE(C<QPushButton>(*w, IDC_STEP4)->isEnabled());
  // The enabling rules still hold: TCP/IP selected, so the COM radios are greyed.
  EXPECT_FALSE(C<QRadioButton>(*w, IDC_COM1)->isEnabled());
  Save(*w, "main_window_full.png");
  w->SetFullLook(false);
  EXPECT_EQ(w->size(), QSize(gui::DuToPxX(396), gui::DuToPxY(138)));
  EXPECT_FALSE(C<QPushButton>(*w, IDC_LOAD_SDRAM)->isEnabled());
}

TEST_F(MainWindowTest, OpeningWithAnEmptyStoreShowsTheDefaults) {
  auto w = Open(true);
  EXPECT_TRUE(C<QRadioButton>(*w, kPageRadioIds[0])->isChecked());
  EXPECT_TRUE(C<QRadioButton>(*w, kChipRadioIds[4])->isChecked());
  EXPECT_TRUE(C<QRadioButton>(*w, IDC_COM1)->isChecked());
  EXPECT_TRUE(C<QRadioButton>(*w, IDC_LINK_TCPIP)->isChecked());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_REALTIME)->isChecked());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_REALTIME_OUT)->isChecked());
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_SAVE_FILE)->isChecked());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_NO_ACM)->isChecked());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_USE_VAD)->isChecked());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_USE_HIGH_RATE)->isChecked());
  auto* codec = C<QComboBox>(*w, IDC_CODEC_LIST);
  ASSERT_EQ(codec->count(), 7);
  EXPECT_EQ(codec->currentText(), "8k pass through");
  EXPECT_EQ(codec->itemText(6), "ITU-T G.723.1");
  EXPECT_EQ(C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->text(), "0");
  EXPECT_EQ(w->IpField()->Address(), 0xC0A80164u);
  EXPECT_EQ(w->WorkingDirectory(), QDir::currentPath().toStdString());
}

TEST_F(MainWindowTest, StoredPageChipAndAddressAreNotReadBackButAStoredCodecSetsTheLength) {
  SettingsStore::Profile().WriteInt("PFlash", "Page", 7);
  SettingsStore::Profile().WriteInt("PFlash", "Type", 1);
  SettingsStore::Profile().WriteInt("Peer", "IPAddress", 0x0A000005);
  SettingsStore::Profile().WriteInt("Audio", "CodecType", 5);
  SettingsStore::Profile().WriteInt("Sdram", "SaveLength", 1234);
  auto w = Open(true);
  EXPECT_TRUE(C<QRadioButton>(*w, kPageRadioIds[0])->isChecked());
  EXPECT_TRUE(C<QRadioButton>(*w, kChipRadioIds[4])->isChecked());
  EXPECT_EQ(w->IpField()->Address(), 0xC0A80164u);
  EXPECT_EQ(C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->text(), "519092");
}

TEST_F(MainWindowTest, TheCodecDecidesVadHighRateAndTheSdramLength) {
  auto w = Open(true);
  auto* codec = C<QComboBox>(*w, IDC_CODEC_LIST);
  codec->setCurrentIndex(6);  // ITU-T G.723.1
  EXPECT_EQ(C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->text(), "558816");
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_USE_VAD)->isEnabled());
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_USE_HIGH_RATE)->isEnabled());
  codec->setCurrentIndex(5);  // G.729: VAD only
  EXPECT_TRUE(C<QCheckBox>(*w, IDC_USE_VAD)->isEnabled());
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_USE_HIGH_RATE)->isEnabled());
  EXPECT_EQ(C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->text(), "519092");
  codec->setCurrentIndex(4);  // GSM 6.10
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_USE_VAD)->isEnabled());
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_USE_HIGH_RATE)->isEnabled());
  EXPECT_EQ(C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->text(), "519092");
  codec->setCurrentIndex(6);
  QTest::mouseClick(C<QCheckBox>(*w, IDC_NO_ACM), Qt::LeftButton);  // the platform's codecs: no VAD choice
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_USE_VAD)->isEnabled());
  EXPECT_FALSE(C<QCheckBox>(*w, IDC_USE_HIGH_RATE)->isEnabled());
}

TEST_F(MainWindowTest, TheComRadiosAreEnabledOnlyForTheSerialLink) {
  auto w = Open(true);
  QTest::mouseClick(C<QRadioButton>(*w, IDC_LINK_SERIAL), Qt::LeftButton);
  EXPECT_TRUE(C<QRadioButton>(*w, IDC_COM1)->isEnabled());
  EXPECT_TRUE(C<QRadioButton>(*w, IDC_COM2)->isEnabled());
  QTest::mouseClick(C<QRadioButton>(*w, IDC_LINK_TCPIP), Qt::LeftButton);
  EXPECT_FALSE(C<QRadioButton>(*w, IDC_COM1)->isEnabled());
}

TEST_F(MainWindowTest, SaveToolOptionsChecksTheSdramLengthAndStoresTheFieldsAddress) {
  auto w = Open(true);
  C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->setText("640001");
  EXPECT_FALSE(w->SaveToolOptions());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Please enter an integer between 0 and 640000.");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Exclamation);
  EXPECT_FALSE(SettingsStore::Profile().Contains("Sdram", "SaveLength"));
  C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->setText("640000");
  w->IpField()->SetAddress(0x0A000005);
  C<QRadioButton>(*w, IDC_COM2)->setChecked(true);  // greyed under TCP/IP, but still a value
  EXPECT_TRUE(w->SaveToolOptions());
  EXPECT_EQ(SettingsStore::Profile().GetInt("Sdram", "SaveLength", 0), 640000);
  EXPECT_EQ(static_cast<uint32_t>(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0)), 0x0A000005u);
  EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "Port", ""), "COM2");
  EXPECT_EQ(w->PortName(), "COM2");
}

TEST_F(MainWindowTest, TheCdrButtonTogglesItsCaptionAndDoesNotSaveTheOptions) {
  auto w = Open(true);
  auto* cdr = C<QPushButton>(*w, IDC_CDR);
  EXPECT_EQ(cdr->text(), "开始CDR");
  QTest::mouseClick(cdr, Qt::LeftButton);
  EXPECT_EQ(cdr->text(), "Stop CDR");
  EXPECT_TRUE(w->CdrRunning());
  QTest::mouseClick(cdr, Qt::LeftButton);
  EXPECT_EQ(cdr->text(), "Start CDR");
  EXPECT_FALSE(w->CdrRunning());
  EXPECT_FALSE(SettingsStore::Profile().Contains("Comm", "Type"));
}

TEST_F(MainWindowTest, WebAndTelnetSetUpUseTheAddressShownNotTheStoredOne) {
  SettingsStore::Profile().WriteInt("Peer", "IPAddress", 0x7F000009);
  auto w = Open(true);
  w->IpField()->SetAddress(0x0A010203);  // 10.1.2.3: only ever handed to the fake launcher
  w->RunCommand(IDM_WEB_SETUP);
  w->RunCommand(IDM_TELNET_SETUP);
  ASSERT_EQ(launcher_.started.size(), 2u);
  EXPECT_EQ(launcher_.started[0].first, "xdg-open");
  EXPECT_EQ(launcher_.started[0].second, std::vector<std::string>{"http://10.1.2.3/"});
  EXPECT_EQ(launcher_.started[1].second, (std::vector<std::string>{"-e", "telnet", "10.1.2.3"}));
}

TEST_F(MainWindowTest, TheStep4MenuOpensAtTheButtonsCornerLessThirty) {
  auto w = Open(true);
  QPoint shownAt;
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      shownAt = menu->pos();
      EXPECT_EQ(menu->actions().size(), 2);
      EXPECT_EQ(menu->actions()[0]->text(), "通过网页设置");
      EXPECT_EQ(menu->actions()[1]->text(), "通过telnet设置");
      menu->close();
    }
  });
  QTest::mouseClick(C<QPushButton>(*w, IDC_STEP4), Qt::LeftButton);
  QPushButton* b = C<QPushButton>(*w, IDC_STEP4);
  EXPECT_EQ(shownAt, b->mapToGlobal(QPoint(b->width(), b->height())) - QPoint(30, 30));
  EXPECT_TRUE(launcher_.started.empty());
}

TEST_F(MainWindowTest, TheCompilerRunGoesThroughTheDriveMap) {
  SettingsStore::Profile().WriteString("Paths", "DriveC", "/srv/c");
  auto w = Open(true);
  w->RunCommand(IDC_COMPILER);
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].first, "/srv/c/FSI/BIN/C51.EXE");
  EXPECT_EQ(launcher_.started[0].second,
            (std::vector<std::string>{"/srv/c/ZEDIZA323/G729/MAIN.C", "OBJECT(/srv/c/ZEDIZA323/G729/MAIN.OBJ)",
                                      "PIN(/srv/c/FSI/INC;/srv/c/ZEDIZA323/INC)"}));
}

TEST_F(MainWindowTest, UdpAudioWithoutSaveFileShowsNoDialogAndLocksCodecAndAddress) {
  auto w = Open(true);
  auto* button = C<QPushButton>(*w, IDC_UDP_AUDIO);
  EXPECT_EQ(button->text(), "开始音频Udp");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(ui_.fileDialogs.empty());
  EXPECT_EQ(button->text(), "Stop Udp Audio");
  EXPECT_FALSE(C<QComboBox>(*w, IDC_CODEC_LIST)->isEnabled());
  EXPECT_FALSE(w->IpField()->isEnabled());
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), "Start Udp Audio");
  EXPECT_TRUE(C<QComboBox>(*w, IDC_CODEC_LIST)->isEnabled());
  EXPECT_TRUE(w->IpField()->isEnabled());
}

TEST_F(MainWindowTest, ACancelledUdpAudioFileDialogStartsNothingButTheOptionsAreStored) {
  auto w = Open(true);
  QTest::mouseClick(C<QCheckBox>(*w, IDC_SAVE_FILE), Qt::LeftButton);
  QTest::mouseClick(C<QPushButton>(*w, IDC_UDP_AUDIO), Qt::LeftButton);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "udpaudio.dat");
  EXPECT_EQ(ui_.fileDialogs[0].defaultExt, "*.dat");
  EXPECT_EQ(C<QPushButton>(*w, IDC_UDP_AUDIO)->text(), "开始音频Udp");
  EXPECT_FALSE(w->UdpAudioRunning());
  EXPECT_EQ(SettingsStore::Profile().GetInt("UdpAudio", "SaveFile", 0), 1);
}

class SerialDebugTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(phone_.Start()) << phone_.Error();
    SettingsStore::Profile().WriteString("Rs232", "COM1Device", phone_.SlavePath());
    SettingsStore::Profile().WriteInt("Comm", "Type", 0);
  }
  void TearDown() override { phone_.Stop(); }
  sim::SerialLoader phone_;
};

TEST_F(SerialDebugTest, TheDebugToggleOpensThePortAndTheOutputWindowAndClosesBoth) {
  auto w = Open(true);
  auto* debug = C<QPushButton>(*w, IDC_DEBUG);
  QTest::mouseClick(debug, Qt::LeftButton);
  EXPECT_TRUE(w->Link().SerialLinkHeld());
  EXPECT_EQ(debug->text(), "Stop Debug");
  for (int id : {IDC_UPDATE_BOOT, IDC_LOAD_SDRAM, IDC_SAVE_SDRAM, IDC_LINK_SERIAL, IDC_LINK_TCPIP, IDC_UDP_AUDIO,
                 IDC_PHONE_SETTINGS})
    EXPECT_FALSE(gui::FindControl(w.get(), id)->isEnabled()) << id;
  auto view = ui_.WaitForView(0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Spec().caption, "Rs232 Output");
  phone_.SendText("hello from the phone\r\n");
  EXPECT_TRUE(view->WaitForText("hello from the phone"));
  QTest::mouseClick(debug, Qt::LeftButton);
  EXPECT_FALSE(w->Link().SerialLinkHeld());
  EXPECT_EQ(debug->text(), "Start Debug");
  EXPECT_TRUE(C<QPushButton>(*w, IDC_UPDATE_BOOT)->isEnabled());
  EXPECT_TRUE(phone_.WaitForLineCloses(1, std::chrono::seconds(2)));
}

TEST_F(SerialDebugTest, ClosingTheWindowDuringSerialDebugStopsTheLinkFirst) {
  auto w = Open(true);
  QTest::mouseClick(C<QPushButton>(*w, IDC_DEBUG), Qt::LeftButton);
  ASSERT_TRUE(w->Link().SerialLinkHeld());
  C<QRadioButton>(*w, IDC_COM1)->setChecked(true);
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->Link().SerialLinkHeld());
  EXPECT_TRUE(phone_.WaitForLineCloses(1, std::chrono::seconds(2)));
  EXPECT_EQ(SettingsStore::Profile().GetInt("Comm", "Type", 1), 0);  // saved once on the way out
}

TEST(IpAddressEdit, HoldsTheAddressFirstOctetMostSignificant) {
  gui::IpAddressEdit edit;
  edit.SetAddress(0x0A010203);
  EXPECT_EQ(edit.Octets(), (std::array<int, 4>{10, 1, 2, 3}));
  edit.Field(3)->setText("255");
  EXPECT_EQ(edit.Address(), 0x0A0102FFu);
  for (int i = 0; i < 4; ++i) edit.Field(i)->clear();
  EXPECT_TRUE(edit.IsBlank());
  EXPECT_EQ(edit.Address(), 0u);
}

}  // namespace
}  // namespace quill
