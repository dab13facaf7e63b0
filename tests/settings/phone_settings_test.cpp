#include "settings/phone_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

std::set<std::string> KeysWith(unsigned use) {
  std::set<std::string> out;
  for (const auto& k : PhoneSettingKeys())
    if (k.use & use) out.emplace(k.name);
  return out;
}

std::set<std::string> AllKeysBut(std::set<std::string> excluded) {
  std::set<std::string> out;
  for (const auto& k : PhoneSettingKeys())
    if (!excluded.count(std::string(k.name))) out.emplace(k.name);
  return out;
}

TEST(PhoneSettingsSection, HoldsEveryKeyUnderItsExactName) {
  std::string names;
  for (const auto& k : PhoneSettingKeys()) names += std::string(k.name) + " ";
  EXPECT_EQ(
      names,
      "Mac1 Mac2 Mac3 Mac4 Mac5 Mac6 Mac_L Spin1 LocalIP GKIP UseGK RingType PhoneNumber DialNumber "
      "SubnetMask RouterIP UseDHCP MicVol SpkVol UseAGC DnsIP RingNumber LocalAlias RingVol AudioType "
      "G7231Frames Q931Port ServicePort UseVAD UseHighRate HandfreeInput ProxyIP UseProxy TFTPIP UseH235 "
      "UseFaststart DTMFType Password ServiceDns UseAutoAnswer UseAbbrDialPlan Account Pin CDR CDRIP GWIP "
      "RemoteAlias H323ID Test0 Test1 Test2 Test3 Test4 Test5 SpkTone HandsetTone PPPoEID PPPoEID2 PPPoEPin "
      "GKID RasPort H245Port RtpPort UseAEC TimeOut0 TimeOut1 TimeOut2 NetworkRetry SubVersion Protocol "
      "PPPoE Output UseDigitMap ");
}

TEST(PhoneSettingsSection, EachPartyTouchesTheKeysItShould) {
  EXPECT_EQ(KeysWith(kWrittenByDialog), AllKeysBut({"Spin1", "DialNumber", "CDR", "CDRIP", "GWIP"}));
  EXPECT_EQ(KeysWith(kWrittenByImport), AllKeysBut({"Account"}));
  EXPECT_EQ(KeysWith(kReadByBuild), AllKeysBut({"Mac1", "Mac2", "Mac3", "Mac4", "Mac_L", "Spin1"}));
}

// Every byte the builder writes belongs to exactly one key (or the fixed MAC bytes), and what is left is
// exactly the ranges that only the phone's firmware interprets.
TEST(PhoneSettingsSection, BuiltFieldsTileTheImageAroundTheUnmappedRanges) {
  std::array<int, kSettingsImageSize> owners{};
  for (int i = 0; i < 4; ++i) owners[i] = 1;
  for (const auto& k : PhoneSettingKeys()) {
    if (!(k.use & kReadByBuild)) continue;
    ASSERT_GE(k.offset, 0) << k.name;
    ASSERT_LE(k.offset + k.width, static_cast<int>(kSettingsImageSize)) << k.name;
    for (int i = k.offset; i < k.offset + k.width; ++i) {
      EXPECT_EQ(owners[i], 0) << k.name << " overlaps at byte " << i;
      ++owners[i];
    }
  }
  std::string unmapped;
  for (int i = 0; i < static_cast<int>(kSettingsImageSize); ++i) {
    if (owners[i] != 0) continue;
    int from = i;
    while (i + 1 < static_cast<int>(kSettingsImageSize) && owners[i + 1] == 0) ++i;
    unmapped += std::to_string(from) + "-" + std::to_string(i) + " ";
  }
  EXPECT_EQ(unmapped, "68-69 90-125 152-167 256-351 354-367 ");
}

TEST(PhoneSettingsSection, KeysAreFoundByTheirExactName) {
  ASSERT_NE(FindPhoneSettingKey("GKIP"), nullptr);
  EXPECT_EQ(FindPhoneSettingKey("GKIP")->offset, 10);
  EXPECT_EQ(FindPhoneSettingKey("gkip"), nullptr);
  EXPECT_EQ(DottedStoreAddress(0xC0A80164u), "192.168.1.100");
}

class PhoneSettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
};

// Texts the dialog and the import write must read back byte for byte, whatever the store's file format
// makes of leading "@", commas, blanks or digits.
TEST_F(PhoneSettingsStore, TextValuesReadBackExactly) {
  for (std::string text : {"@0", "@@x", "@Variant(x)", "a,b", " lead and trail ", "0x0a", "", "\"q\"",
                           "semi;colon", "back\\slash", "#hash", "=eq"}) {
    ASSERT_TRUE(WritePhoneText("H323ID", text));
    EXPECT_EQ(ReadPhoneText("H323ID", "default"), text);
  }
}

TEST_F(PhoneSettingsStore, IntegerKeysWithoutAnIntegerReadAsTheirDefault) {
  const PhoneSettingKey& ring = *FindPhoneSettingKey("RingNumber");
  EXPECT_EQ(ReadPhoneIntOrDefault(ring), 5);
  for (const char* garbage : {"", "five", "5x", "0x05", "1,2", "99999999999"}) {
    ASSERT_TRUE(WritePhoneText("RingNumber", garbage));
    EXPECT_EQ(ReadPhoneIntOrDefault(ring), 5) << garbage;
  }
  ASSERT_TRUE(WritePhoneInt("RingNumber", 7));
  EXPECT_EQ(ReadPhoneIntOrDefault(ring), 7);
  // The other kind: a text key holding an integer reads as its decimal text.
  ASSERT_TRUE(WritePhoneInt("PhoneNumber", 123));
  EXPECT_EQ(ReadPhoneTextOrDefault(*FindPhoneSettingKey("PhoneNumber")), "123");
  EXPECT_EQ(ReadPhoneTextOrDefault(*FindPhoneSettingKey("Password")), "8046");
}

}  // namespace
}  // namespace quill
