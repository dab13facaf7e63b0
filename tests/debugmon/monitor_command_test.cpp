// `quilltool monitor` as a technician runs it: a separate process whose standard output is what the window
// would show, ended by a signal. The datagrams come from the simulator's sender on another loopback address.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <string>
#include <vector>

#include "sim/datagram_sender.h"
#include "sim/serial_loader.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "tests/support/tool_process.h"
#include "tests/support/transport_harness.h"

namespace quill {
namespace {

constexpr const char* kPhone = loopback::kMonitorCommandPhone.dotted;
const std::string P = loopback::kMonitorCommandPhone + ": ";

// The command with its standard output and standard error on pipes of their own. The child resolves the
// host's own name as the machine does, into 127.0.0.0/24 or 127.0.1.0/24, where no test address lies, so it
// never takes the phone's datagrams for its own.
class Monitor : public test::ToolProcess {
 public:
  bool Start(std::vector<std::string> args) {
    args.insert(args.begin(), {"--debug-log", "monitor"});
    return ToolProcess::Start(QUILL_TEST_BINARY_DIR "/quilltool", args);
  }
};

TEST(MonitorCommand, WritesWhatTheWindowWouldShowUntilASignalEndsIt) {
  using namespace std::string_literals;
  struct Row {
    const char* kind;
    const char* address;
    int signal;
    std::vector<std::string> datagrams;
    std::string shown;
  };
  const std::string a480(480, 'x');
  const Row rows[] = {
      {"debug",
       loopback::kMonitorCommandDebug.dotted,
       SIGINT,
       {"abc", "0x1018 3\n\0boot 0x1000\n\0"s, a480 + '\0', "0x1085 112\n"},
       P + "abc" + P + "arp send 3\n" + P + "boot check point 0\n" + P + a480 +
           "ras adm rej--resource unavailable 112\n"},
      {"cdr",
       loopback::kMonitorCommandCdr.dotted,
       SIGTERM,
       {"abc", "CDR 0x1018 00:00:05\r\n"},
       P + "abc" + P + "CDR 0x1018 00:00:05\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    Monitor monitor;
    ASSERT_TRUE(monitor.Start({row.kind, "--address", row.address}));
    ASSERT_TRUE(monitor.WaitForErr("UDP IO thread starting\n")) << monitor.Err();
    sim::DatagramSender phone(kPhone, row.address);
    ASSERT_TRUE(phone.Open()) << phone.Error();
    uint16_t port = std::string(row.kind) == "debug" ? sim::kDebugPort : sim::kCdrPort;
    for (const std::string& d : row.datagrams) ASSERT_TRUE(phone.Send(port, test::Text(d)));
    // Each text is out as soon as it came: the output is complete before the command ends.
    EXPECT_TRUE(monitor.WaitForOut(row.shown)) << monitor.Out();
    monitor.Signal(row.signal);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Err();
    EXPECT_EQ(monitor.Out(), row.shown);
    EXPECT_NE(monitor.Err().find("UDP IO thread shutting down\n"), std::string::npos) << monitor.Err();
  }
}

TEST(MonitorCommand, AListenerThatCannotBindEndsTheCommandWithItsReason) {
  test::UdpPeer squatter(loopback::kMonitorCommandSquatted.dotted, sim::kDebugPort,
                         false);  // does not share the port
  ASSERT_TRUE(squatter.IsBound());
  Monitor monitor;
  ASSERT_TRUE(monitor.Start({"debug", "--address", loopback::kMonitorCommandSquatted.dotted}));
  EXPECT_EQ(monitor.Wait(), 1);
  EXPECT_NE(monitor.Err().find("quilltool monitor: the listener on UDP port 8225 of " +
                               loopback::kMonitorCommandSquatted +
                               " ended: "
                               "Could not bind address\n"),
            std::string::npos)
      << monitor.Err();
  EXPECT_EQ(monitor.Out(), "");
}

TEST(MonitorCommand, WrongArgumentsAreUsageErrors) {
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{},
                                             {"serial", "--port", "COM3"},
                                             {"serial", "--from", kPhone},
                                             {"debug", "--device", "/dev/ttyS0"},
                                             {"debug", "--from", "phone"},
                                             {"debug", "cdr"},
                                             {"debug", "--address", "no.such.address."},
                                             {"cdr", "--bogus"}}) {
    Monitor monitor;
    ASSERT_TRUE(monitor.Start(args));
    EXPECT_EQ(monitor.Wait(), 2) << (args.empty() ? "" : args[0]) << "\n" << monitor.Err();
    EXPECT_EQ(monitor.Out(), "");
  }
}

// One phone's lines among two, each stamped, and the same in the log after what it held. A log that cannot
// be opened ends the command before it listens.
TEST(MonitorCommand, TimestampsLogAndOnePhonesLines) {
  using namespace std::string_literals;
  const char* kOther = loopback::kMonitorCommandOtherPhone.dotted;
  const char* kListen = loopback::kMonitorCommandFrom.dotted;
  struct Row {
    const char* kind;
    const char* stamps;
    uint16_t port;
    std::vector<std::string> datagrams;  // from the phone; the other phone sends each one before it
    std::string shown;                   // without the stamps
    std::string stamp;                   // what each stamp looks like
    std::string last;                    // the end of what is shown
  };
  const Row rows[] = {
      {"debug",
       "--timestamps=relative",
       sim::kDebugPort,
       {"0x1018 3\n\0boot\n"s, "a\r\nzz"},
       P + "arp send 3\n" + P + "boot\n" + P + "a\r\nzz",
       R"(\[\+[0-9]+\.[0-9]{3}\] )",
       "zz"},
      {"cdr",
       "--timestamps",
       sim::kCdrPort,
       {"CDR 1\r\n", "CDR 2\r\n"},
       P + "CDR 1\r\n" + P + "CDR 2\r\n",
       R"(\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] )",
       "CDR 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    test::TempDir dir;
    const std::string logPath = dir.File("monitor.log");
    test::WriteFile(logPath, "kept\n");
    Monitor monitor;
    ASSERT_TRUE(
        monitor.Start({row.kind, "--address", kListen, "--from", kPhone, row.stamps, "--log", logPath}));
    ASSERT_TRUE(monitor.WaitForErr("UDP IO thread starting\n")) << monitor.Err();
    sim::DatagramSender phone(kPhone, kListen);
    sim::DatagramSender other(kOther, kListen);
    ASSERT_TRUE(phone.Open()) << phone.Error();
    ASSERT_TRUE(other.Open()) << other.Error();
    for (const std::string& d : row.datagrams) {
      ASSERT_TRUE(other.Send(row.port, test::Text("other\n")));
      ASSERT_TRUE(phone.Send(row.port, test::Text(d)));
    }
    EXPECT_TRUE(monitor.WaitForOut(row.last)) << monitor.Out();
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Err();
    const std::string out = monitor.Out();
    // Every line starts with a stamp; without them it is the phone's text alone.
    const std::regex stamp("(^|\n)" + row.stamp);
    EXPECT_EQ(std::regex_replace(out, stamp, "$1"), row.shown) << out;
    EXPECT_EQ(std::distance(std::sregex_iterator(out.begin(), out.end(), stamp), std::sregex_iterator()),
              std::count(row.shown.begin(), row.shown.end() - 1, '\n') + 1)
        << out;
    EXPECT_EQ(test::ReadFile(logPath), "kept\n" + out);
  }

  test::TempDir dir;
  Monitor refused;
  ASSERT_TRUE(refused.Start({"debug", "--address", kListen, "--log", dir.Path()}));
  EXPECT_EQ(refused.Wait(), 1);
  EXPECT_NE(refused.Err().find("Can not open the log file\n" + dir.Path() + ": Is a directory"),
            std::string::npos)
      << refused.Err();
  EXPECT_EQ(refused.Err().find("UDP IO thread starting"), std::string::npos) << refused.Err();
}

// The phone's serial text, as "Rs232 Output" shows it, from a device given for this run.
TEST(MonitorCommand, SerialShowsThePhonesTextFromADevice) {
  sim::SerialLoader phone(sim::SerialLoader::Config{.eraseMs = 0, .closeWaitMs = 1000});
  ASSERT_TRUE(phone.Start()) << phone.Error();
  Monitor monitor;
  ASSERT_TRUE(monitor.Start({"serial", "--device", phone.SlavePath()}));
  ASSERT_TRUE(phone.WaitForLineOpen(true, std::chrono::seconds(10)));
  ASSERT_TRUE(monitor.WaitForErr("CommPort read thread starting\n")) << monitor.Err();
  // What comes before the view is shown is the link's, as in the window: the phone says it again until
  // it is seen (bounded), then says the next thing once.
  for (int i = 0; i < 50 && !monitor.WaitForOutWithin("boot ok\r\n", std::chrono::milliseconds(200)); ++i)
    phone.SendText("boot ok\r\n");
  phone.SendText("ready\r\n");
  EXPECT_TRUE(monitor.WaitForOut("ready\r\n")) << monitor.Out() << monitor.Err();
  monitor.Signal(SIGTERM);
  EXPECT_EQ(monitor.Wait(), 0) << monitor.Err();
  EXPECT_TRUE(std::regex_match(monitor.Out(), std::regex("(boot ok\r\n)+ready\r\n"))) << monitor.Out();

  // A device that goes away (the line hung up) ends the command, saying so.
  Monitor unplugged;
  ASSERT_TRUE(unplugged.Start({"serial", "--device", phone.SlavePath()}));
  ASSERT_TRUE(unplugged.WaitForErr("CommPort read thread starting\n")) << unplugged.Err();
  phone.Stop();
  EXPECT_EQ(unplugged.Wait(), 1) << unplugged.Err();
  EXPECT_NE(unplugged.Err().find("quilltool monitor: the serial port " + phone.SlavePath() + " ended"),
            std::string::npos)
      << unplugged.Err();
}

}  // namespace
}  // namespace quill
