// The connection test and its ICMP echo, and the factory-restore box. The echo goes to this test's own
// loopback address only.
#include <gtest/gtest.h>

#include "link/maintenance_commands.h"
#include "platform/debug_log.h"
#include "platform/icmp_echo.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "tests/support/census.h"
#include "tests/support/command_host.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

constexpr const char* kSucceeds = "connection succeeds，you may start updating now!";

// The echo of this machine, or why this sandbox cannot send one.
EchoResult LoopbackEcho() {
  return SystemIcmpEcho(loopback::kConnectionEcho.dotted);
}

TEST(IcmpEcho, TheLoopbackAddressAnswers) {
  EchoResult r = LoopbackEcho();
  if (r.status == EchoStatus::NotSent) GTEST_SKIP() << "this sandbox allows no ICMP socket: " << r.reason;
  EXPECT_EQ(r.status, EchoStatus::Success) << r.reason;
  // Each kind alone: where it is allowed it gets the answer too, where not it says which kind failed.
  for (bool datagram : {true, false}) {
    IcmpEchoOptions options;
    options.tryDatagram = datagram;
    options.tryRaw = !datagram;
    EchoResult one = SystemIcmpEcho(loopback::kConnectionEcho.dotted, options);
    if (one.status == EchoStatus::NotSent) {
      EXPECT_NE(one.reason.find(datagram ? "datagram socket" : "raw socket"), std::string::npos)
          << one.reason;
    } else {
      EXPECT_EQ(one.status, EchoStatus::Success) << (datagram ? "datagram: " : "raw: ") << one.reason;
    }
  }
}

TEST(IcmpEcho, NothingIsSentWithoutASocketKindOrAnAddress) {
  IcmpEchoOptions none;
  none.tryDatagram = none.tryRaw = false;
  EXPECT_EQ(SystemIcmpEcho(loopback::kConnectionEcho.dotted, none).status, EchoStatus::NotSent);
  EchoResult name = SystemIcmpEcho("phone.example");  // never looked up: the field only holds numbers
  EXPECT_EQ(name.status, EchoStatus::NotSent);
  EXPECT_NE(name.reason.find("not an IPv4 address"), std::string::npos);
}

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  std::string StoreText() const { return test::ReadFile(SettingsStore::Profile().FilePath()); }

  ScopedProcessEvents events_;
  test::FakeUi ui_;
  test::FakeCommandHost host_;
  CMaintenanceLink link_{ui_};
  CMaintenanceCommands commands_{ui_, link_, host_};
};

TEST_F(ConnectionTest, TheLoopbackAddressSucceedsWithoutChangingAnyOption) {
  if (LoopbackEcho().status == EchoStatus::NotSent) GTEST_SKIP() << "this sandbox allows no ICMP socket";
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress", 0x0A000005));
  const std::string before = StoreText();
  host_.ipField = loopback::kConnectionEcho.value;
  host_.linkType = 0;  // the test works whichever link is selected
  int fds = test::OpenDescriptorCount();
  EXPECT_TRUE(commands_.TestConnection());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kSucceeds);
  EXPECT_EQ(ui_.messages[0].caption, "connection succeeds");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Information);
  EXPECT_EQ(ui_.messages[0].buttons, MbButtons::Ok);
  EXPECT_EQ(host_.saves, 0);
  EXPECT_EQ(StoreText(), before);
  EXPECT_EQ(test::OpenDescriptorCount(), fds);
}

TEST_F(ConnectionTest, TheEchoGoesToTheFieldsAddressAndItsOutcomeChoosesTheBox) {
  struct Row {
    EchoStatus status;
    bool ok;
    const char* caption;
    MbIcon icon;
    std::string textStart;
  };
  const Row rows[] = {
      {EchoStatus::Success, true, "connection succeeds", MbIcon::Information, kSucceeds},
      {EchoStatus::NoReply, false, "Can't connect to phone IP address", MbIcon::Stop,
       "Can't connect to phone IP address " + loopback::kConnectionRecorded +
           ".\nPlease check the network configuration of your "
           "computer or "
           "phone."},
      {EchoStatus::NotSent, false, "Connection test not sent", MbIcon::Stop,
       "Can not test the connection to " + loopback::kConnectionRecorded +
           ": this computer does not let the tool send an ICMP echo "
           "request "
           "(raw socket: Operation not permitted)."},
  };
  host_.ipField = loopback::kConnectionRecorded.value;
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.status));
    ui_.messages.clear();
    std::vector<std::string> asked;
    ScopedIcmpEcho echo([&](const std::string& address) {
      asked.push_back(address);
      return EchoResult{row.status,
                        row.status == EchoStatus::NotSent ? "raw socket: Operation not permitted" : ""};
    });
    DebugLogCapture log;
    EXPECT_EQ(commands_.TestConnection(), row.ok);
    EXPECT_EQ(asked, std::vector<std::string>{loopback::kConnectionRecorded.dotted});
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text.rfind(row.textStart, 0), 0u) << ui_.messages[0].text;
    EXPECT_EQ(ui_.messages[0].caption, row.caption);
    EXPECT_EQ(ui_.messages[0].icon, row.icon);
    // Only an echo that could not be sent says why in the debug log.
    EXPECT_EQ(log.Contains("ICMP echo to " + loopback::kConnectionRecorded +
                           " not sent: raw socket: Operation not permitted\n"),
              row.status == EchoStatus::NotSent);
  }
  EXPECT_EQ(host_.saves, 0);
}

TEST_F(ConnectionTest, FactoryRestoreShowsTheKeypadSequence) {
  EXPECT_TRUE(commands_.ShowFactoryRestore());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "Please operate on the phone keypad\naccording to the following sequence:\n\n\n"
            " UP->Set/OK->UP->Set/OK->UP->UP\n");
  EXPECT_EQ(ui_.messages[0].caption, "Restore Factory");
  EXPECT_EQ(ui_.messages[0].icon, MbIcon::Information);
  EXPECT_EQ(host_.saves, 0);
}

}  // namespace
}  // namespace quill
