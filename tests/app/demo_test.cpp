// The main window in demo mode, driven as a newcomer would: Step1 and Step2 against the built-in phone,
// which moves to the next loopback address when another one holds its port; and whatever address is typed,
// nothing leaves the machine. The demos here start at addresses of their own, never in demo mode's own
// 127.0.0.0/24, so a demo that is running on this machine cannot meet them.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/demo_phone.h"
#include "app/main_window.h"
#include "link/maintenance_link.h"
#include "platform/icmp_echo.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "sim/loopback_address.h"
#include "sim/tcp_loader.h"
#include "tests/support/census.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;

class RecordingLauncher : public Launcher {
 public:
  bool Start(const std::string& program, const std::vector<std::string>&) override {
    started.push_back(program);
    return false;
  }
  std::vector<std::string> started;
};

// The registry keeps the addresses a demo may move to free of every other test.
static_assert(loopback::kDemoTries == DemoPhone::kAddressTries);

constexpr const char* kFirstAddress = loopback::kDemoTaken.dotted;
constexpr uint32_t kSecondAddressValue = loopback::kDemoTaken.value + 1;
const std::string kSecondAddress = sim::NextLoopbackAddress(kFirstAddress).value();

TEST(DemoMode, TakesTheNextFreeAddressShowsItAndStep1AndStep2ReachIt) {
  ScopedProcessEvents events;
  test::ScaledTiming fast(0.2);
  test::TempDir dir;
  // Another demo (or a test) already holds the loader port on the first address.
  sim::TcpLoader::Config other;
  other.address = kFirstAddress;
  sim::TcpLoader first(other);
  ASSERT_TRUE(first.Start()) << first.Error();
  DemoPhone demo(dir.Path(), kFirstAddress);
  ASSERT_TRUE(demo.Start()) << demo.Error();
  EXPECT_EQ(demo.PhoneAddress(), kSecondAddress);
  EXPECT_TRUE(UseDemoStore(demo));
  test::FakeUi ui;
  RecordingLauncher launcher;
  MainWindow w(ui, launcher);
  w.EnterDemoMode(demo.PhoneAddressValue(), demo.WorkFolder());
  // Before the window is shown, the field and every value behind it name the built-in phone.
  EXPECT_EQ(w.IpField()->Address(), kSecondAddressValue);
  EXPECT_EQ(w.Values().ipField, kSecondAddressValue);
  EXPECT_EQ(static_cast<uint32_t>(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0)),
            kSecondAddressValue);
  w.show();

  // Test pings the built-in phone at once, before any other command has stored anything.
  std::vector<std::string> pinged;
  ScopedIcmpEcho echo([&](const std::string& address) {
    pinged.push_back(address);
    return EchoResult{EchoStatus::Success, ""};
  });
  QTest::mouseClick(gui::Control<QPushButton>(&w, IDC_TEST), Qt::LeftButton);
  EXPECT_EQ(pinged, std::vector<std::string>{kSecondAddress});

  // Step1: a program image of 1000 bytes goes out padded to 1024 with 0xFF, then 0x81.
  std::string program(1000, '\0');
  for (size_t i = 0; i < program.size(); ++i) program[i] = static_cast<char>(i * 13);
  test::WriteFile(dir.File("demo.bin"), program);
  ui.AnswerFile(dir.File("demo.bin"));
  QTest::mouseClick(gui::Control<QPushButton>(&w, IDC_UPDATE_PROGRAM), Qt::LeftButton);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, "Updating ... please wait until the update led stop on and off");
  EXPECT_EQ(ui.messages.back().icon, MbIcon::Information);
  auto stored = demo.Simulator().Tcp().Stored(0x81);
  ASSERT_TRUE(stored.has_value());
  std::vector<uint8_t> expected(program.begin(), program.end());
  expected.resize(1024, 0xFF);
  EXPECT_EQ(*stored, expected);

  // Step2: the demo's Page0.hex to page 0 over TCP, once the phone has finished "writing".
  ASSERT_TRUE(demo.Simulator().Tcp().WaitForListening(true, 10s));
  size_t before = ui.messages.size();
  QTest::mouseClick(gui::Control<QPushButton>(&w, IDC_UPDATE_BOOT), Qt::LeftButton);
  EXPECT_EQ(ui.messages.size(), before);  // no question (the file fits page 0), no failure, no completion box
  auto page = demo.Simulator().Tcp().Page(0);
  ASSERT_TRUE(page.has_value());
  ASSERT_EQ(page->size(), 1024u);
  EXPECT_EQ((*page)[7], static_cast<uint8_t>(7 * 7));
  EXPECT_TRUE(w.isEnabled());
  EXPECT_EQ(first.Connections(), 0);
  demo.Stop();
}

// A typed address outside 127.0.0.0/8 is refused by every command that would reach it, before any socket
// is opened. The address typed is a multicast one: even a refusal that failed could not put a TCP packet
// on the network (the system refuses a TCP connect to it), and the echo and the launcher are recorders.
TEST(DemoMode, RefusesEveryTargetOutsideLoopbackBeforeAnySocketIsOpened) {
  ScopedProcessEvents events;
  test::ScaledTiming fast(0.2);
  test::TempDir dir;
  DemoPhone demo(dir.Path(), loopback::kDemoRefuses.dotted);
  ASSERT_TRUE(demo.Start()) << demo.Error();
  EXPECT_TRUE(UseDemoStore(demo));
  test::FakeUi ui;
  RecordingLauncher launcher;
  MainWindow w(ui, launcher, MainWindowOptions{true});
  w.EnterDemoMode(demo.PhoneAddressValue(), demo.WorkFolder());
  w.show();
  std::vector<std::string> pinged;
  ScopedIcmpEcho echo([&](const std::string& address) {
    pinged.push_back(address);
    return EchoResult{EchoStatus::Success, ""};
  });
  test::WriteFile(dir.File("file.dat"), std::string(300, 'f'));
  w.IpField()->SetAddress(0xE0000001);  // 224.0.0.1
  test::Census census;

  const int commands[] = {IDC_TEST,           IDC_UPDATE_PROGRAM, IDC_UPDATE_BOOT, IDC_UPDATE_RING,
                          IDC_PHONE_SETTINGS, IDC_LOAD_SDRAM,     IDM_WEB_SETUP,   IDM_TELNET_SETUP};
  for (int id : commands) {
    SCOPED_TRACE(id);
    ui.messages.clear();
    ui.AnswerFile(dir.File("file.dat"));
    w.RunCommand(id);
    ui.fileAnswers.clear();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Demo mode");
    EXPECT_EQ(
        ui.messages[0].text.rfind(
            "Demo mode talks to the built-in phone only (" + loopback::kDemoRefuses + ").\n224.0.0.1 ", 0),
        0u)
        << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].icon, MbIcon::Stop);
    EXPECT_FALSE(w.Link().TcpLinkHeld());
  }
  EXPECT_TRUE(pinged.empty());
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_EQ(demo.Simulator().Tcp().Connections(), 0);
  EXPECT_TRUE(census.Back()) << census.Describe();

  // Back on the built-in phone's network, the same window reaches it.
  w.IpField()->SetAddress(demo.PhoneAddressValue());
  ui.messages.clear();
  w.RunCommand(IDC_TEST);
  EXPECT_EQ(pinged, std::vector<std::string>{loopback::kDemoRefuses.dotted});
  demo.Stop();
}

}  // namespace
}  // namespace quill
