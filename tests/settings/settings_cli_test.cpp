#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "cli/terminal_ui.h"
#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"
#include "tests/support/test_env.h"

namespace quill::cli {
namespace {

class SettingsCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
    err = std::tmpfile();
  }
  void TearDown() override {
    ResetBaseSettingsImage();
    std::fclose(err);
  }

  int Run(const std::vector<std::string>& args, const char* command = "settings") {
    TerminalUi ui(err, stdout);
    return RunSubcommand(command, args, ui);
  }
  std::string Errors() {
    std::fflush(err);
    std::rewind(err);
    std::string text;
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, err)) > 0) text.append(buf, n);
    return text;
  }
  void WriteImage(const std::string& path, uint8_t fill, size_t size = kSettingsImageSize) {
    test::WriteFile(path, std::string(size, static_cast<char>(fill)));
  }

  test::TempDir dir;
  FILE* err = nullptr;
};

TEST_F(SettingsCommand, BuildWritesTheImageOfTheStoreOverAnOptionalBase) {
  SettingsImage expected;
  BuildSettingsImage(expected);
  ASSERT_EQ(Run({"build", dir.File("out.bin")}), kExitOk) << Errors();
  auto out = test::ReadBytes(dir.File("out.bin"));
  ASSERT_EQ(out.size(), kSettingsImageSize);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin()));

  WriteImage(dir.File("base.bin"), 0xA5);
  ASSERT_EQ(Run({"build", dir.File("out2.bin"), "--base", dir.File("base.bin")}), kExitOk) << Errors();
  out = test::ReadBytes(dir.File("out2.bin"));
  ASSERT_EQ(out.size(), kSettingsImageSize);
  EXPECT_EQ(out[0], 0x02);
  EXPECT_EQ(out[68], 0xA5);  // unmapped: from the base
  EXPECT_EQ(out[300], 0xA5);
  EXPECT_EQ(out[20], 0xA5);  // behind "100" and its terminator
}

TEST_F(SettingsCommand, ImportFillsTheStore) {
  SettingsImage image{};
  image[4] = 0x01;
  image[5] = 0x2C;
  test::WriteFile(dir.File("phone.bin"), std::string(image.begin(), image.end()));
  ASSERT_EQ(Run({"import", dir.File("phone.bin")}), kExitOk) << Errors();
  EXPECT_EQ(SettingsStore::Profile().GetInt("PhoneSettings", "Mac_L", 0), 300);
  EXPECT_EQ(SettingsStore::Profile().GetString("PhoneSettings", "Mac6", ""), "0x2c");
}

// A store that cannot be written fails the import (exit code 1, the store file and the reason on stderr)
// and changes nothing; one that cannot be read fails the commands that show it, instead of showing the
// defaults as if they were stored.
TEST_F(SettingsCommand, AStoreThatCannotBeWrittenOrReadFailsTheCommandNamingItsFile) {
  test::TempDir storeDir;
  SettingsStore::SetLocation(storeDir.Path());
  const std::string file = SettingsStore::Profile().FilePath();
  std::filesystem::create_directories(file);  // a folder where the file should be
  WriteImage(dir.File("phone.bin"), 0x01);
  EXPECT_EQ(Run({"import", dir.File("phone.bin")}), kExitFailure);
  EXPECT_NE(Errors().find("Can not write the settings store\n" + file + ": Is a directory\n"),
            std::string::npos)
      << Errors();
  EXPECT_EQ(SettingsStore::Profile().GetInt("PhoneSettings", "Mac_L", -1), -1);
  for (const char* command : {"settings", "options"}) {
    std::rewind(err);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run(command == std::string("settings") ? std::vector<std::string>{"show"}
                                                     : std::vector<std::string>{},
                  command),
              kExitFailure)
        << command;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << command;
    EXPECT_NE(Errors().find("Can not read the settings store\n" + file + ": Is a directory\n"),
              std::string::npos)
        << command << ": " << Errors();
  }
  test::UsePrivateStore();
}

TEST_F(SettingsCommand, ApplyWritesFourImagesFromOnePhoneImage) {
  WriteImage(dir.File("phone.bin"), 0x5A);
  test::WriteFile(dir.File("setting.txt"), "answer=1\n[setting3]\nanswer=3\n");
  ASSERT_EQ(Run({"apply", dir.File("setting.txt"), dir.File("phone.bin"), dir.File("alt.bin")}), kExitOk)
      << Errors();
  auto out = test::ReadBytes(dir.File("alt.bin"));
  ASSERT_EQ(out.size(), kAlternateSettingsSize);
  EXPECT_EQ(out[49], 1);
  EXPECT_EQ(out[512 + 49], 0x5A);
  EXPECT_EQ(out[1024 + 49], 3);
  EXPECT_EQ(out[1536 + 49], 0x5A);
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the test's folder
  int code;
  const char* says;  // on stderr
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class SettingsCommandFailures : public SettingsCommand, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SettingsCommandFailures, SayWhatIsWrongAndExitNonZero) {
  WriteImage(dir.File("short.bin"), 0, 511);
  test::WriteFile(dir.File("setting.txt"), "answer=1\n");
  WriteImage(dir.File("long.bin"), 0, 2048);
  WriteImage(dir.File("phone.bin"), 0);
  std::vector<std::string> args;
  for (std::string a : GetParam().args) {
    if (!a.empty() && a[0] == '@') a = dir.Path() + a.substr(1);
    args.push_back(a);
  }
  ::testing::internal::CaptureStderr();
  int code = Run(args);
  std::string usage = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, GetParam().code);
  std::string said = Errors() + usage;
  EXPECT_NE(said.find(GetParam().says), std::string::npos) << said;
  EXPECT_FALSE(test::FileExists(dir.File("out.bin")));
  EXPECT_EQ(test::ReadFile(dir.File("phone.bin")),
            std::string(kSettingsImageSize, '\0'));  // inputs untouched
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsCommandFailures,
    ::testing::Values(
        FailureCase{"NoAction", {}, kExitUsage, "Usage:"},
        FailureCase{"UnknownAction", {"export", "@/out.bin"}, kExitUsage, "Usage:"},
        FailureCase{"BuildWithoutOut", {"build"}, kExitUsage, "Usage:"},
        FailureCase{"BaseOutsideBuild", {"show", "--base", "@/phone.bin"}, kExitUsage, "Usage:"},
        FailureCase{"ApplyMissingOut", {"apply", "@/setting.txt", "@/phone.bin"}, kExitUsage, "Usage:"},
        FailureCase{"BaseTooShort",
                    {"build", "@/out.bin", "--base", "@/short.bin"},
                    kExitFailure,
                    "exactly 512 bytes, it has 511"},
        FailureCase{
            "ImportTooLong", {"import", "@/long.bin"}, kExitFailure, "exactly 512 bytes, it is longer"},
        FailureCase{"ImportMissing", {"import", "@/none.bin"}, kExitFailure, "Can not open settings image"},
        FailureCase{"ApplyMissingTextFile",
                    {"apply", "@/none.txt", "@/phone.bin", "@/out.bin"},
                    kExitFailure,
                    "Can not open source file"},
        FailureCase{
            "OutInMissingFolder", {"build", "@/no/such/out.bin"}, kExitFailure, "Can not create dest file\n"},
        FailureCase{"OutIsAnInput",
                    {"apply", "@/setting.txt", "@/phone.bin", "@/phone.bin"},
                    kExitFailure,
                    "the same file as the source"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsCommand, ShowListsEveryKeyWithItsValueOrDefault) {
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("PhoneSettings", "SubnetMask", -256));
  ASSERT_TRUE(SettingsStore::Profile().WriteString("PhoneSettings", "RingNumber", "lots"));
  ::testing::internal::CaptureStdout();
  int code = Run({"show"});
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kExitOk);
  const std::string lines[] = {
      "\nLocalIP          192.168.1.100              (default)\n",
      "\nSubnetMask       255.255.255.0              (stored)\n",
      "\nPhoneNumber      \"100\"                      (default)\n",
      "\nRingNumber       5                          (stored, not an integer: default used)\n",
      "\nMac1            " + std::string(28, ' ') + "(not stored; no default)\n"};
  for (const std::string& line : lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

}  // namespace
}  // namespace quill::cli
