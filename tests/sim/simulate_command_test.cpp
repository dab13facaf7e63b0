// `quilltool simulate` as a user runs it: a separate process, ended by a signal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/unique_fd.h"
#include "tests/sim/raw_ends.h"
#include "tests/support/test_env.h"

extern char** environ;

namespace quill::sim {
namespace {

using test::Bytes;
using test::Repeat;
using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);

class Child {
 public:
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool Start(const std::vector<std::string>& args) {
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return false;
    out_.Reset(out[0]);
    in_.Reset(in[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::string program = QUILL_TEST_BINARY_DIR "/quilltool";
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    int r = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(in[0]);
    return r == 0;
  }

  void Input(const std::string& text) { (void)!::write(in_.Get(), text.data(), text.size()); }

  // Reads the child's output until it holds text (at or after from); false at the time-out or the end
  // of the output.
  bool WaitFor(const std::string& text, size_t from = 0) {
    auto deadline = Clock::now() + kWait;
    while (output_.find(text, from) == std::string::npos) {
      if (!ReadSome(deadline)) return false;
    }
    return true;
  }

  // The exit code once the child has ended (its output closes first); -1 if it does not end in time.
  int Wait() {
    auto deadline = Clock::now() + kWait;
    while (ReadSome(deadline)) {
    }
    if (out_.IsOpen()) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void Signal(int sig) { ::kill(pid_, sig); }
  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(Clock::time_point deadline) {
    if (!out_.IsOpen()) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{out_.Get(), POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) != 1) return false;
    char buffer[4096];
    ssize_t n = ::read(out_.Get(), buffer, sizeof buffer);
    if (n <= 0) {
      out_.Reset();
      return false;
    }
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  UniqueFd out_;
  UniqueFd in_;
  std::string output_;
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
  UniqueFd debug = Listener("127.0.0.77", 8225);
  UniqueFd cdr = Listener("127.0.0.77", 8227);
  ASSERT_TRUE(debug.IsOpen() && cdr.IsOpen());
  Child child;
  ASSERT_TRUE(child.Start({"--store", store.Path(), "simulate", "--address", "127.0.0.75", "--debug-to", "127.0.0.77",
                           "--count", "1", "--interval", "10"}));
  ASSERT_TRUE(child.WaitFor("tcp loader listening on 127.0.0.75:8739\n")) << child.Output();
  ASSERT_TRUE(child.WaitFor("serial loader on /dev/pts/")) << child.Output();
  ASSERT_TRUE(child.WaitFor("\n", child.Output().find("serial loader on "))) << child.Output();

  std::string sender;
  EXPECT_EQ(ReceiveFrom(debug, &sender), std::string("0x1018 3 0x101a 1\r\n", 19) + '\0');
  EXPECT_EQ(sender, "127.0.0.75");
  EXPECT_FALSE(ReceiveFrom(cdr, &sender).empty());
  EXPECT_EQ(sender, "127.0.0.75");

  test::RawTcpClient client;
  ASSERT_EQ(client.Connect("127.0.0.75", 8739), 0);
  ASSERT_TRUE(client.Send(Bytes(128, 0x42)));
  EXPECT_EQ(client.ReadOnce(kWait), Bytes{0xFF});
  ASSERT_TRUE(client.Send({'s', 'h'}));
  EXPECT_EQ(client.ReadExactly(128, kWait).size(), 128u);
  client.Close();

  size_t at = child.Output().find("serial loader on ") + 17;
  std::string path = child.Output().substr(at, child.Output().find('\n', at) - at);
  test::RawSerialPort port;
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
  ASSERT_TRUE(child.Start({"--store", store.Path(), "simulate", "--address", "127.0.0.78", "--no-serial", "--silent"}));
  ASSERT_TRUE(child.WaitFor("tcp loader listening on 127.0.0.78:8739\n")) << child.Output();
  test::RawTcpClient client;
  ASSERT_EQ(client.Connect("127.0.0.78", 8739), 0);
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
    ASSERT_TRUE(child.Start({"--store", store.Path(), "simulate", "--address", "127.0.0.79", "--no-serial",
                             "--duration", "50"}));
    EXPECT_EQ(child.Wait(), 0) << child.Output();
  }
  const std::vector<std::vector<std::string>> refused = {
      {"--address", "192.168.1.100"},
      {"--address", "127.0.0.79", "--debug-to", "10.0.0.1"},
      {"--address", "127.0.0.79", "--debug-to", "127.0.0.78", "--debug-from", "192.168.1.1"},
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
