// The serial link's stop lets the last bytes reach the phone: a flash write ends with a byte that nothing
// answers, and the port is closed right after it.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include "tests/support/pty_pair.h"
#include "transport/serial_port.h"

namespace quill {
namespace {

std::vector<uint8_t> ReadAvailable(int master, size_t wanted) {
  std::vector<uint8_t> out;
  uint8_t buffer[64];
  while (out.size() < wanted) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) break;
    ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

TEST(SerialDrain, BytesWrittenJustBeforeTheCloseReachTheOtherEnd) {
  const std::vector<uint8_t> chunk = {0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF};
  // The loss was a race between the write thread and the close; a few rounds make it show.
  for (int round = 0; round < 20; ++round) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CCommPort port;
    ASSERT_TRUE(port.Open(Hwnd{}, 19200, pty.SlavePath(), WM_COMM_DATA));
    for (uint8_t b : chunk) ASSERT_TRUE(port.Write(b));
    EXPECT_TRUE(port.Drain(1000));
    port.Close();
    EXPECT_EQ(ReadAvailable(pty.Master(), chunk.size()), chunk) << "round " << round;
  }
}

TEST(SerialDrain, AClosedPortHasNothingToDrain) {
  CCommPort port;
  EXPECT_FALSE(port.Drain(10));
}

}  // namespace
}  // namespace quill
