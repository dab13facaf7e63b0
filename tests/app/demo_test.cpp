// The main window in demo mode, driven as a newcomer would: Step1 and Step2 against the built-in phone.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/demo_phone.h"
#include "app/main_window.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

using namespace std::chrono_literals;

class NoLauncher : public Launcher {
 public:
  bool Start(const std::string&, const std::vector<std::string>&) override { return false; }
};

TEST(DemoMode, Step1AndStep2ReachTheBuiltInPhone) {
  ScopedProcessEvents events;
  ScopedTimingScale fast(0.2);
  test::TempDir dir;
  DemoPhone demo(dir.Path());
  ASSERT_TRUE(demo.Start()) << demo.Error();  // the only test on 127.0.0.1
  UseDemoStore(demo);
  test::FakeUi ui;
  NoLauncher launcher;
  MainWindow w(ui, launcher);
  w.show();
  w.IpField()->SetAddress(DemoPhone::kPhoneAddressValue);
  w.SetWorkingDirectory(demo.WorkFolder());

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
  EXPECT_EQ(static_cast<uint32_t>(SettingsStore::Profile().GetInt("Peer", "IPAddress", 0)), 0x7F000001u);

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
  demo.Stop();
}

}  // namespace
}  // namespace quill
