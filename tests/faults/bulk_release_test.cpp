// The serial SDRAM export hands its buffer to the link thread in bulk mode and releases it when the export
// ends. Bytes the phone sends after the last eight the export waited for are still queued for the link
// thread at that moment: switching bulk mode off must not return before the thread is done with the
// buffer, or those bytes are written into memory that is no longer the export's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "link/maintenance_link.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

TEST(SerialBulkRelease, NothingReachesTheBufferOnceBulkModeIsOff) {
  test::ClearStore();
  ScopedProcessEvents events;
  test::ScaledTiming timing{0.001, 0.4};
  test::PtyPair pty;
  ASSERT_TRUE(pty.IsValid());
  ASSERT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", pty.SlavePath()));
  test::FakeUi ui;
  CMaintenanceLink link(ui);
  ASSERT_TRUE(link.StartSerialLink("COM1"));
  // Eight bytes answer the request; what follows them in the same write is more than the line's reads
  // take at once, so part of it is still queued when the acknowledgement comes.
  std::vector<uint8_t> answer(8 + 3000);
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i * 7 + 1);
  // Every round's buffer stays for the whole test and is compared once the thread has ended, so a late
  // write shows as a difference rather than as a write into freed memory.
  constexpr int kRounds = 300;
  std::vector<std::vector<uint8_t>> buffers(kRounds, std::vector<uint8_t>(answer.size(), 0x00));
  std::vector<std::vector<uint8_t>> atRelease(kRounds);
  for (int round = 0; round < kRounds; ++round) {
    link.SetSerialBulk(buffers[round]);
    ASSERT_EQ(::write(pty.Master(), answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    ASSERT_TRUE(link.WaitSerialAck(1000)) << round;
    link.ClearSerialBulk();
    atRelease[round] = buffers[round];
  }
  link.StopSerialLink();
  int changed = 0;
  for (int round = 0; round < kRounds; ++round) changed += buffers[round] != atRelease[round];
  EXPECT_EQ(changed, 0) << "buffers written after bulk mode was switched off";
}

}  // namespace
}  // namespace quill
