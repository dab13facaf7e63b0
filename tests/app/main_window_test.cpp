#include "app/main_window.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

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
#include <csignal>
#include <cstring>
#include <filesystem>

#include "filetools/audio_tools.h"
#include "link/maintenance_link.h"
#include "platform/icmp_echo.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "resources/string_table.h"
#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;

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

constexpr int kHiddenIds[] = {IDC_PHONE_SETTINGS,
                              IDC_LOAD_SDRAM,
                              IDC_SAVE_SDRAM,
                              IDC_SDRAM_LENGTH,
                              IDC_DEBUG,
                              IDC_FILE_TOOLS,
                              IDC_CODEC_LIST,
                              IDC_UDP_AUDIO,
                              IDC_LINK_SERIAL,
                              IDC_LINK_TCPIP,
                              IDC_COMPILER,
                              IDC_COM1,
                              IDC_COM2,
                              IDC_CDR,
                              IDC_UPDATE_DIGIT_MAP,
                              IDC_UPDATE_HOLD,
                              IDC_UPDATE_ALTERNATE,
                              IDC_GENERATE_HTTP,
                              IDC_STEP4,
                              IDC_LABEL_1236};

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
  EXPECT_EQ(C<QRadioButton>(*w, IDC_COM1)->toolTip(), "/dev/ttyS0");  // the device each port opens
  EXPECT_EQ(C<QRadioButton>(*w, IDC_COM2)->toolTip(), "/dev/ttyS1");
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
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("PFlash", "Page", 7));
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("PFlash", "Type", 1));
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress", 0x0A000005));
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Audio", "CodecType", 5));
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Sdram", "SaveLength", 1234));
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

TEST_F(MainWindowTest, ABadSdramLengthIsSaidAndLeftOutWhileEveryOtherOptionIsStored) {
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Sdram", "SaveLength", 1234));
  auto w = Open(true);
  w->IpField()->SetAddress(0x0A000005);             // only ever stored, never reached
  C<QRadioButton>(*w, IDC_COM2)->setChecked(true);  // greyed under TCP/IP, but still a value
  struct Row {
    const char* length;
    const char* message;
  };
  for (const Row& row : {Row{"640001", "Please enter an integer between 0 and 640000."},
                         Row{"-1", "Please enter an integer between 0 and 640000."},
                         Row{"12ab", "Please enter an integer."}}) {
    SCOPED_TRACE(row.length);
    ui_.messages.clear();
    EXPECT_TRUE(SettingsStore::Profile().Clear());
    C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->setText(row.length);
    const CommandValues v = w->SaveToolOptions();
    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{row.message});
    EXPECT_EQ(ui_.messages[0].icon, MbIcon::Exclamation);
    EXPECT_FALSE(v.sdramLength.has_value());
    EXPECT_TRUE(v.stored);
    EXPECT_EQ(v.phone, 0x0A000005u);
    EXPECT_EQ(v.portName, "COM2");
    EXPECT_FALSE(SettingsStore::Profile().Contains("Sdram", "SaveLength"));
    EXPECT_EQ(static_cast<uint32_t>(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0)), 0x0A000005u);
    EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "Port", ""), "COM2");
    EXPECT_EQ(SettingsStore::Profile().GetInt("PFlash", "Type", -1), 4);
  }
  ui_.messages.clear();
  C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->setText("640000");
  const CommandValues v = w->SaveToolOptions();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(v.sdramLength, std::optional<size_t>(640000));
  EXPECT_EQ(SettingsStore::Profile().GetInt("Sdram", "SaveLength", 0), 640000);
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndNeverAHiddenCommand) {
  auto w = Open();
  QApplication::setActiveWindow(w.get());
  w->IpField()->SetAddress(loopback::kWindowEnterEcho.value);  // only ever handed to the recording echo
  std::vector<std::string> pinged;
  ScopedIcmpEcho echo([&](const std::string& address) {
    pinged.push_back(address);
    return EchoResult{EchoStatus::NoReply, ""};
  });
  // In the field, Enter would press the template's default button, the hidden "话机设置": nothing runs.
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    w->IpField()->Field(3)->setFocus();
    QTest::keyClick(w->IpField()->Field(3), static_cast<Qt::Key>(key));
  }
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(ui_.fileDialogs.empty());
  EXPECT_EQ(ui_.settingsDialogRuns, 0);
  EXPECT_FALSE(SettingsStore::Profile().Contains("Comm", "Type"));  // no command saved the options
  EXPECT_TRUE(pinged.empty());

  auto* test = C<QPushButton>(*w, IDC_TEST);
  test->setFocus();
  QTest::keyClick(test, Qt::Key_Return);
  EXPECT_EQ(pinged, std::vector<std::string>{loopback::kWindowEnterEcho.dotted});
  auto* step1 = C<QPushButton>(*w, IDC_UPDATE_PROGRAM);
  step1->setFocus();
  QTest::keyClick(step1, Qt::Key_Enter);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);  // Step1's file dialog, cancelled
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.bin");
  EXPECT_EQ(pinged.size(), 1u);
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
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress",
                                                static_cast<int>(loopback::kWindowStoredPeer.value)));
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
  EXPECT_TRUE(SettingsStore::Profile().WriteString("Paths", "DriveC", "/srv/c"));
  auto w = Open(true);
  w->RunCommand(IDC_COMPILER);
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].first, "/srv/c/FSI/BIN/C51.EXE");
  EXPECT_EQ(
      launcher_.started[0].second,
      (std::vector<std::string>{"/srv/c/ZEDIZA323/G729/MAIN.C", "OBJECT(/srv/c/ZEDIZA323/G729/MAIN.OBJ)",
                                "PIN(/srv/c/FSI/INC;/srv/c/ZEDIZA323/INC)"}));
}

// UDP audio runs through the attached audio engine, the one the file tools use too.
class RecordingEngine : public CAudioHooks {
 public:
  int StartUdpAudio(const UdpAudioOptions& options) override {
    started.push_back(options);
    return 1;
  }
  void StopUdpAudio() override { ++stops; }
  std::vector<UdpAudioOptions> started;
  int stops = 0;
};

TEST_F(MainWindowTest, UdpAudioWithoutSaveFileShowsNoDialogAndLocksCodecAndAddress) {
  RecordingEngine engine;
  AttachAudioEngine(&engine);
  auto w = Open(true);
  auto* button = C<QPushButton>(*w, IDC_UDP_AUDIO);
  EXPECT_EQ(button->text(), "开始音频Udp");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(ui_.fileDialogs.empty());
  EXPECT_EQ(button->text(), "Stop Udp Audio");
  EXPECT_FALSE(C<QComboBox>(*w, IDC_CODEC_LIST)->isEnabled());
  EXPECT_FALSE(w->IpField()->isEnabled());
  ASSERT_EQ(engine.started.size(), 1u);
  EXPECT_EQ(engine.started[0].phoneAddress, w->IpField()->Address());
  EXPECT_EQ(engine.started[0].codec, LoadCodecOptions());
  EXPECT_EQ(engine.started[0].saveFile, 0);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), "Start Udp Audio");
  EXPECT_TRUE(C<QComboBox>(*w, IDC_CODEC_LIST)->isEnabled());
  EXPECT_TRUE(w->IpField()->isEnabled());
  EXPECT_EQ(engine.stops, 1);
  AttachAudioEngine(nullptr);
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
    EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", phone_.SlavePath()));
    EXPECT_TRUE(SettingsStore::Profile().WriteInt("Comm", "Type", 0));
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
  for (int id : {IDC_UPDATE_BOOT, IDC_LOAD_SDRAM, IDC_SAVE_SDRAM, IDC_LINK_SERIAL, IDC_LINK_TCPIP,
                 IDC_UDP_AUDIO, IDC_PHONE_SETTINGS})
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

// Every network command talks to the address typed into the field at its click: the simulator listens there,
// while the store's "Peer" names a recorder on another loopback address that must never hear from the tool.
// Run with a good SDRAM length and with one the field refuses: then only the SDRAM export stops.
class AddressShownTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    test::WriteFile(dir_.File("Page0.hex"), ":040000001122334452\n:00000001FF\n");
    test::WriteFile(dir_.File("file.dat"), std::string(300, 'f'));
    test::WriteFile(dir_.File("setting.txt"), "[SETTING2]\n");
  }
  void TearDown() override {
    if (phone_) phone_->Stop();
    if (recorder_) recorder_->Stop();
  }
  // The phone, and a recorder that must never hear from the tool, each on a loopback address of its own.
  void StartPhones(const loopback::Address& phone, const loopback::Address& recorder) {
    sim::TcpLoader::Config config;
    config.address = phone.dotted;
    config.eraseMs = 1500;
    phone_ = std::make_unique<sim::TcpLoader>(config);
    config.address = recorder.dotted;
    recorder_ = std::make_unique<sim::TcpLoader>(config);
    ASSERT_TRUE(phone_->Start()) << phone_->Error();
    ASSERT_TRUE(recorder_->Start()) << recorder_->Error();
  }
  static void Type(gui::IpAddressEdit* field, const char* dotted) {
    QStringList octets = QString(dotted).split('.');
    for (int i = 0; i < 4; ++i) {
      field->Field(i)->clear();
      QTest::keyClicks(field->Field(i), octets[i]);
    }
  }

  void RunEveryNetworkCommand(const loopback::Address& phoneAddress, const loopback::Address& recorderAddress,
                              const char* sdramLength, bool lengthValid) {
    StartPhones(phoneAddress, recorderAddress);
    const std::string phone = phone_->Address();
    const uint32_t phoneValue = phoneAddress.value;
    const uint32_t recorderValue = recorderAddress.value;
    auto w = Open(true);
    w->SetWorkingDirectory(dir_.Path());
    C<QLineEdit>(*w, IDC_SDRAM_LENGTH)->setText(sdramLength);
    Type(w->IpField(), phone.c_str());
    std::vector<std::string> pinged;
    ScopedIcmpEcho echo([&](const std::string& address) {
      pinged.push_back(address);
      return EchoResult{EchoStatus::Success, ""};
    });
    const std::string range = "Please enter an integer between 0 and 640000.";
    const std::string updating = "Updating ... please wait until the update led stop on and off";
    struct Row {
      const char* name;
      int id;
      std::vector<std::string> files;  // the file dialogs' answers
      bool savesOptions;
      std::vector<std::string> messages;  // after the range message, when there is one
      bool connects;
    };
    const std::vector<Row> rows = {
        {"Test", IDC_TEST, {}, false, {"connection succeeds，you may start updating now!"}, false},
        {"Step1", IDC_UPDATE_PROGRAM, {"file.dat"}, true, {updating}, true},
        {"Step2", IDC_UPDATE_BOOT, {}, true, {}, true},
        {"ring", IDC_UPDATE_RING, {"file.dat"}, true, {updating}, true},
        {"digit map", IDC_UPDATE_DIGIT_MAP, {"file.dat"}, true, {updating}, true},
        {"hold", IDC_UPDATE_HOLD, {"file.dat"}, true, {updating}, true},
        {"alternate", IDC_UPDATE_ALTERNATE, {"setting.txt"}, true, {updating}, true},
        {"settings push",
         IDC_PHONE_SETTINGS,
         {},
         true,
         {"Update settings to phone now?", "New settings updated"},
         true},
        {"SDRAM load", IDC_LOAD_SDRAM, {"file.dat"}, true, {}, true},
        {"SDRAM export", IDC_SAVE_SDRAM, {"export.dat"}, true, {}, lengthValid},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      ui_.messages.clear();
      for (const auto& f : row.files) ui_.AnswerFile(dir_.File(f));
      ui_.Answer(MbResult::Yes);
      EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress", static_cast<int>(recorderValue)));
      const int connections = phone_->Connections();
      if (QPushButton* b = C<QPushButton>(*w, row.id))
        QTest::mouseClick(b, Qt::LeftButton);
      else
        w->RunCommand(row.id);  // the ring update has no control
      std::vector<std::string> expected;
      if (row.savesOptions && !lengthValid) expected.push_back(range);
      expected.insert(expected.end(), row.messages.begin(), row.messages.end());
      EXPECT_EQ(ui_.Texts(), expected);
      EXPECT_EQ(phone_->Connections() > connections, row.connects);
      if (row.savesOptions) {
        EXPECT_EQ(static_cast<uint32_t>(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0)), phoneValue);
      }
      // An accepted command closes the phone's listener for a while: the next row waits for it.
      ASSERT_TRUE(phone_->WaitForEraseWindowsEnded(phone_->CommandsAccepted(), 5000ms));
      ui_.answers.clear();
    }
    EXPECT_EQ(pinged, std::vector<std::string>{phone});
    EXPECT_EQ(recorder_->Connections(), 0);
    EXPECT_EQ(test::FileExists(dir_.File("export.dat")), lengthValid);
    EXPECT_EQ(SettingsStore::Profile().Contains("Sdram", "SaveLength"), lengthValid);
  }

  test::ScaledTiming fast_{0.2};
  test::TempDir dir_;
  std::unique_ptr<sim::TcpLoader> phone_;
  std::unique_ptr<sim::TcpLoader> recorder_;
};

TEST_F(AddressShownTest, EveryNetworkCommandTalksToTheAddressTypedNotTheStoredPeer) {
  RunEveryNetworkCommand(loopback::kWindowPhoneA, loopback::kWindowRecorderA, "1000", true);
}

TEST_F(AddressShownTest, WithALengthTheFieldRefusesOnlyTheSdramExportStops) {
  RunEveryNetworkCommand(loopback::kWindowPhoneB, loopback::kWindowRecorderB, "700000", false);
}

// A store that cannot be written (a full disk, here a file-size limit): the user is told which file and
// why; the settings push, which sends what the store holds, stops before any traffic, while the ring
// update goes on to the address typed. The store still names the recorder, so a link that read the store
// would be caught here.
TEST_F(AddressShownTest, AFailedStoreWriteIsSaidAndStopsOnlyWhatSendsTheStoresValues) {
  StartPhones(loopback::kWindowPhoneC, loopback::kWindowRecorderC);
  auto w = Open(true);
  Type(w->IpField(), phone_->Address().c_str());
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress",
                                                static_cast<int>(loopback::kWindowRecorderC.value)));
  const std::string store = SettingsStore::Profile().FilePath();
  const std::string failure = "Can not write the settings store\n" + store + ": " + std::strerror(EFBIG);
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  auto ignored = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the test
  rlimit full = before;
  full.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size(store));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  ui_.Answer(MbResult::Yes);
  QTest::mouseClick(C<QPushButton>(*w, IDC_PHONE_SETTINGS), Qt::LeftButton);
  const std::vector<std::string> push = ui_.Texts();
  ui_.messages.clear();
  ui_.AnswerFile(dir_.File("file.dat"));
  w->RunCommand(IDC_UPDATE_RING);
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, ignored);

  EXPECT_EQ(push, std::vector<std::string>{failure});
  EXPECT_EQ(ui_.Texts(), (std::vector<std::string>{failure,
                                                   "Updating ... please wait until the update led stop "
                                                   "on and off"}));
  EXPECT_TRUE(phone_->Stored(0x82).has_value());
  EXPECT_FALSE(phone_->Stored(0x80).has_value());
  EXPECT_EQ(phone_->Connections(), 1);  // the ring update alone: its probe finds the phone writing
  EXPECT_EQ(recorder_->Connections(), 0);
  EXPECT_EQ(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0),
            static_cast<int>(loopback::kWindowRecorderC.value));
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
