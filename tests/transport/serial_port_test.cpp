// CCommPort on pseudo-terminals: the port opens the slave, the test works the master. As in the tool, the
// port is opened, written and closed from outside the owner's thread; the owner window only receives.
#include "transport/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/settings_store.h"
#include "platform/timing.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"
#include "tests/support/transport_harness.h"

namespace quill {
namespace {

using namespace test;

struct Nothing {};

// The serial link's window, reduced to recording what reaches it.
class Receiver {
 public:
  Receiver()
      : owner_([this](OwnerWindow<Nothing>& w) { w.onMessage = [this](OwnerWindow<Nothing>&, Message& m) { inbox_.Add(m); }; }) {}
  Hwnd Window() const { return owner_.Window(); }
  Inbox& inbox() { return inbox_; }

 private:
  Inbox inbox_;
  Owner<Nothing> owner_;
};

std::vector<uint8_t> ReadMaster(int master, size_t count, std::chrono::milliseconds limit = 10s) {
  std::vector<uint8_t> out;
  auto until = std::chrono::steady_clock::now() + limit;
  uint8_t buffer[512];
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd p{master, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
    ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

const std::vector<std::string> kThreadLines = {"CommPort read thread shutting down\n", "CommPort read thread starting\n",
                                               "CommPort write thread shutting down\n",
                                               "CommPort write thread starting\n"};

TEST(CommPort, OpenedByItsMappedNameItCarriesBytesBothWaysAndClosesCleanly) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsValid());
  ASSERT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", pty.SlavePath()));
  LogWatch log;
  Census before;
  {
    Receiver receiver;
    CCommPort port;
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, "COM1", WM_COMM_DATA));
    EXPECT_TRUE(port.IsOpen());

    // In: chunks of at most 160 bytes, each with a spare byte for the owner's terminator.
    auto incoming = Pattern(1000, 11);
    ASSERT_EQ(::write(pty.Master(), incoming.data(), incoming.size()), 1000);
    ASSERT_TRUE(receiver.inbox().WaitForBytes(WM_COMM_DATA, incoming.size()));
    EXPECT_EQ(receiver.inbox().Joined(WM_COMM_DATA), incoming);
    for (auto& r : receiver.inbox().Of(WM_COMM_DATA)) {
      EXPECT_GT(r.bytes.size(), 0u);  // a read that finds nothing posts nothing
      EXPECT_LE(r.bytes.size(), kCommChunk);
      EXPECT_EQ(r.wParam, r.bytes.size());
      EXPECT_EQ(r.capacity, kCommChunk + 1);
      EXPECT_TRUE(r.lParamIsBytes);
    }

    // Out: every byte, in order, from any thread.
    std::vector<uint8_t> outgoing;
    for (int i = 0; i < 256; ++i) {
      ASSERT_TRUE(port.Write(static_cast<uint8_t>(i)));
      outgoing.push_back(static_cast<uint8_t>(i));
    }
    EXPECT_EQ(ReadMaster(pty.Master(), outgoing.size()), outgoing);

    port.Close();
    EXPECT_FALSE(port.IsOpen());
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  std::vector<std::string> threadLines;
  size_t dataWaiting = 0, readLines = 0;
  for (auto& line : log.Lines()) {
    if (line.rfind("CommPort", 0) == 0) {
      threadLines.push_back(line);
    } else if (line == "Data waiting for ReadFile.\n") {
      ++dataWaiting;
    } else {
      // A chunk that was already there when the next read began is logged with its size.
      ++readLines;
      int count = line.rfind("Read ", 0) == 0 ? std::atoi(line.c_str() + 5) : 0;
      EXPECT_TRUE(count > 0 && count <= 160) << line;
      EXPECT_EQ(line, "Read " + std::to_string(count) + " bytes\n");
    }
  }
  EXPECT_EQ(Sorted(threadLines), kThreadLines);
  EXPECT_EQ(dataWaiting, readLines);
}

TEST(CommPort, AClosedPortRefusesWritesAndClosingTwiceIsHarmless) {
  LogWatch log;
  Census before;
  {
    CCommPort never;
    EXPECT_FALSE(never.IsOpen());
    EXPECT_FALSE(never.Write(0x55));
    never.Close();

    PtyPair pty;
    Receiver receiver;
    CCommPort port;
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Write(0x55));
    // Nothing was queued or sent after the close.
    EXPECT_TRUE(ReadMaster(pty.Master(), 1, 100ms).empty());
    // A closed port opens again.
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
    ASSERT_TRUE(port.Write(0x16));
    EXPECT_EQ(ReadMaster(pty.Master(), 1), std::vector<uint8_t>{0x16});
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  // Each open ran both threads and each close ended them; a read thread stopped before it was under way
  // does not announce its start.
  EXPECT_EQ(log.Count("CommPort read thread shutting down\n"), 2u);
  EXPECT_EQ(log.Count("CommPort write thread starting\n"), 2u);
  EXPECT_EQ(log.Count("CommPort write thread shutting down\n"), 2u);
  EXPECT_EQ(log.Lines().size(), 6u + log.Count("CommPort read thread starting\n"));
}

TEST(CommPort, AnExistingDescriptorMustBeACharacterDeviceAndStaysTheCallers) {
  TempDir dir;
  WriteFile(dir.File("plain"), "x");
  int file = ::open(dir.File("plain").c_str(), O_RDWR | O_CLOEXEC);
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  PtyPair pty;
  LogWatch log;
  Census before;
  {
    Receiver receiver;
    CCommPort port;
    for (int fd : {file, pipeEnds[0]}) {
      EXPECT_FALSE(port.Open(receiver.Window(), 19200, "", WM_COMM_DATA, fd));
      EXPECT_FALSE(port.IsOpen());
      EXPECT_EQ(::fcntl(fd, F_GETFD), FD_CLOEXEC);  // still open, still the caller's
    }
    EXPECT_TRUE(log.Lines().empty());

    ASSERT_TRUE(port.Open(receiver.Window(), 19200, "", WM_COMM_DATA, pty.Slave()));
    ASSERT_TRUE(port.Write('A'));
    EXPECT_EQ(ReadMaster(pty.Master(), 1), std::vector<uint8_t>{'A'});
    port.Close();
    EXPECT_EQ(::fcntl(pty.Slave(), F_GETFD), FD_CLOEXEC);
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  ::close(file);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(CommPort, EachSetupFailureIsLoggedAndLeavesThePortClosed) {
  PtyPair pty;
  int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);  // a character device, but no serial line
  struct Row {
    const char* what;
    std::string name;
    int baud;
    int fd;
    std::vector<std::string> lines;
  };
  std::vector<Row> rows = {
      {"not a line", "", 19200, null, {"Purge Comm fail\n"}},
      {"unknown rate", pty.SlavePath(), 12345, -1, {"Set Comm State fail\n"}},
      {"no such device", "/dev/quill-no-such-port", 19200, -1, {}},
      {"no terminal by name", "/dev/null", 19200, -1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LogWatch log;
    Census before;
    {
      Receiver receiver;
      CCommPort port;
      EXPECT_FALSE(port.Open(receiver.Window(), row.baud, row.name, WM_COMM_DATA, row.fd));
      EXPECT_FALSE(port.IsOpen());
      EXPECT_FALSE(port.Write(1));
    }
    EXPECT_EQ(log.Lines(), row.lines);
    EXPECT_TRUE(before.Back()) << before.Describe();
  }
  ::close(null);
}

TEST(CommPort, TheLineIsSetRawWithoutFlowControlAndKeepsItsByteSize) {
  PtyPair pty;
  termios cooked{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  cooked.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INPCK;
  cooked.c_oflag |= OPOST;
  cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  ASSERT_EQ(::tcsetattr(pty.Slave(), TCSANOW, &cooked), 0);
  ASSERT_EQ(::tcgetattr(pty.Slave(), &cooked), 0);  // as the driver took it

  Receiver receiver;
  CCommPort port;
  ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
  termios line{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &line), 0);
  EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B19200));
  EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B19200));
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_cflag & CSIZE, cooked.c_cflag & CSIZE);
  EXPECT_EQ(line.c_cc[VMIN], 0);
  EXPECT_EQ(line.c_cc[VTIME], 0);
  port.Close();
}

TEST(CommPort, ALineThatGoesAwayEndsEachThreadWithAFailureMessage) {
  PtyPair pty;
  LogWatch log;
  Census before;
  {
    Receiver receiver;
    CCommPort port;
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
    // Both threads have said they started before the line goes away: the two start lines come in either
    // order, and the failure lines below are about what follows them.
    ASSERT_TRUE(log.WaitFor("CommPort read thread starting\n"));
    ASSERT_TRUE(log.WaitFor("CommPort write thread starting\n"));
    pty.CloseMaster();
    before.Closed(1);
    ASSERT_TRUE(receiver.inbox().WaitForCount(WM_COMM_FAILED, 1));
    ASSERT_TRUE(log.WaitFor("CommPort read thread shutting down\n"));
    EXPECT_TRUE(port.IsOpen());  // half-dead until closed
    // The write thread finds out with its next byte.
    ASSERT_TRUE(port.Write(0x55));
    ASSERT_TRUE(receiver.inbox().WaitForCount(WM_COMM_FAILED, 2));
    ASSERT_TRUE(log.WaitFor("CommPort write thread shutting down\n"));
    for (auto& r : receiver.inbox().Of(WM_COMM_FAILED)) {
      EXPECT_EQ(r.wParam, 0u);
      EXPECT_EQ(r.lParam, 0);
    }
    port.Close();
    EXPECT_FALSE(port.IsOpen());
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  const std::string invalid = "ERROR_INVALID_HANDLE: Likely that the Service Provider has closed the port.\n";
  auto lines = log.Lines();
  auto read = std::find(lines.begin(), lines.end(), "Unexpected GetOverlappedResult Read Error in CommPort read thread.\n");
  ASSERT_NE(read, lines.end());
  EXPECT_EQ(*(read - 1), invalid);
  EXPECT_EQ(*(read + 1), "CommPort read thread shutting down\n");
  EXPECT_EQ(log.Count(invalid), 2u);
  EXPECT_EQ(lines.back(), "CommPort write thread shutting down\n");
  EXPECT_EQ(*(lines.end() - 2), invalid);
  EXPECT_EQ(lines.size(), 7u);
}

TEST(CommPort, AThreadThatDoesNotStopInTimeIsGivenUpAndThePortLeftClosed) {
  PtyPair pty;
  LogWatch log;
  Census before;
  {
    test::ScaledTiming fast(0.01);  // the 3000 ms limit is 30 ms here
    Receiver receiver;
    CCommPort port;
    log.Hold("CommPort read thread starting\n", 1000ms);  // the read thread is stuck for a second
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
    ASSERT_TRUE(log.Holding().Wait(10000));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Write(1));
    EXPECT_EQ(log.Count("Force to close CommPort read thread\n"), 1u);
    // The port opens again at once: the given-up thread holds nothing of the device.
    ASSERT_TRUE(port.Open(receiver.Window(), 19200, pty.SlavePath(), WM_COMM_DATA));
    ASSERT_TRUE(port.Write('B'));
    EXPECT_EQ(ReadMaster(pty.Master(), 1), std::vector<uint8_t>{'B'});
    port.Close();
  }
  EXPECT_TRUE(before.Back()) << before.Describe();
  EXPECT_EQ(log.Count("CommPort read thread shutting down\n"), 2u);  // the given-up thread ended after all
}

TEST(CommPort, ALineErrorEventIsOneLineNamingEachError) {
  struct Row {
    uint32_t errors;
    const char* line;
  };
  for (const Row& row : {
           Row{0, "Comm Event: NULL Error, \n"},
           Row{CE_FRAME, "Comm Event: CE_FRAME, \n"},
           Row{CE_FRAME | CE_OVERRUN, "Comm Event: CE_FRAME, CE_OVERRUN, \n"},
           Row{CE_RXPARITY | CE_OVERRUN, "Comm Event: CE_OVERRUN, CE_RXPARITY, \n"},
           Row{CE_BREAK, "Comm Event: EV_ERR Unknown EvtMask\n"},
           Row{CE_FRAME | CE_RXOVER, "Comm Event: CE_FRAME, EV_ERR Unknown EvtMask\n"},
       }) {
    EXPECT_EQ(FormatCommEvent(row.errors), row.line) << row.errors;
  }
}

}  // namespace
}  // namespace quill
