// The fleet window over the same engine as the command line: an inventory loaded into the table, a run
// against simulated phones (one refusing), each row's state, the summary and the run folder's report.
#include "app/fleet_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>

#include "settings/settings_image.h"
#include "settings/settings_text_file.h"
#include "sim/phone_fleet.h"
#include "tests/support/loopback.h"
#include "tests/support/silent_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

// Three runs over one table: per-phone settings (each phone's own file from the Settings column plus a line
// for all), sdram-save into a file per phone, and an update that one phone refuses.
TEST(FleetWindow, RunsTheTableAndShowsEachPhoneAndTheReport) {
  test::Watchdog watchdog("fleet window", std::chrono::seconds(100));
  const loopback::Block& b = loopback::kFleetWindow;
  // Long enough for the tool to find each phone silent after its command, short for the next run.
  sim::PhoneFleet phones({b.first.dotted, 3, 0, 1, sim::kLoaderPort, 2500});
  ASSERT_TRUE(phones.Start());
  test::TempDir dir;
  std::string csv = "address,name,settings\n";
  const char* names[] = {"reception", "office 2", "hall"};
  std::vector<SettingsImage> expected(3);
  for (int i = 0; i < 3; ++i) {
    const std::string own = "phonenumber=100" + std::to_string(i);
    test::WriteFile(dir.File(std::to_string(i) + ".txt"), own + "\n");
    csv += b.Dotted(i) + "," + names[i] + "," + std::to_string(i) + ".txt\n";
    SettingsImage& image = expected[static_cast<size_t>(i)];
    image.fill(static_cast<uint8_t>(0x40 + i));
    phones.Phone(i).SetSettingsImage({image.begin(), image.end()});
    phones.Phone(i).SetSdramImage(std::vector<uint8_t>(8192, static_cast<uint8_t>(i)));
    ApplySettingsLine(SettingsImageSpan(image), own);
    ApplySettingsLine(SettingsImageSpan(image), "dtmf=1");
  }
  test::WriteFile(dir.File("phones.csv"), csv);
  test::WriteFile(dir.File("ring.bin"), std::string(1000, 'r'));

  test::SilentUi ui;
  FleetWindow window(ui);
  ASSERT_TRUE(window.LoadInventory(QString::fromStdString(dir.File("phones.csv"))));
  ASSERT_EQ(window.Table()->rowCount(), 3);
  EXPECT_FALSE(window.LoadInventory(QString::fromStdString(dir.File("missing.csv"))));
  EXPECT_EQ(ui.Messages(), 1);
  EXPECT_EQ(window.Table()->rowCount(), 3);  // a bad inventory leaves the table as it was
  window.SetChildProgram(QUILL_TEST_BINARY_DIR "/quilltool");
  window.show();
  auto run = [&](const std::string& folder) {
    window.SetRunFolder(QString::fromStdString(dir.File(folder)));
    return window.Start() && QTest::qWaitFor([&] { return !window.Running(); }, 40000);
  };
  auto cell = [&window](int row, int column) {
    return window.Table()->item(row, column)->text().toStdString();
  };
  enum { kState = 3, kProgress = 4, kMessage = 5 };

  // One address for every phone is refused before anything is made or sent.
  window.SetCommand("settings", {});
  window.SetCommonSettings("ip=10.1.1.1");
  EXPECT_FALSE(run("refused"));
  EXPECT_EQ(ui.Messages(), 2);
  EXPECT_FALSE(test::FileExists(dir.File("refused")));
  window.SetCommonSettings("dtmf=1\n");
  ASSERT_TRUE(run("settings"));
  for (int i = 0; i < 3; ++i) {
    const SettingsImage& image = expected[static_cast<size_t>(i)];
    EXPECT_TRUE(phones.Phone(i).Stored(sim::kCmdSettings) == std::vector<uint8_t>(image.begin(), image.end()))
        << i << ": " << cell(i, kMessage);
  }

  // The phones take a settings push as a command: they listen again after its erase window.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(phones.Phone(i).WaitForListening(true, std::chrono::seconds(20)));
  window.SetCommand("sdram-save", QString::fromStdString(dir.File("sdram-{name}.bin")));
  window.SetLength("4096");
  ASSERT_TRUE(run("sdram"));
  EXPECT_TRUE(test::ReadFile(dir.File("sdram-reception.bin")) == std::string(4096, '\0'))
      << cell(0, kMessage);
  EXPECT_TRUE(test::ReadFile(dir.File("sdram-hall.bin")) == std::string(4096, '\2')) << cell(2, kMessage);

  sim::TcpFaults refuse;
  refuse.refuseUpdates = true;
  phones.Phone(1).SetFaults(refuse);
  window.SetCommand("update-ring", QString::fromStdString(dir.File("ring.bin")));
  ASSERT_TRUE(run("ring"));
  EXPECT_EQ(cell(0, kState), "succeeded") << cell(0, kMessage);
  EXPECT_EQ(cell(1, kState), "failed");
  EXPECT_EQ(cell(1, kMessage), "Invalid update ring method");
  EXPECT_EQ(cell(2, kState), "succeeded");
  EXPECT_EQ(qobject_cast<QProgressBar*>(window.Table()->cellWidget(0, kProgress))->value(), 100);
  EXPECT_TRUE(window.Summary().startsWith("2 of 3 phones succeeded")) << window.Summary().toStdString();
  EXPECT_TRUE(test::FileExists(dir.File("ring/report.csv")));
  EXPECT_EQ(phones.Phone(0).Stored(sim::kCmdRing).value_or(std::vector<uint8_t>()).size(), 1024u);
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  window.grab().save(QUILL_TEST_BINARY_DIR "/screenshots/fleet_window.png");
}

}  // namespace
}  // namespace quill
