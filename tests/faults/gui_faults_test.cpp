// The main paths of the fault tests driven through the main window, with the GUI's own progress window over
// it: while a transfer runs the window is disabled, and whatever way the transfer ends, the window is
// enabled again, the user has been told, and the next command runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/main_window.h"
#include "app/progress_window.h"
#include "link/maintenance_link.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "resources/string_table.h"
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

using Texts = std::vector<std::string>;
using test::kCantUpdate;
using test::kTcpFailed;
using test::kUpdating;

class NoLauncher : public Launcher {
 public:
  bool Start(const std::string&, const std::vector<std::string>&) override { return false; }
};

// The scripted Ui, except that each progress window is also the GUI's own over the main window; every step
// notes whether the main window was disabled at that moment.
class WindowUi : public test::FakeUi {
 public:
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    return std::make_unique<Both>(FakeUi::OpenProgress(), CreateProgressWindow(owner), *this);
  }
  QWidget* owner = nullptr;
  int steps = 0;
  int stepsWithOwnerEnabled = 0;

 private:
  class Both : public ProgressWindow {
   public:
    Both(std::unique_ptr<ProgressWindow> record, std::unique_ptr<ProgressWindow> real, WindowUi& ui)
        : record_(std::move(record)), real_(std::move(real)), ui_(ui) {}
    void SetText(std::string_view text) override {
      record_->SetText(text);
      real_->SetText(text);
    }
    void SetRange(int lower, int upper) override {
      record_->SetRange(lower, upper);
      real_->SetRange(lower, upper);
    }
    void SetStep(int step) override {
      record_->SetStep(step);
      real_->SetStep(step);
    }
    void Step() override {
      ++ui_.steps;
      if (ui_.owner && ui_.owner->isEnabled()) ++ui_.stepsWithOwnerEnabled;
      record_->Step();
      real_->Step();
    }
    void Close() override {
      record_->Close();
      real_->Close();
    }

   private:
    std::unique_ptr<ProgressWindow> record_;
    std::unique_ptr<ProgressWindow> real_;
    WindowUi& ui_;
  };
};

class GuiFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
    SetThreadLocale(kLocaleEnglishUS);
    window_ = std::make_unique<MainWindow>(ui_, launcher_, MainWindowOptions{true});
    ui_.owner = window_.get();
    window_->SetWorkingDirectory(dir_.Path());
    window_->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    window_.reset();
    if (tcp_) tcp_->Stop();
    if (serial_) serial_->Stop();
  }

  template <class T>
  T* Control(int id) {
    return gui::Control<T>(window_.get(), id);
  }
  void UseTcp(const std::string& address) {
    QTest::mouseClick(Control<QRadioButton>(IDC_LINK_TCPIP), Qt::LeftButton);
    window_->IpField()->SetAddress(test::FieldAddress(address));
  }
  void StartTcpPhone(const std::string& address, const sim::TcpFaults& faults) {
    tcp_.reset();
    sim::TcpLoader::Config config;
    config.address = address;
    config.eraseMs = 60000;
    config.splitGapMs = 5;
    tcp_ = std::make_unique<sim::TcpLoader>(config);
    tcp_->SetFaults(faults);
    tcp_->SetSettingsImage(std::vector<uint8_t>(kSettingsImageSize, 0x22));
    ASSERT_TRUE(tcp_->Start()) << tcp_->Error();
  }
  void UseSerial(const std::string& device) {
    QTest::mouseClick(Control<QRadioButton>(IDC_LINK_SERIAL), Qt::LeftButton);
    Control<QRadioButton>(IDC_COM1)->setChecked(true);
    EXPECT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", device));
  }
  std::string File(const std::string& name, size_t length) {
    test::WriteFile(dir_.File(name), std::string(length, 'q'));
    return dir_.File(name);
  }

  // Clicks the button and checks how the command ended: its messages, the window enabled again (and
  // disabled while the progress window was up), no link held and nothing hung.
  void Click(int id, const Texts& expected, const char* what) {
    SCOPED_TRACE(what);
    ui_.messages.clear();
    ui_.steps = ui_.stepsWithOwnerEnabled = 0;
    {
      test::Watchdog dog(what);
      QTest::mouseClick(Control<QPushButton>(id), Qt::LeftButton);
    }
    EXPECT_EQ(ui_.Texts(), expected);
    EXPECT_TRUE(window_->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(id)->isEnabled());
    EXPECT_EQ(ui_.stepsWithOwnerEnabled, 0) << "of " << ui_.steps << " steps";
    EXPECT_FALSE(window_->Link().TcpLinkHeld());
    EXPECT_EQ(ui_.waitCursorDepth, 0);
  }

  ScopedProcessEvents events_;
  test::ScaledTiming timing_{0.001, 0.04, {1000, std::chrono::milliseconds(250)}};
  test::TempDir dir_;
  WindowUi ui_;
  NoLauncher launcher_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<sim::TcpLoader> tcp_;
  std::unique_ptr<sim::SerialLoader> serial_;
};

TEST_F(GuiFaultsTest, Step1AfterAResetConnectionAndAfterNoPhoneThenWithAPhoneAnsweringLate) {
  test::Census census;
  UseTcp(loopback::kGuiFaultStep1.dotted);
  sim::TcpFaults reset;
  reset.dropAfterUnits = 2;
  reset.dropWithReset = true;
  StartTcpPhone(loopback::kGuiFaultStep1.dotted, reset);
  ui_.AnswerFile(File("fw.bin", 1000));
  Click(IDC_UPDATE_PROGRAM, {kTcpFailed}, "program update, connection reset at the third block");
  EXPECT_GT(ui_.steps, 0);

  tcp_->Stop();
  ui_.AnswerFile(File("fw.bin", 1000));
  Click(IDC_UPDATE_PROGRAM, {kCantUpdate}, "program update, nothing listening");

  sim::TcpFaults late;
  late.lateMs = 6000;
  StartTcpPhone(loopback::kGuiFaultStep1.dotted, late);
  ui_.AnswerFile(File("fw.bin", 1000));
  Click(IDC_UPDATE_PROGRAM, {kUpdating}, "program update, every answer 0.6 of the wait late");
  EXPECT_TRUE(tcp_->Stored(0x81).has_value());
  tcp_.reset();
  EXPECT_TRUE(census.Back()) << census.Describe();
}

TEST_F(GuiFaultsTest, SettingsPushReadInPiecesThenASilentPhone) {
  test::Census census;
  UseTcp(loopback::kGuiFaultPush.dotted);
  sim::TcpFaults pieces;
  pieces.splitPiece = 7;
  StartTcpPhone(loopback::kGuiFaultPush.dotted, pieces);
  ui_.Answer(MbResult::Yes);
  Click(IDC_PHONE_SETTINGS, {"Update settings to phone now?", "New settings updated"},
        "settings push, read answers in pieces of 7");
  EXPECT_TRUE(tcp_->Stored(0x80).has_value());

  sim::TcpFaults silent;
  silent.silent = true;
  StartTcpPhone(loopback::kGuiFaultPush.dotted, silent);
  Click(IDC_PHONE_SETTINGS, {kTcpFailed}, "settings push, silent phone");
  EXPECT_EQ(ui_.settingsDialogRuns, 1);
  tcp_.reset();
  EXPECT_TRUE(census.Back()) << census.Describe();
}

TEST_F(GuiFaultsTest, SdramOverTcpClosedPartWayAndWithAWrongAnswer) {
  test::Census census;
  UseTcp(loopback::kGuiFaultSdram.dotted);
  Control<QLineEdit>(IDC_SDRAM_LENGTH)->setText("1000");
  sim::TcpFaults closed;
  closed.dropAfterUnits = 3;
  StartTcpPhone(loopback::kGuiFaultSdram.dotted, closed);
  ui_.AnswerFile(dir_.File("export.dat"));
  Click(IDC_SAVE_SDRAM, {kTcpFailed}, "SDRAM export, connection closed at the fourth request");
  EXPECT_FALSE(test::FileExists(dir_.File("export.dat")));

  sim::TcpFaults wrong;
  wrong.wrongAck = 0xFE;
  StartTcpPhone(loopback::kGuiFaultSdram.dotted, wrong);
  ui_.AnswerFile(File("load.dat", 1000));
  Click(IDC_LOAD_SDRAM, {kTcpFailed}, "SDRAM load, 0xFE for 0xFF");
  tcp_.reset();
  EXPECT_TRUE(census.Back()) << census.Describe();
}

TEST_F(GuiFaultsTest, Step2OverSerialWithTheLineClosedAndAnExportThatStops) {
  test::ScaledTiming serialTiming{0.001, 0.4};
  test::Census census;
  test::WriteFile(dir_.File("Page0.hex"), test::IntelHex({{0x0000, std::vector<uint8_t>(64, 0x5A)}}));
  {
    test::SerialPhone::Options options;
    options.closeAfterChunks = 3;
    test::SerialPhone phone(options);
    UseSerial(phone.SlavePath());
    Click(IDC_UPDATE_BOOT, {"Write operation failed"}, "flash page, line closed after 3 chunks");
    EXPECT_TRUE(phone.LineClosed());
    EXPECT_FALSE(window_->Link().SerialLinkHeld());
  }
  {
    test::SerialPhone::Options options;
    options.silentAfterChunks = 2;
    test::SerialPhone phone(options);
    UseSerial(phone.SlavePath());
    Control<QLineEdit>(IDC_SDRAM_LENGTH)->setText("64");
    ui_.AnswerFile(dir_.File("export.dat"));
    Click(IDC_SAVE_SDRAM, {"Read operation failed"}, "SDRAM export, silent after 2 requests");
    EXPECT_FALSE(window_->Link().SerialLinkHeld());
    EXPECT_FALSE(test::FileExists(dir_.File("export.dat")));
  }
  EXPECT_TRUE(census.Back()) << census.Describe();
}

}  // namespace
}  // namespace quill
