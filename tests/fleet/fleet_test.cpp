// The fleet as a user runs it: `quilltool fleet` against many simulated phones in this process, some of
// them faulty; the report, the simulator's record of what each phone received, and the run's exit code.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fleet/inventory.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"
#include "sim/phone_fleet.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "tests/support/tool_process.h"

namespace quill::fleet {
namespace {

using sim::FleetFault;
using sim::UnitKind;

struct Row {
  std::string outcome, message;
  int attempts = 0;
};

// report.csv by address.
std::map<std::string, Row> ReadReport(const std::string& path) {
  std::map<std::string, Row> rows;
  const std::string text = test::ReadFile(path);
  size_t at = text.find('\n') + 1;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    std::vector<std::string> f;
    if (SplitCsv(text.substr(at, end - at), f) && f.size() == 7) rows[f[0]] = {f[2], f[3], std::stoi(f[6])};
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return rows;
}

class Tool : public test::ToolProcess {
 public:
  bool Start(const std::vector<std::string>& args) {
    return ToolProcess::Start(QUILL_TEST_BINARY_DIR "/quilltool", args, Errors::WithOutput);
  }
  // A fleet with silent phones runs for tens of seconds: Wait's own bound is for one step.
  int WaitLong() {
    int code = -1;
    for (int i = 0; i < 12 && code < 0; ++i) code = Wait();
    return code;
  }
};

int Commands(const sim::TcpLoader& phone) {
  return static_cast<int>(phone.Log().Units(UnitKind::Command).size());
}

std::string WriteInventory(const test::TempDir& dir, const loopback::Block& block, int count,
                           const std::vector<std::string>& settings = {}) {
  std::string csv = "# the test's phones\naddress,name,settings,room\n\n";
  for (int i = 0; i < count; ++i) {
    csv += block.Dotted(i) + ",desk" + std::to_string(i) + "," +
           (static_cast<size_t>(i) < settings.size() ? settings[static_cast<size_t>(i)] : "") + ",r1\n";
  }
  std::string path = dir.File("phones.csv");
  test::WriteFile(path, csv);
  return path;
}

TEST(FleetInventory, ReadsRowsAndReportsEveryProblemWithItsLine) {
  Inventory ok =
      ParseInventory("# comment\nName, Address ,extra\nhall,10.0.0.1,x\n\n\"Smith, J\",10.0.0.2\n", "/inv");
  ASSERT_TRUE(ok.Ok()) << DescribeProblems(ok, "inv");
  ASSERT_EQ(ok.phones.size(), 2u);
  EXPECT_EQ(ok.phones[1].name, "Smith, J");
  EXPECT_EQ(ok.phones[1].line, 5);

  const struct {
    const char* text;
    const char* problems;
  } bad[] = {
      {"address\n10.0.0.1\n10.0.0.2\n10.0.0.1\n", "inv:4: 10.0.0.1 is already on line 2\n"},
      {"address,name\n10.0.0.300,a\n,b\n10.0.0.3,\"open\n",
       "inv:2: \"10.0.0.300\" is not an IPv4 address\n"
       "inv:3: no address\ninv:4: a quote is not closed\n"},
      {"name,room\nx,y\n", "inv:1: the header names no address column\n"},
      {"# only a comment\n", "inv: no header line (it names the columns: address,name,settings)\n"},
      {"address,name\n10.0.0.1,a/b\n", "inv:2: the name \"a/b\" holds a \"/\"\n"},
  };
  for (const auto& c : bad) EXPECT_EQ(DescribeProblems(ParseInventory(c.text), "inv"), c.problems) << c.text;

  EXPECT_EQ(InventoryFromList("10.0.0.254-10.0.1.1").phones.size(), 4u);
  EXPECT_EQ(InventoryFromList("10.0.0.1, 10.0.0.2").phones.size(), 2u);
  EXPECT_FALSE(InventoryFromList("10.0.0.9-10.0.0.1").Ok());
  EXPECT_FALSE(InventoryFromList("10.0.0.1-10.1.0.0").Ok());  // more than a run takes
  EXPECT_EQ(DescribeProblems(InventoryFromList("10.0.0.1,10.0.0.1"), "--phones"),
            "--phones: 10.0.0.1 is already in the list\n");
}

TEST(FleetCommand, RefusesBeforeSendingAndDryRunSaysWhatEachPhoneGets) {
  test::TempDir dir;
  const loopback::Block& b = loopback::kFleetUnreachable;
  const std::string inv = WriteInventory(dir, b, 2);
  test::WriteFile(dir.File("dup.csv"), "address,name\n" + b.Dotted(0) + ",a\n" + b.Dotted(1) + ",a\n");
  test::WriteFile(dir.File("prog.bin"), std::string(300, 'p'));
  const struct {
    std::vector<std::string> args;
    const char* says;
  } refused[] = {
      {{"fleet", dir.File("dup.csv"), "sdram-save", dir.File("{name}.dat"), "--length", "16"},
       "would both write"},
      {{"fleet", inv, "sdram-save", inv, "--length", "16"}, "names no {address} or {name}"},
      {{"fleet", inv, "update-program", dir.File("missing.bin")}, "Can not open source file"},
      {{"fleet", inv, "settings", "ip=10.0.0.9"}, "would give every phone the same ip"},
      {{"fleet", inv, "settings", "nosuchkey=1"}, "sets no setting"},
      {{"fleet", inv, "update-program", dir.File("prog.bin"), "--jobs", "0"}, "--jobs takes"},
      {{"fleet", "--phones", b.Dotted(0) + "," + b.Dotted(0), "ping"}, "is already in the list"},
  };
  for (const auto& c : refused) {
    Tool tool;
    std::vector<std::string> args = {"--store", dir.File("store")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(tool.Start(args));
    EXPECT_EQ(tool.WaitLong(), 2) << tool.Out();
    EXPECT_NE(tool.Out().find(c.says), std::string::npos) << tool.Out();
  }
  Tool dry;
  ASSERT_TRUE(dry.Start({"--store", dir.File("store"), "fleet", inv, "sdram-save",
                         dir.File("{address}-{name}.dat"), "--length", "16", "--dry-run"}));
  EXPECT_EQ(dry.WaitLong(), 0) << dry.Out();
  EXPECT_NE(dry.Out().find(b.Dotted(1) + " desk1: sdram-save of 16 bytes into " +
                           dir.File(b.Dotted(1) + "-desk1.dat")),
            std::string::npos)
      << dry.Out();
  EXPECT_FALSE(test::FileExists(dir.File(b.Dotted(0) + "-desk0.dat")));
}

// 20 phones, 5 of them faulty: the report names exactly those, with the system's message; a retry is made
// only while nothing of the command went out; a resumed run leaves the phones that succeeded alone.
TEST(FleetRun, TwentyPhonesFiveFaultyRetriesOnlyBeforeTheCommandAndResumes) {
  test::Watchdog watchdog("twenty phones", std::chrono::seconds(200));
  // A seed whose faults include a refusal (the only one that reaches the command) and at least two others.
  uint32_t seed = 1;
  for (;; ++seed) {
    auto f = sim::ChooseFleetFaults(20, 5, seed);
    std::sort(f.begin(), f.end());
    if (std::binary_search(f.begin(), f.end(), FleetFault::Refuse) &&
        std::unique(f.begin(), f.end()) - f.begin() >= 4)
      break;
  }
  const loopback::Block& b = loopback::kFleetTwenty;
  sim::PhoneFleet phones({b.first.dotted, 20, 5, seed});
  ASSERT_TRUE(phones.Start()) << phones.Error();
  test::TempDir dir;
  const std::string inv = WriteInventory(dir, b, 20);
  test::WriteFile(dir.File("prog.bin"), std::string(20000, '\x5a'));

  Tool tool;
  ASSERT_TRUE(tool.Start({"--store", dir.File("store"), "fleet", inv, "update-program", dir.File("prog.bin"),
                          "--jobs", "20", "--retries", "1", "--run-dir", dir.File("run1")}));
  ASSERT_EQ(tool.WaitLong(), 1) << tool.Out();
  auto report = ReadReport(dir.File("run1/report.csv"));
  ASSERT_EQ(report.size(), 20u) << tool.Out();
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(phones.Describe(i));
    const Row& row = report[phones.Address(i)];
    const sim::TcpLoader& phone = phones.Phone(i);
    switch (phones.Fault(i)) {
      case FleetFault::None:
        EXPECT_EQ(row.outcome, "succeeded");
        EXPECT_EQ(row.message, "Updating ... please wait until the update led stop on and off");
        EXPECT_EQ(row.attempts, 1);
        EXPECT_EQ(phone.Stored(sim::kCmdProgram).value_or(std::vector<uint8_t>()).size(), 20224u);
        break;
      case FleetFault::Refuse:
        // The phone took the command byte: never again, whatever --retries says.
        EXPECT_EQ(row.outcome, "failed");
        EXPECT_EQ(row.message, "Invalid update method");
        EXPECT_EQ(row.attempts, 1);
        EXPECT_EQ(Commands(phone), 1);
        break;
      default:
        // Never past the data blocks: retried once, and the command byte never went out.
        EXPECT_EQ(row.outcome, "failed");
        EXPECT_EQ(row.message, "tcp connection failed");
        EXPECT_EQ(row.attempts, 2);
        EXPECT_EQ(Commands(phone), 0);
        EXPECT_EQ(phone.Connections(), 2);
        break;
    }
    EXPECT_NE(test::ReadFile(dir.File("run1/" + phones.Address(i) + ".log")).find("fleet: "),
              std::string::npos);
  }
  // The summary lists the failures first.
  const size_t table = tool.Out().find("ADDRESS");
  ASSERT_NE(table, std::string::npos);
  const std::string firstRows = tool.Out().substr(table);
  EXPECT_LT(firstRows.find("failed"), firstRows.find("succeeded"));
  // The user's store never received a phone's address.
  std::string stored;
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.File("store"), ec))
    if (entry.is_regular_file()) stored += test::ReadFile(entry.path().string());
  EXPECT_EQ(stored.find("PhoneSettings"), std::string::npos);
  for (int i = 0; i < 20; ++i) {
    uint32_t value = 0;
    ASSERT_TRUE(ParseIPv4(phones.Address(i), value));
    EXPECT_EQ(stored.find(std::to_string(value)), std::string::npos) << phones.Address(i);
  }

  std::vector<int> connections;
  connections.reserve(20);
  for (int i = 0; i < 20; ++i) connections.push_back(phones.Phone(i).Connections());
  Tool resumed;
  ASSERT_TRUE(resumed.Start({"--store", dir.File("store"), "fleet", inv, "ping", "--jobs", "20", "--resume",
                             dir.File("run1/report.json"), "--run-dir", dir.File("run2")}));
  resumed.WaitLong();
  auto second = ReadReport(dir.File("run2/report.csv"));
  ASSERT_EQ(second.size(), 20u) << resumed.Out();
  for (int i = 0; i < 20; ++i) {
    const bool done = phones.Fault(i) == FleetFault::None;
    EXPECT_EQ(second[phones.Address(i)].outcome == "skipped", done) << phones.Describe(i);
    EXPECT_EQ(phones.Phone(i).Connections(), connections[static_cast<size_t>(i)]);  // ping is ICMP only
  }
}

// Each phone gets its own settings file's lines and the lines common to all, applied to the image it sent
// itself; a phone whose settings cannot be read is not written.
TEST(FleetRun, SettingsReachOnlyTheirOwnPhone) {
  test::Watchdog watchdog("settings", std::chrono::seconds(120));
  const loopback::Block& b = loopback::kFleetSettings;
  sim::PhoneFleet phones({b.first.dotted, 2, 0, 1});
  ASSERT_TRUE(phones.Start());
  std::vector<SettingsImage> images(2);
  for (int i = 0; i < 2; ++i) {
    images[static_cast<size_t>(i)].fill(static_cast<uint8_t>(0x30 + i));
    phones.Phone(i).SetSettingsImage(
        {images[static_cast<size_t>(i)].begin(), images[static_cast<size_t>(i)].end()});
  }
  test::TempDir dir;
  test::WriteFile(dir.File("one.txt"), "[SETTING1]\nphonenumber=1001\nip=10.9.0.1\n");
  test::WriteFile(dir.File("two.txt"), "phonenumber=2002\r\nip=10.9.0.2\r\n");
  // The third phone's address answers nothing.
  std::string csv =
      "address,settings\n" + b.Dotted(0) + ",one.txt\n" + b.Dotted(1) + ",two.txt\n" + b.Dotted(2) + ",\n";
  test::WriteFile(dir.File("phones.csv"), csv);

  Tool tool;
  ASSERT_TRUE(tool.Start({"--store", dir.File("store"), "fleet", dir.File("phones.csv"), "settings", "dtmf=1",
                          "--run-dir", dir.File("run")}));
  EXPECT_EQ(tool.WaitLong(), 1) << tool.Out();
  auto report = ReadReport(dir.File("run/report.csv"));
  const char* own[] = {"phonenumber=1001\nip=10.9.0.1\n", "phonenumber=2002\nip=10.9.0.2\n"};
  for (int i = 0; i < 2; ++i) {
    SettingsImage expected = images[static_cast<size_t>(i)];
    std::string lines = std::string(own[i]) + "dtmf=1\n";
    for (size_t at = 0, end; at < lines.size(); at = end + 1) {
      end = lines.find('\n', at);
      ApplySettingsLine(SettingsImageSpan(expected), std::string_view(lines).substr(at, end - at));
    }
    EXPECT_EQ(phones.Phone(i).Stored(sim::kCmdSettings),
              std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(report[phones.Address(i)].outcome, "succeeded");
    EXPECT_EQ(report[phones.Address(i)].message, "New settings updated");
    // The phone's log shows what changed.
    EXPECT_NE(test::ReadFile(dir.File("run/" + phones.Address(i) + ".log"))
                  .find("ip=10.9.0." + std::to_string(i + 1) + ": bytes 6..9"),
              std::string::npos);
  }
  EXPECT_EQ(report[b.Dotted(2)].outcome, "failed");
  EXPECT_NE(report[b.Dotted(2)].message.find("Can not connect to phone."), std::string::npos);
  EXPECT_EQ(test::ReadFile(dir.File("run/" + b.Dotted(2) + ".log")).find("step: command"), std::string::npos);
}

// Ctrl-C once: no new phone starts, running ones finish, the report is written. Twice: a phone short of its
// command byte stops; one past it (erasing) finishes.
TEST(FleetRun, CtrlCOnceLetsRunningPhonesFinishTwiceStopsOnlyThoseBeforeTheirCommand) {
  test::Watchdog watchdog("ctrl-c", std::chrono::seconds(150));
  const loopback::Block& b = loopback::kFleetStop;
  sim::PhoneFleet phones({b.first.dotted, 4, 0, 1});
  ASSERT_TRUE(phones.Start());
  // Phones 0 and 2 answer slowly, so their transfer lasts; 1 and 3 are quick.
  for (int i : {0, 2}) {
    sim::TcpFaults f;
    f.lateMs = 100;
    phones.Phone(i).SetFaults(f);
  }
  test::TempDir dir;
  const std::string inv = WriteInventory(dir, b, 4);
  test::WriteFile(dir.File("ring.bin"), std::string(size_t{128} * 40, 'r'));
  {
    Tool tool;
    ASSERT_TRUE(tool.Start({"--store", dir.File("store"), "fleet", inv, "update-ring", dir.File("ring.bin"),
                            "--jobs", "2", "--run-dir", dir.File("once")}));
    ASSERT_TRUE(phones.Phone(0).Log().WaitForCount(2, std::chrono::seconds(10)));
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.WaitLong(), 130) << tool.Out();
    auto report = ReadReport(dir.File("once/report.csv"));
    EXPECT_EQ(report[b.Dotted(0)].outcome, "succeeded");
    EXPECT_EQ(report[b.Dotted(1)].outcome, "succeeded");
    EXPECT_EQ(report[b.Dotted(2)].outcome, "not started");
    EXPECT_EQ(report[b.Dotted(3)].outcome, "not started");
    EXPECT_EQ(phones.Phone(2).Connections(), 0);
  }
  for (int i = 0; i < 4; ++i) phones.Phone(i).Log().Clear();
  const int commandsBefore = Commands(phones.Phone(2));
  {
    // Phones 2 (slow) and 3 (quick) at once; the stops come once 3 has sent its command byte.
    const std::string two = dir.File("two.csv");
    test::WriteFile(two, "address\n" + b.Dotted(2) + "\n" + b.Dotted(3) + "\n");
    Tool tool;
    ASSERT_TRUE(tool.Start({"--store", dir.File("store"), "fleet", two, "update-ring", dir.File("ring.bin"),
                            "--run-dir", dir.File("twice")}));
    const std::string log3 = dir.File("twice/" + b.Dotted(3) + ".log");
    for (int i = 0; i < 500 && test::ReadFile(log3).find("step: command") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    tool.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.WaitLong(), 130) << tool.Out();
    auto report = ReadReport(dir.File("twice/report.csv"));
    EXPECT_EQ(report[b.Dotted(2)].outcome, "interrupted");
    EXPECT_EQ(Commands(phones.Phone(2)), commandsBefore);
    EXPECT_EQ(report[b.Dotted(3)].outcome, "succeeded");
    EXPECT_EQ(Commands(phones.Phone(3)), 1);
  }
}

TEST(SimulateFleet, RunsManyPhonesNamesTheFaultyOnesAndStaysOnLoopback) {
  test::TempDir dir;
  const loopback::Block& b = loopback::kFleetSimulate;
  Tool sim;
  ASSERT_TRUE(
      sim.Start({"--store", dir.File("store"), "simulate", "--phones", "3", "--address", b.first.dotted,
                 "--faulty", "2", "--seed", "7", "--tcp-port", "8739", "--duration", "300"}));
  EXPECT_EQ(sim.WaitLong(), 0) << sim.Out();
  EXPECT_NE(
      sim.Out().find("3 tcp loaders listening on " + b.Dotted(0) + " to " + b.Dotted(2) + ", port 8739"),
      std::string::npos)
      << sim.Out();
  const auto faults = sim::ChooseFleetFaults(3, 2, 7);
  for (int i = 0; i < 3; ++i) {
    if (faults[static_cast<size_t>(i)] == FleetFault::None) continue;
    EXPECT_NE(
        sim.Out().find("faulty: " + b.Dotted(i) + " " + sim::FleetFaultName(faults[static_cast<size_t>(i)])),
        std::string::npos)
        << sim.Out();
  }
  Tool refused;
  ASSERT_TRUE(
      refused.Start({"--store", dir.File("store"), "simulate", "--phones", "2", "--address", "10.0.0.1"}));
  EXPECT_EQ(refused.WaitLong(), 2);
  EXPECT_NE(refused.Out().find("is not a loopback address"), std::string::npos) << refused.Out();
}

}  // namespace
}  // namespace quill::fleet
