// The maintenance commands on the command line: the window's values from the store and the arguments, the
// same messages on stderr, the options stored as the window stores them, and the exit code.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/tool_options.h"
#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/icmp_echo.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "sim/tcp_loader.h"
#include "tests/support/command_host.h"
#include "tests/support/hex_text.h"
#include "tests/support/loopback.h"
#include "tests/support/scaled_timing.h"
#include "tests/support/test_env.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using sim::UnitKind;

struct Outcome {
  int code;
  std::string err;
};

class MaintenanceCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
  }
  void TearDown() override {
    if (phone_) phone_->Stop();
  }
  void StartPhone(const std::string& address, const sim::TcpFaults& faults = {}) {
    sim::TcpLoader::Config config;
    config.address = address;
    config.eraseMs = 8000;
    phone_ = std::make_unique<sim::TcpLoader>(config);
    phone_->SetFaults(faults);
    ASSERT_TRUE(phone_->Start()) << phone_->Error();
  }
  Outcome Run(const std::string& name, const std::vector<std::string>& args) {
    // In memory, so that a file-size limit on the store does not cut them short.
    char* errText = nullptr;
    char* outText = nullptr;
    size_t errSize = 0, outSize = 0;
    FILE* err = ::open_memstream(&errText, &errSize);
    FILE* out = ::open_memstream(&outText, &outSize);
    Outcome o;
    // Usage errors go to the process's stderr, the messages of a run to its Ui's.
    ::testing::internal::CaptureStderr();
    {
      cli::TerminalUi ui(err, out);
      o.code = cli::RunSubcommand(name, args, ui);
    }
    o.err = ::testing::internal::GetCapturedStderr();
    std::fclose(err);
    std::fclose(out);
    o.err.append(errText, errSize);
    std::free(errText);
    std::free(outText);
    return o;
  }
  std::string File(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir_.File(name), bytes);
    return dir_.File(name);
  }
  static int Stored(const char* section, const char* key) {
    return SettingsStore::Profile().GetInt(section, key, -12345);
  }

  ScopedProcessEvents events_;
  // A name given for the phone never reaches a name server.
  ScopedHostNameLookup names_{[](const std::string&) { return std::optional<uint32_t>(); }};
  test::ScaledTiming timing_{0.001, 0.1, {100, std::chrono::milliseconds(400)}};
  test::TempDir dir_;
  std::unique_ptr<sim::TcpLoader> phone_;
};

TEST_F(MaintenanceCliTest, AFileUpdateGoesToThePhoneGivenAndStoresItAsThePeer) {
  StartPhone(loopback::kCliFileUpdate.dotted);
  Outcome o = Run("update-ring",
                  {File("ring.dat", std::string(300, 'r')), "--phone", loopback::kCliFileUpdate.dotted});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_NE(o.err.find("Updating ... please wait until the update led stop on and off"), std::string::npos);
  ASSERT_TRUE(phone_->Stored(0x82).has_value());
  EXPECT_EQ(phone_->Stored(0x82)->size(), 512u);
  EXPECT_EQ(static_cast<uint32_t>(Stored("Peer", "IPAddress")), loopback::kCliFileUpdate.value);
  EXPECT_EQ(SettingsStore::Profile().GetString("RingUpdate", "SrcName", ""), dir_.File("ring.dat"));
  EXPECT_EQ(Stored("Comm", "Type"), 1);
  EXPECT_EQ(Stored("PFlash", "Type"), 4);
}

TEST_F(MaintenanceCliTest, AOneOffSerialIsStoredAsTheWindowWouldButTheNextRunIsTcpAgain) {
  StartPhone(loopback::kCliOneOffSerial.dotted);
  Outcome o = Run("update-program", {File("fw.bin", "x"), "--serial", "--port", "COM2", "--phone",
                                     loopback::kCliOneOffSerial.dotted});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("Only Tcpip connection can be used for this function"), std::string::npos) << o.err;
  EXPECT_EQ(Stored("Comm", "Type"), 0);
  EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "Port", ""), "COM2");
  EXPECT_EQ(phone_->Connections(), 0);
  // The next run takes nothing from the store: without --serial it is a TCP/IP run.
  Outcome next = Run("update-program", {File("fw.bin", "x"), "--phone", loopback::kCliOneOffSerial.dotted});
  EXPECT_EQ(next.code, 0) << next.err;
  EXPECT_TRUE(phone_->Stored(0x81).has_value());
  EXPECT_EQ(Stored("Comm", "Type"), 1);
  EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "Port", ""), "COM1");
}

TEST_F(MaintenanceCliTest, EveryCommandThatReachesAPhoneOverTheNetworkNeedsPhone) {
  // A stored phone that answers: a run that fell back on it would reach it.
  StartPhone(loopback::kCliNeedsPhone.dotted);
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Peer", "IPAddress",
                                                static_cast<int>(loopback::kCliNeedsPhone.value)));
  const std::string file = File("any.dat", "x");
  const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
      {"update-page", {}},
      {"update-program", {file}},
      {"update-ring", {file}},
      {"update-map", {file}},
      {"update-hold", {file}},
      {"update-alternate", {file}},
      {"push-settings", {"--yes"}},
      {"sdram-load", {file}},
      {"sdram-save", {dir_.File("out.dat"), "--length", "128"}},
      {"update-ring", {file, "--tcp"}},
      {"ping", {}},
  };
  for (const auto& [name, args] : rows) {
    Outcome o = Run(name, args);
    EXPECT_EQ(o.code, 2) << name << ": " << o.err;
    EXPECT_NE(o.err.find("--phone ADDRESS is required"), std::string::npos) << name << ": " << o.err;
  }
  // Only the SDRAM export needs its length.
  Outcome noLength = Run("sdram-save", {dir_.File("out.dat"), "--phone", loopback::kCliNeedsPhone.dotted});
  EXPECT_EQ(noLength.code, 2);
  EXPECT_NE(noLength.err.find("--length N is required"), std::string::npos) << noLength.err;
  // Over the serial line no phone address is needed (and this command refuses the serial line itself).
  EXPECT_EQ(Run("update-ring", {file, "--serial"}).code, 1);
  EXPECT_EQ(phone_->Connections(), 0);
  EXPECT_FALSE(test::FileExists(dir_.File("out.dat")));
}

TEST_F(MaintenanceCliTest, ABadSdramLengthStopsTheExportAloneAndTheOtherOptionsAreStored) {
  StartPhone(loopback::kCliBadLength.dotted);
  auto sdram = std::vector<uint8_t>(1024, 0x5A);
  phone_->SetSdramImage(sdram);
  EXPECT_TRUE(SettingsStore::Profile().WriteInt("Sdram", "SaveLength", 77));
  Outcome refused = Run(
      "sdram-save", {dir_.File("a.dat"), "--length", "640001", "--phone", loopback::kCliBadLength.dotted});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("Please enter an integer between 0 and 640000."), std::string::npos)
      << refused.err;
  EXPECT_FALSE(test::FileExists(dir_.File("a.dat")));
  EXPECT_EQ(Stored("Sdram", "SaveLength"), 77);  // left as it was
  EXPECT_EQ(static_cast<uint32_t>(Stored("Peer", "IPAddress")), loopback::kCliBadLength.value);
  EXPECT_EQ(phone_->Connections(), 0);

  Outcome saved =
      Run("sdram-save", {dir_.File("a.dat"), "--length", "1000", "--phone", loopback::kCliBadLength.dotted});
  EXPECT_EQ(saved.code, 0) << saved.err;
  EXPECT_EQ(test::ReadBytes(dir_.File("a.dat")), std::vector<uint8_t>(1000, 0x5A));
  EXPECT_EQ(Stored("Sdram", "SaveLength"), 1000);
  // A length applies to its run only: the next export names its own.
  EXPECT_EQ(Run("sdram-save", {dir_.File("b.dat"), "--phone", loopback::kCliBadLength.dotted}).code, 2);
}

TEST_F(MaintenanceCliTest, SdramSaveToADestinationThatCannotBeWrittenSendsNothing) {
  StartPhone(loopback::kCliCannotWrite.dotted);
  const std::string to = dir_.File("folder");  // a folder: no file can take its place
  std::filesystem::create_directory(to);
  Outcome o = Run("sdram-save", {to, "--length", "256", "--phone", loopback::kCliCannotWrite.dotted});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("Can not create dest file\n" + to + ": " + std::strerror(EISDIR)), std::string::npos)
      << o.err;
  EXPECT_EQ(phone_->Connections(), 0);
}

// A store that cannot be written (a full disk, here a file-size limit) is named with the reason and fails
// the run: the settings push sends nothing, the ring update still reaches the phone given.
TEST_F(MaintenanceCliTest, AStoreThatCannotBeWrittenFailsTheRunAndStopsTheSettingsPush) {
  StartPhone(loopback::kCliStoreFails.dotted);
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("Comm", "Type", 1));
  const std::string store = SettingsStore::Profile().FilePath();
  const std::string ring = File("ring.dat", "ring");
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  auto ignored = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the test
  rlimit full = before;
  full.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size(store));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  Outcome push = Run("push-settings", {"--phone", loopback::kCliStoreFails.dotted, "--yes"});
  Outcome update = Run("update-ring", {ring, "--phone", loopback::kCliStoreFails.dotted});
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, ignored);

  const std::string failure = "Can not write the settings store\n" + store + ": " + std::strerror(EFBIG);
  EXPECT_EQ(push.code, 1);
  EXPECT_NE(push.err.find(failure), std::string::npos) << push.err;
  EXPECT_FALSE(phone_->Stored(0x80).has_value());
  EXPECT_EQ(update.code, 1);
  EXPECT_NE(update.err.find(failure), std::string::npos) << update.err;
  EXPECT_TRUE(phone_->Stored(0x82).has_value());
}

// A remembered file name is only the next dialog's initial name: when the store cannot keep it (a name
// longer than the file-size limit leaves room for, while the options, stored as before, still fit) the
// update still reaches the phone, but the failure is said once, with the store file, and the run fails.
TEST_F(MaintenanceCliTest, ANameTheStoreCannotRememberIsSaidAndFailsTheRunButTheUpdateGoesOn) {
  StartPhone(loopback::kCliNameNotRemembered.dotted);
  const std::string ring = File("ring.dat", "first");
  ASSERT_EQ(Run("update-ring", {ring, "--phone", loopback::kCliNameNotRemembered.dotted}).code, 0);
  phone_->Stop();
  StartPhone(
      loopback::kCliNameNotRemembered.dotted);  // the phone that took the first ring is busy writing it
  const std::string store = SettingsStore::Profile().FilePath();
  const std::string longer = File(std::string(200, 'r') + ".dat", "second");
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  auto ignored = std::signal(SIGXFSZ, SIG_IGN);
  rlimit full = before;
  full.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size(store));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  Outcome o = Run("update-ring", {longer, "--phone", loopback::kCliNameNotRemembered.dotted});
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, ignored);

  const std::string failure = "Can not write the settings store\n" + store + ": " + std::strerror(EFBIG);
  EXPECT_EQ(o.code, 1);
  const size_t said = o.err.find(failure);
  ASSERT_NE(said, std::string::npos) << o.err;
  EXPECT_EQ(o.err.find(failure, said + 1), std::string::npos) << o.err;
  ASSERT_TRUE(phone_->Stored(0x82).has_value());
  std::vector<uint8_t> expected = {'s', 'e', 'c', 'o', 'n', 'd'};
  expected.resize(256, 0x00);
  EXPECT_EQ(*phone_->Stored(0x82), expected);
  EXPECT_EQ(SettingsStore::Profile().GetString("RingUpdate", "SrcName", ""), ring);
}

TEST_F(MaintenanceCliTest, UpdatePageTakesPage0HexFromTheGivenDirectoryAndAsksOnlyWhenItMust) {
  StartPhone(loopback::kCliUpdatePage.dotted);
  test::WriteFile(dir_.File("Page0.hex"), test::IntelHex({{0, std::vector<uint8_t>(40, 0x11)}}));
  Outcome asked = Run("update-page", {"--dir", dir_.Path(), "--page", "2", "--chip", "1", "--phone",
                                      loopback::kCliUpdatePage.dotted});
  EXPECT_EQ(asked.code, 1);
  EXPECT_NE(asked.err.find("Are you sure about flash page?"), std::string::npos) << asked.err;
  EXPECT_EQ(phone_->Connections(), 0);

  Outcome done = Run("update-page", {"--dir", dir_.Path(), "--phone", loopback::kCliUpdatePage.dotted});
  EXPECT_EQ(done.code, 0) << done.err;
  ASSERT_TRUE(phone_->Page(0).has_value());
  std::vector<uint8_t> expected(40, 0x11);
  expected.resize(256, 0xFF);
  EXPECT_EQ(*phone_->Page(0), expected);
  EXPECT_EQ(SettingsStore::Profile().GetString("PFlashUpdate", "SrcName", ""), dir_.File("Page0.hex"));
  EXPECT_EQ(Stored("PFlash", "Page"), 0);
}

TEST_F(MaintenanceCliTest, PushSettingsSendsOnlyWhenTheQuestionIsAnsweredYes) {
  StartPhone(loopback::kCliPushSettings.dotted);
  phone_->SetSettingsImage(std::vector<uint8_t>(512, 0x21));
  EXPECT_EQ(Run("push-settings", {"--phone", loopback::kCliPushSettings.dotted}).code, 1);
  EXPECT_FALSE(phone_->Stored(0x80).has_value());
  Outcome o = Run("push-settings", {"--phone", loopback::kCliPushSettings.dotted, "--yes"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_NE(o.err.find("New settings updated"), std::string::npos);
  SettingsImage expected;
  BuildSettingsImage(expected);
  ASSERT_TRUE(phone_->Stored(0x80).has_value());
  EXPECT_EQ(*phone_->Stored(0x80), std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(MaintenanceCliTest, PingTestsTheAddressGivenAndStoresNothing) {
  std::vector<std::string> asked;
  EchoStatus status = EchoStatus::Success;
  ScopedIcmpEcho echo([&](const std::string& address) {
    asked.push_back(address);
    return EchoResult{status, ""};
  });
  EXPECT_EQ(Run("ping", {"--phone", loopback::kCliPing.dotted}).code, 0);
  status = EchoStatus::NoReply;
  Outcome o = Run("ping", {loopback::kCliPing.dotted});  // the older form
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("Can't connect to phone IP address " + loopback::kCliPing + "."), std::string::npos)
      << o.err;
  EXPECT_EQ(asked, (std::vector<std::string>{loopback::kCliPing.dotted, loopback::kCliPing.dotted}));
  EXPECT_FALSE(SettingsStore::Profile().Contains("Peer", "IPAddress"));
  EXPECT_EQ(Run("factory-restore", {}).code, 0);
}

TEST_F(MaintenanceCliTest, ArgumentsOutsideTheirRangeAreUsageErrors) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
      {"update-page", {"--page", "16", "--phone", loopback::kCliUsage.dotted}},
      {"update-page", {"--chip", "5", "--phone", loopback::kCliUsage.dotted}},
      {"update-page", {"--port", "COM3", "--phone", loopback::kCliUsage.dotted}},
      {"update-page", {"--serial", "--tcp", "--phone", loopback::kCliUsage.dotted}},
      {"update-page", {"extra", "--phone", loopback::kCliUsage.dotted}},
      {"update-ring", {"--phone", loopback::kCliUsage.dotted}},
      {"update-ring", {"a.dat", "b.dat", "--phone", loopback::kCliUsage.dotted}},
      {"sdram-save", {"x.dat", "--length", "lots", "--phone", loopback::kCliUsage.dotted}},
      {"update-hold", {"h.dat", "--phone", "not an address"}},
      {"ping", {loopback::kCliUsage.dotted, "--phone", loopback::kCliUsage.dotted}},
      {"factory-restore", {"--phone", loopback::kCliUsage.dotted}},
  };
  for (const auto& [name, args] : rows) {
    Outcome o = Run(name, args);
    EXPECT_EQ(o.code, 2) << name << " " << (args.empty() ? "" : args[0]) << ": " << o.err;
  }
  EXPECT_FALSE(SettingsStore::Profile().Contains("Comm", "Type"));  // a usage error stores nothing
}

}  // namespace
}  // namespace quill
