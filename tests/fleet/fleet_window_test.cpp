// The fleet window over the same engine as the command line: an inventory loaded into the table, a run
// against simulated phones (one refusing), each row's state, the summary and the run folder's report.
#include "app/fleet_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>

#include "sim/phone_fleet.h"
#include "tests/support/loopback.h"
#include "tests/support/silent_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

TEST(FleetWindow, RunsTheTableAndShowsEachPhoneAndTheReport) {
  test::Watchdog watchdog("fleet window", std::chrono::seconds(60));
  const loopback::Block& b = loopback::kFleetWindow;
  sim::PhoneFleet phones({b.first.dotted, 3, 0, 1});
  ASSERT_TRUE(phones.Start());
  sim::TcpFaults refuse;
  refuse.refuseUpdates = true;
  phones.Phone(1).SetFaults(refuse);
  test::TempDir dir;
  test::WriteFile(dir.File("phones.csv"), "address,name\n" + b.Dotted(0) + ",reception\n" + b.Dotted(1) +
                                              ",office 2\n" + b.Dotted(2) + ",hall\n");
  test::WriteFile(dir.File("ring.bin"), std::string(1000, 'r'));

  test::SilentUi ui;
  FleetWindow window(ui);
  ASSERT_TRUE(window.LoadInventory(QString::fromStdString(dir.File("phones.csv"))));
  ASSERT_EQ(window.Table()->rowCount(), 3);
  EXPECT_FALSE(window.LoadInventory(QString::fromStdString(dir.File("missing.csv"))));
  EXPECT_EQ(ui.Messages(), 1);
  EXPECT_EQ(window.Table()->rowCount(), 3);  // a bad inventory leaves the table as it was
  window.SetCommand("update-ring", QString::fromStdString(dir.File("ring.bin")));
  window.SetRunFolder(QString::fromStdString(dir.File("run")));
  window.SetChildProgram(QUILL_TEST_BINARY_DIR "/quilltool");
  window.show();
  ASSERT_TRUE(window.Start());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 40000));
  auto cell = [&window](int row, int column) {
    return window.Table()->item(row, column)->text().toStdString();
  };
  EXPECT_EQ(cell(0, 2), "succeeded") << cell(0, 4);
  EXPECT_EQ(cell(1, 2), "failed");
  EXPECT_EQ(cell(1, 4), "Invalid update ring method");
  EXPECT_EQ(cell(2, 2), "succeeded");
  EXPECT_EQ(qobject_cast<QProgressBar*>(window.Table()->cellWidget(0, 3))->value(), 100);
  EXPECT_TRUE(window.Summary().startsWith("2 of 3 phones succeeded")) << window.Summary().toStdString();
  EXPECT_TRUE(test::FileExists(dir.File("run/report.csv")));
  EXPECT_EQ(phones.Phone(0).Stored(sim::kCmdRing).value_or(std::vector<uint8_t>()).size(), 1024u);
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  window.grab().save(QUILL_TEST_BINARY_DIR "/screenshots/fleet_window.png");
}

}  // namespace
}  // namespace quill
