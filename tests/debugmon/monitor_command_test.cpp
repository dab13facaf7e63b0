// `quilltool monitor` as a technician runs it: a separate process whose standard output is what the window
// would show, ended by a signal. The datagrams come from the simulator's sender on another loopback address.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/datagram_sender.h"
#include "sim/unique_fd.h"
#include "tests/transport/transport_harness.h"

extern char** environ;

namespace quill {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);
constexpr const char* kPhone = "127.0.0.110";
const std::string P = "127.0.0.110: ";

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

// The command with its standard output and standard error on pipes of their own. The host's own address
// is 127.0.0.1 here, so the child never takes the phone's datagrams for its own.
class Monitor {
 public:
  ~Monitor() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool Start(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return false;
    out_.Reset(out[0]);
    err_.Reset(err[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::string program = QUILL_TEST_BINARY_DIR "/quilltool";
    std::vector<std::string> all = {program, "--debug-log", "monitor"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int r = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    return r == 0;
  }

  // Reads both outputs until the given one holds text; false at the time-out or when both have ended.
  bool WaitForOut(const std::string& text) { return WaitFor(out_text_, text); }
  bool WaitForErr(const std::string& text) { return WaitFor(err_text_, text); }

  // The exit code once the child has ended; -1 if it does not end in time.
  int Wait() {
    auto deadline = Clock::now() + kWait;
    while (ReadSome(deadline)) {
    }
    if (out_.IsOpen() || err_.IsOpen()) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void Signal(int sig) { ::kill(pid_, sig); }
  const std::string& Out() const { return out_text_; }
  const std::string& Err() const { return err_text_; }

 private:
  bool WaitFor(const std::string& in, const std::string& text) {
    auto deadline = Clock::now() + kWait;
    while (in.find(text) == std::string::npos) {
      if (!ReadSome(deadline)) return false;
    }
    return true;
  }

  bool ReadSome(Clock::time_point deadline) {
    if (!out_.IsOpen() && !err_.IsOpen()) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p[2] = {{out_.IsOpen() ? out_.Get() : -1, POLLIN, 0},
                   {err_.IsOpen() ? err_.Get() : -1, POLLIN, 0}};
    if (left <= 0 || ::poll(p, 2, static_cast<int>(left)) < 1) return false;
    Drain(p[0], out_, out_text_);
    Drain(p[1], err_, err_text_);
    return true;
  }

  static void Drain(const pollfd& p, sim::UniqueFd& fd, std::string& into) {
    if (!p.revents) return;
    char buffer[4096];
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n <= 0)
      fd.Reset();
    else
      into.append(buffer, static_cast<size_t>(n));
  }

  pid_t pid_ = -1;
  sim::UniqueFd out_;
  sim::UniqueFd err_;
  std::string out_text_;
  std::string err_text_;
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
       "127.0.0.111",
       SIGINT,
       {"abc", "0x1018 3\n\0boot 0x1000\n\0"s, a480 + '\0', "0x1085 112\n"},
       P + "abc" + P + "arp send 3\n" + P + "boot check point 0\n" + P + a480 +
           "ras adm rej--resource unavailable 112\n"},
      {"cdr",
       "127.0.0.112",
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
    for (const std::string& d : row.datagrams) ASSERT_TRUE(phone.Send(port, Bytes(d)));
    // Each text is out as soon as it came: the output is complete before the command ends.
    EXPECT_TRUE(monitor.WaitForOut(row.shown)) << monitor.Out();
    monitor.Signal(row.signal);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Err();
    EXPECT_EQ(monitor.Out(), row.shown);
    EXPECT_NE(monitor.Err().find("UDP IO thread shutting down\n"), std::string::npos) << monitor.Err();
  }
}

TEST(MonitorCommand, AListenerThatCannotBindEndsTheCommandWithItsReason) {
  test::UdpPeer squatter("127.0.0.113", sim::kDebugPort, false);  // does not share the port
  ASSERT_TRUE(squatter.IsBound());
  Monitor monitor;
  ASSERT_TRUE(monitor.Start({"debug", "--address", "127.0.0.113"}));
  EXPECT_EQ(monitor.Wait(), 1);
  EXPECT_NE(monitor.Err().find("quilltool monitor: the listener on UDP port 8225 of 127.0.0.113 ended: "
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
