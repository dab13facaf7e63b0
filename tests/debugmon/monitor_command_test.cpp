// `quilltool monitor` as a technician runs it: a separate process whose standard output is what the window
// would show, ended by a signal. The datagrams come from the simulator's sender on another loopback address.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "sim/datagram_sender.h"
#include "tests/support/loopback.h"
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
                                             {"serial"},
                                             {"debug", "cdr"},
                                             {"debug", "--address", "no.such.address."},
                                             {"cdr", "--bogus"}}) {
    Monitor monitor;
    ASSERT_TRUE(monitor.Start(args));
    EXPECT_EQ(monitor.Wait(), 2) << (args.empty() ? "" : args[0]) << "\n" << monitor.Err();
    EXPECT_EQ(monitor.Out(), "");
  }
}

}  // namespace
}  // namespace quill
