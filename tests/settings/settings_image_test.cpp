#include "settings/settings_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/settings_store.h"
#include "settings/phone_settings.h"
#include "settings/phone_text.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

constexpr const char* kSection = "PhoneSettings";

void Put(SettingsImage& image, size_t offset, std::initializer_list<int> bytes) {
  for (int b : bytes) image[offset++] = static_cast<uint8_t>(b);
}
void PutText(SettingsImage& image, size_t offset, const std::string& text) {
  for (char c : text) image.at(offset++) = static_cast<uint8_t>(c);
}

SettingsImage Build() {
  SettingsImage out;
  out.fill(0xCC);  // the builder must define every byte
  BuildSettingsImage(out);
  return out;
}

// The bytes as a hex dump with offsets, so a failing comparison says where the images part.
std::string Diff(const SettingsImage& got, const SettingsImage& want) {
  std::string out;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] == want[i]) continue;
    char line[48];
    std::snprintf(line, sizeof line, "  byte %zu: got %02X want %02X\n", i, got[i], want[i]);
    out += line;
  }
  return out;
}

class SettingsImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ResetBaseSettingsImage();
  }
  void TearDown() override { ResetBaseSettingsImage(); }
  SettingsStore& store = SettingsStore::Profile();
};

// The factory image every phone gets from an empty store and an all-zero base.
SettingsImage FactoryImage() {
  SettingsImage w{};
  Put(w, 0, {0x02, 0x5D, 0x7B, 0x00, 0x00, 0x00});
  Put(w, 6, {0xC0, 0xA8, 0x01, 0x64});   // LocalIP
  Put(w, 10, {0xC0, 0xA8, 0x01, 0x01});  // GKIP
  PutText(w, 16, "100");
  Put(w, 32, {0xFF, 0xFF, 0xFF, 0x00});  // SubnetMask
  Put(w, 36, {0xC0, 0xA8, 0x01, 0x01});  // RouterIP
  Put(w, 41, {10, 20});                  // MicVol, SpkVol
  Put(w, 44, {0xC0, 0xA8, 0x01, 0x01});  // DnsIP
  Put(w, 49, {5, 1, 31, 2, 1});          // RingNumber, LocalAlias, RingVol, AudioType, G7231Frames
  Put(w, 54, {0x06, 0xB8});              // Q931Port 1720
  Put(w, 56, {1, 1, 11});                // UseVAD, UseHighRate, HandfreeInput
  PutText(w, 72, "8046");
  Put(w, 174, {15, 15});                              // SpkTone, HandsetTone
  Put(w, 240, {0x06, 0xB8, 0x06, 0xBA, 0x06, 0xBA});  // RasPort, H245Port, RtpPort
  Put(w, 246, {1, 30, 30, 4, 60, 10, 0, 0, 0, 1});    // UseAEC .. UseDigitMap
  Put(w, 352, {0x06, 0xB7});                          // ServicePort 1719
  return w;
}

TEST_F(SettingsImageTest, AnEmptyStoreBuildsTheFactoryImage) {
  SettingsImage got = Build();
  SettingsImage want = FactoryImage();
  EXPECT_EQ(got, want) << Diff(got, want);
}

TEST_F(SettingsImageTest, UnmappedBytesAndTextTailsComeFromTheBaseWhichBuildingLeavesAlone) {
  SettingsImage base;
  for (size_t i = 0; i < base.size(); ++i) base[i] = static_cast<uint8_t>(0x80 | (i & 0x7F));
  SetBaseSettingsImage(base);
  SettingsImage got = Build();

  SettingsImage want = FactoryImage();
  for (auto [from, to] : {std::pair{68, 69}, {90, 125}, {152, 167}, {256, 351}, {354, 367}})
    for (int i = from; i <= to; ++i) want[i] = base[i];
  // Terminated texts stop at their zero byte; what follows keeps the base's bytes.
  for (auto [text, end] : {std::pair{16 + 4, 32},
                           {72 + 5, 88},
                           {176 + 1, 200},
                           {200 + 1, 216},
                           {368 + 1, 384},
                           {384 + 1, 416},
                           {416 + 1, 464}})
    for (int i = text; i < end; ++i) want[i] = base[i];
  EXPECT_EQ(got, want) << Diff(got, want);
  EXPECT_EQ(BaseSettingsImage(), base);
}

struct StoredValueCase {
  const char* name;
  std::function<void(SettingsStore&)> store;
  size_t offset;
  std::vector<int> bytes;
};

void PrintTo(const StoredValueCase& c, std::ostream* os) {
  *os << c.name;
}

class StoredValues : public SettingsImageTest, public ::testing::WithParamInterface<StoredValueCase> {};

TEST_P(StoredValues, LandInTheirFieldWithTheFieldsEncoding) {
  const auto& c = GetParam();
  c.store(store);
  SettingsImage want = FactoryImage();
  for (size_t i = 0; i < c.bytes.size(); ++i) want[c.offset + i] = static_cast<uint8_t>(c.bytes[i]);
  SettingsImage got = Build();
  EXPECT_EQ(got, want) << Diff(got, want);
}

auto Int(const char* key, int v) {
  return [=](SettingsStore& s) { EXPECT_TRUE(s.WriteInt(kSection, key, v)); };
}
auto Str(const char* key, const std::string& v) {
  return [=](SettingsStore& s) { EXPECT_TRUE(s.WriteString(kSection, key, v)); };
}

INSTANTIATE_TEST_SUITE_P(
    Build, StoredValues,
    ::testing::Values(
        StoredValueCase{"MacBytes1To4AreFixed",
                        [](SettingsStore& s) {
                          for (const char* k : {"Mac1", "Mac2", "Mac3", "Mac4"})
                            EXPECT_TRUE(s.WriteString(kSection, k, "0xff"));
                        },
                        0,
                        {0x02, 0x5D, 0x7B, 0x00}},
        StoredValueCase{"MacHexAndDecimalTexts",
                        [](SettingsStore& s) {
                          EXPECT_TRUE(s.WriteString(kSection, "Mac5", "0xAB"));
                          EXPECT_TRUE(s.WriteString(kSection, "Mac6", "18"));
                        },
                        4,
                        {0xAB, 0x12}},
        StoredValueCase{"MacUnreadableTextIsZero", Str("Mac5", "xyz"), 4, {0x00}},
        // A text key written as an integer reads back as its decimal text.
        StoredValueCase{"MacWrittenAsInteger", Int("Mac6", 171), 5, {0xAB}},
        StoredValueCase{"ByteTakesTheLow8Bits", Int("RingNumber", 300), 49, {0x2C}},
        StoredValueCase{"NegativeAddress", Int("SubnetMask", -256), 32, {0xFF, 0xFF, 0xFF, 0x00}},
        StoredValueCase{"PortHighByteFirstLow16Bits", Int("Q931Port", 70000), 54, {0x11, 0x70}},
        StoredValueCase{"IntegerKeyHoldingGarbageReadsAsDefault", Str("RingNumber", "lots"), 49, {5}},
        StoredValueCase{"EmptyTextIsAValueNotAMissingKey", Str("PhoneNumber", ""), 16, {0, 0, 0}},
        StoredValueCase{"TerminatedTextCutAtWidthLessOne",
                        Str("PhoneNumber", "12345678901234567890"),
                        16,
                        {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', '5', 0}},
        StoredValueCase{"FixedTextFillsItsWidthWithoutTerminator", Str("GKID", std::string(24, 'g')), 216,
                        std::vector<int>(24, 'g')},
        StoredValueCase{"FixedTextLongerThanTheFieldIsCut", Str("GKID", std::string(30, 'h')), 216,
                        std::vector<int>(24, 'h')},
        StoredValueCase{"AccountIsAFixedText", Str("Account", "ab@1"), 464, {'a', 'b', '@', '1', 0, 0}},
        // Texts are the phone's code page 936 bytes ("\xc4\xe3" is one character); a cut never halves one.
        StoredValueCase{"ChineseWithinTheWidthIsKeptWhole",
                        Str("PhoneNumber", "\xc4\xe3\xba\xc3"),
                        16,
                        {0xC4, 0xE3, 0xBA, 0xC3, 0}},
        StoredValueCase{"TerminatedTextCutBetweenCharacters",
                        Str("PhoneNumber", "12345678901234\xc4\xe3"),
                        16,
                        {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', 0}},
        StoredValueCase{"FixedTextCutBetweenCharacters", Str("GKID", std::string(23, 'g') + "\xc4\xe3"), 216,
                        [] {
                          std::vector<int> v(23, 'g');
                          v.push_back(0);
                          return v;
                        }()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsImageTest, ImportWritesEveryKeyButAccountAndKeepsTheImageAsBase) {
  SettingsImage image{};
  Put(image, 0, {0x02, 0x1D, 0x7B, 0x0A, 0x0A, 0x0B});
  Put(image, 6, {192, 168, 0, 20});
  Put(image, 32, {255, 255, 255, 0});
  Put(image, 49, {9});
  Put(image, 54, {0x06, 0xB8});
  PutText(image, 16, "4321");
  PutText(image, 126, std::string(16, 'p'));  // a fixed field filled to its width: no terminator
  PutText(image, 216, std::string(24, 'k'));
  PutText(image, 368, "dial");
  Put(image, 143, {10, 1, 2, 3});

  ASSERT_TRUE(ImportSettingsImage(image));
  for (const auto& key : PhoneSettingKeys())
    EXPECT_EQ(store.Contains(kSection, std::string(key.name)), key.name != "Account") << key.name;
  ASSERT_TRUE(store.WriteString(kSection, "Account", "kept"));
  ASSERT_TRUE(ImportSettingsImage(image));

  EXPECT_EQ(BaseSettingsImage(), image);
  const std::pair<const char*, const char*> texts[] = {{"Mac1", "0x02"},
                                                       {"Mac2", "0x1d"},
                                                       {"Mac3", "0x7b"},
                                                       {"Mac4", "0x0a"},
                                                       {"Mac5", "0x0a"},
                                                       {"Mac6", "0x0b"},
                                                       {"PhoneNumber", "4321"},
                                                       {"Pin", "pppppppppppppppp"},
                                                       {"GKID", "kkkkkkkkkkkkkkkkkkkkkkkk"},
                                                       {"DialNumber", "dial"},
                                                       {"Password", ""},
                                                       {"Account", "kept"}};
  for (auto [key, value] : texts) EXPECT_EQ(store.GetString(kSection, key, "?"), value) << key;
  const std::pair<const char*, int> ints[] = {
      {"Mac_L", 2571},       {"Spin1", 2571},    {"LocalIP", static_cast<int>(0xC0A80014)},
      {"SubnetMask", -256},  {"RingNumber", 9},  {"Q931Port", 1720},
      {"CDRIP", 0x0A010203}, {"UseDigitMap", 0}, {"ServicePort", 0}};
  for (auto [key, value] : ints) EXPECT_EQ(store.GetInt(kSection, key, -7), value) << key;
}

TEST_F(SettingsImageTest, SerialNumberBytesRoundTripThroughTheStore) {
  SettingsImage image{};
  Put(image, 4, {0x01, 0x2C});
  ASSERT_TRUE(ImportSettingsImage(image));
  EXPECT_EQ(store.GetInt(kSection, "Mac_L", 0), 300);
  EXPECT_EQ(store.GetInt(kSection, "Spin1", 0), 300);
  EXPECT_EQ(store.GetString(kSection, "Mac5", ""), "0x01");
  EXPECT_EQ(store.GetString(kSection, "Mac6", ""), "0x2c");
  EXPECT_EQ(Build()[4], 0x01);
  EXPECT_EQ(Build()[5], 0x2C);
}

TEST_F(SettingsImageTest, ImportThenBuildReproducesThePhonesImageButForTheKnownDifferences) {
  // A phone image with every byte different from its neighbours, and ASCII texts with junk behind them.
  SettingsImage phone;
  for (size_t i = 0; i < phone.size(); ++i) phone[i] = static_cast<uint8_t>((i * 37 + 11) & 0xFF);
  PutText(phone, 16, std::string("555\0", 4));
  PutText(phone, 72, std::string("pw\0", 3));
  PutText(phone, 126, std::string("pin\0", 4));  // fixed: the junk after the text is lost
  PutText(phone, 176, std::string(23, 'u') + '\0');
  PutText(phone, 200, std::string("p\0", 2));
  PutText(phone, 216, std::string("gk\0", 3));  // fixed
  PutText(phone, 368, std::string("\0", 1));
  PutText(phone, 384, std::string("id2\0", 4));
  PutText(phone, 416, std::string(48, 'd'));  // full width, no terminator
  PutText(phone, 464, std::string("account\0", 8));
  PutText(phone, 488, std::string(24, 'h'));  // fixed, full width
  ASSERT_TRUE(store.WriteString(kSection, "Account", "acct"));

  ASSERT_TRUE(ImportSettingsImage(phone));
  SettingsImage got = Build();

  SettingsImage want = phone;
  Put(want, 0, {0x02, 0x5D, 0x7B, 0x00});
  std::memset(want.data() + 126 + 3, 0, 16 - 3);
  std::memset(want.data() + 216 + 2, 0, 24 - 2);
  std::memset(want.data() + 464, 0, 24);
  PutText(want, 464, "acct");
  want[416 + 47] = 0;  // the terminated field comes back one character shorter
  EXPECT_EQ(got, want) << Diff(got, want);
}

// The converter behind the dialog's texts and the builder's cuts: code page 936 as the phone has it.
TEST(PhoneText, ConvertsAndCutsInThePhonesCodePage) {
  const std::pair<const char*, std::optional<std::string>> toPhone[] = {
      {"话机设置", "\xbb\xb0\xbb\xfa\xc9\xe8\xd6\xc3"},
      {"a@1", "a@1"},
      {"\xe2\x82\xac", "\x80"},            // the euro sign, as Windows has it
      {"\xf0\x9f\x98\x80", std::nullopt},  // an emoji: no bytes for it
      {"\xc4\xe3", std::nullopt},          // not UTF-8
  };
  for (const auto& [utf8, phone] : toPhone) EXPECT_EQ(PhoneTextFromUtf8(utf8), phone) << utf8;
  EXPECT_EQ(Utf8FromPhoneText("\xc4\xe3\xba\xc3"), "你好");
  EXPECT_EQ(Utf8FromPhoneText("\xc4"), std::nullopt);

  const std::tuple<std::string, size_t, size_t> cuts[] = {
      {"ab\xc4\xe3", 3, 2}, {"ab\xc4\xe3", 4, 4}, {"\xc4\xe3", 1, 0}, {"\xc4\xe3\xba\xc3", 3, 2},
      {"\xff\xffz", 2, 2},  // bytes that begin no character count one each
      {"a\xc4", 2, 2},      // a lead byte with nothing after it is one byte too
      {"", 5, 0},
  };
  for (const auto& [text, room, cut] : cuts) EXPECT_EQ(PhoneTextCut(text, room), cut) << text << " " << room;
}

}  // namespace
}  // namespace quill
