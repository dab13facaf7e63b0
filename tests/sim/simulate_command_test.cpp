// `quilltool simulate` as a user runs it: a separate process, ended by a signal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/unique_fd.h"
#include "tests/support/loopback.h"
#include "tests/support/peers.h"
#include "tests/support/test_env.h"
#include "tests/support/tool_process.h"

namespace quill::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Repeat;
constexpr auto kWait = std::chrono::seconds(10);

// The command with its standard error joined to its standard output, as a terminal shows them.
class Child : public test::ToolProcess {
 public:
  bool Start(const std::vector<std::string>& args) {
    return ToolProcess::Start(QUILL_TEST_BINARY_DIR "/quilltool", args, Errors::WithOutput);
  }
  bool WaitFor(const std::string& text, size_t from = 0) { return WaitForOut(text, from); }
  const std::string& Output() const { return Out(); }
};

// The tool's debug or CDR listener, on one loopback address.
UniqueFd Listener(const char* address, uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, address, &sa.sin_addr);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) fd.Reset();
  return fd;
}

std::string ReceiveFrom(const UniqueFd& fd, std::string* sender) {
  pollfd p{fd.Get(), POLLIN, 0};
  if (::poll(&p, 1, 10000) != 1) return {};
  char buffer[2048];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  ssize_t n = ::recvfrom(fd.Get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  *sender = text;
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

TEST(SimulateCommand, RunsUntilInterruptedPrintingEachUnitItReceives) {
  quill::test::TempDir store;
  UniqueFd debug = Listener(loopback::kSimulateDatagramsTo.dotted, 8225);
  UniqueFd cdr = Listener(loopback::kSimulateDatagramsTo.dotted, 8227);
  ASSERT_TRUE(debug.IsOpen() && cdr.IsOpen());
  Child child;
  ASSERT_TRUE(
      child.Start({"--store", store.Path(), "simulate", "--address", loopback::kSimulatePhone.dotted,
                   "--debug-to", loopback::kSimulateDatagramsTo.dotted, "--count", "1", "--interval", "10"}));
  ASSERT_TRUE(child.WaitFor("tcp loader listening on " + loopback::kSimulatePhone + ":8739\n"))
      << child.Output();
  ASSERT_TRUE(child.WaitFor("serial loader on /dev/pts/")) << child.Output();
  ASSERT_TRUE(child.WaitFor("\n", child.Output().find("serial loader on "))) << child.Output();

  std::string sender;
  EXPECT_EQ(ReceiveFrom(debug, &sender), std::string("0x1018 3 0x101a 1\r\n", 19) + '\0');
  EXPECT_EQ(sender, loopback::kSimulatePhone.dotted);
  EXPECT_FALSE(ReceiveFrom(cdr, &sender).empty());
  EXPECT_EQ(sender, loopback::kSimulatePhone.dotted);

  test::TcpClient client;
  ASSERT_EQ(client.Connect(loopback::kSimulatePhone.dotted, 8739), 0);
  ASSERT_TRUE(client.Send(Bytes(128, 0x42)));
  EXPECT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  ASSERT_TRUE(client.Send({'s', 'h'}));
  EXPECT_EQ(client.ReadExactly(128, kWait).size(), 128u);
  client.Close();

  size_t at = child.Output().find("serial loader on ") + 17;
  std::string path = child.Output().substr(at, child.Output().find('\n', at) - at);
  test::SerialEnd port;
  ASSERT_TRUE(port.Open(path)) << path;
  ASSERT_TRUE(port.Write(Repeat(0x55, 16)));
  EXPECT_EQ(port.ReadExactly(8, kWait), Repeat(0x55, 8));
  child.Input("hello\n");  // standard input goes out as the phone's text
  std::string text = "hello\n";
  Bytes got = port.ReadExactly(text.size(), kWait);
  EXPECT_EQ(std::string(got.begin(), got.end()), text);
  port.Close();

  EXPECT_TRUE(child.WaitFor("tcp 1: block 128 bytes: 42 42")) << child.Output();
  EXPECT_TRUE(child.WaitFor("tcp 1: request \"sh\"\n")) << child.Output();
  EXPECT_TRUE(child.WaitFor("serial 1: wake-up (16 bytes)\n")) << child.Output();
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 0) << child.Output();
  EXPECT_NE(child.Output().find("stopping"), std::string::npos);
}

TEST(SimulateCommand, FaultFlagsApplyAndTermEndsItCleanly) {
  quill::test::TempDir store;
  Child child;
  ASSERT_TRUE(child.Start({"--store", store.Path(), "simulate", "--address", loopback::kSimulateSilent.dotted,
                           "--no-serial", "--silent"}));
  ASSERT_TRUE(child.WaitFor("tcp loader listening on " + loopback::kSimulateSilent + ":8739\n"))
      << child.Output();
  test::TcpClient client;
  ASSERT_EQ(client.Connect(loopback::kSimulateSilent.dotted, 8739), 0);
  ASSERT_TRUE(client.Send(Bytes(128, 0x01)));
  EXPECT_TRUE(child.WaitFor("(unanswered)\n")) << child.Output();
  EXPECT_TRUE(client.Quiet(std::chrono::milliseconds(100)));
  EXPECT_EQ(child.Output().find("serial loader"), std::string::npos);
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0) << child.Output();
}

TEST(SimulateCommand, EndsByItselfAfterTheDurationAndRefusesOtherThanLoopback) {
  quill::test::TempDir store;
  {
    Child child;
    ASSERT_TRUE(child.Start({"--store", store.Path(), "simulate", "--address",
                             loopback::kSimulateRefused.dotted, "--no-serial", "--duration", "50"}));
    EXPECT_EQ(child.Wait(), 0) << child.Output();
  }
  const std::vector<std::vector<std::string>> refused = {
      {"--address", "192.168.1.100"},
      {"--address", loopback::kSimulateRefused.dotted, "--debug-to", "10.0.0.1"},
      {"--address", loopback::kSimulateRefused.dotted, "--debug-to", loopback::kSimulateRefusedTo.dotted,
       "--debug-from", "192.168.1.1"},
  };
  for (const auto& args : refused) {
    Child child;
    std::vector<std::string> all = {"--store", store.Path(), "simulate"};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_TRUE(child.Start(all));
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_NE(child.Output().find("is not a loopback address (127.0.0.0/8)"), std::string::npos) << child.Output();
  }
  Child missing;
  ASSERT_TRUE(missing.Start({"--store", store.Path(), "simulate"}));
  EXPECT_EQ(missing.Wait(), 2);
  EXPECT_NE(missing.Output().find("--address is required"), std::string::npos);
}

}  // namespace
}  // namespace quill::sim
