#include "settings/settings_text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "settings/settings_image.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

constexpr uint8_t kPhoneByte = 0x5A;  // every byte of the "phone's" image, so changes stand out

SettingsImage PhoneImage() {
  SettingsImage image;
  image.fill(kPhoneByte);
  return image;
}

std::string Diff(const uint8_t* got, const uint8_t* want, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    if (got[i] == want[i]) continue;
    char line[48];
    std::snprintf(line, sizeof line, "  byte %zu: got %02X want %02X\n", i, got[i], want[i]);
    out += line;
  }
  return out;
}

// Host names resolve from this table only; nothing reaches a name server.
std::optional<uint32_t> TestHosts(const std::string& name) {
  if (name == "phone.test") return HostToNetworkAddress(loopback::kSettingsTextPhone.value);
  return std::nullopt;
}

struct LineCase {
  const char* name;
  std::string line;
  size_t offset;
  std::vector<int> bytes;  // expected at offset; every other byte keeps the phone's value
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.line;
}

class SettingsLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SettingsLine, ChangesOnlyItsOwnField) {
  ScopedHostNameLookup hosts(TestHosts);
  const auto& c = GetParam();
  SettingsImage got = PhoneImage();
  ApplySettingsLine(got, c.line);
  SettingsImage want = PhoneImage();
  for (size_t i = 0; i < c.bytes.size(); ++i) want[c.offset + i] = static_cast<uint8_t>(c.bytes[i]);
  EXPECT_EQ(got, want) << c.line << "\n" << Diff(got.data(), want.data(), got.size());
}

std::vector<int> Text(const std::string& s) {
  return std::vector<int>(s.begin(), s.end());
}
std::vector<int> TextZero(const std::string& s) {
  auto v = Text(s);
  v.push_back(0);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    ValueForms, SettingsLine,
    ::testing::Values(
        LineCase{"HexMac", "mac=021d7b0a0102", 0, {0x02, 0x1D, 0x7B, 0x0A, 0x01, 0x02}},
        LineCase{"HexMacUpperCaseDigits", "mac=021D7B0A01FF", 0, {0x02, 0x1D, 0x7B, 0x0A, 0x01, 0xFF}},
        LineCase{"HexMacWithColonsSetsTheFirstByteOnly", "mac=02:1d:7b:0a:01:02", 0, {0x02}},
        LineCase{"HexMacShortStopsAtTheEnd", "mac=021d7", 0, {0x02, 0x1D, 0x07}},
        LineCase{"HexMacNotHex", "mac=zz", 0, {}},
        LineCase{"Address", "ip=192.168.0.20", 6, {0xC0, 0xA8, 0x00, 0x14}},
        LineCase{"AddressFromHostName",
                 "gkip=phone.test",
                 10,
                 {loopback::kSettingsTextPhone.Octet(0), loopback::kSettingsTextPhone.Octet(1),
                  loopback::kSettingsTextPhone.Octet(2), loopback::kSettingsTextPhone.Octet(3)}},
        LineCase{"UnresolvableHost", "ip=no.such.host", 6, {0xFF, 0xFF, 0xFF, 0xFF}},
        LineCase{"Digit", "gk=1", 14, {1}}, LineCase{"DigitTakesOneCharacter", "ringtype=12", 15, {1}},
        LineCase{"EmptyDigitLeavesTheField", "dhcp=", 40, {}},
        LineCase{"NonDigitLeavesTheField", "proxy=x", 63, {}},
        LineCase{"DecimalLow8Bits", "handsetin=300", 41, {0x2C}},
        LineCase{"DecimalBlanksAndSign", "speakerout= -1", 51, {0xFF}},
        LineCase{"DecimalStopsAtNonDigit", "firmware=12abc", 251, {12}},
        LineCase{"DecimalWithoutDigitsIsZero", "answer=abc", 49, {0}},
        LineCase{"Port", "q931port=1720", 54, {0x06, 0xB8}},
        LineCase{"PortLow16Bits", "q931port=70000", 54, {0x11, 0x70}},
        LineCase{"TextWithTerminator", "password=abc", 72, TextZero("abc")},
        LineCase{"TextCutAtWidthLessOne", "phonenumber=12345678901234567890", 16,
                 TextZero("123456789012345")},
        LineCase{"EmptyText", "phonenumber=", 16, {0}},
        LineCase{"TextKeepsBlanks", "servicedns= a b ", 416, TextZero(" a b ")},
        LineCase{
            "FixedTextZeroPadded", "pin=abc", 126, {'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        LineCase{"FixedTextCutAtWidth", "gkid=" + std::string(30, 'x'), 216, Text(std::string(24, 'x'))},
        LineCase{"ZeroByteEndsTheLine",
                 std::string("pin=ab\0cd", 9),
                 126,
                 {'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        LineCase{"PppIdIsNotPppId1", "pppid=u", 176, TextZero("u")},
        LineCase{"SixDecimalsPartial", "test=1 2 3", 168, {1, 2, 3}},
        LineCase{"SixDecimalsAll", "test=1 2 3 4 5 300", 168, {1, 2, 3, 4, 5, 0x2C}},
        LineCase{"SixDecimalsStopAtNonNumber", "test=7,8", 168, {7}},
        LineCase{"UpperCaseKeyIgnored", "IP=1.2.3.4", 0, {}},
        LineCase{"BlankBeforeEqualsIgnored", "ip =1.2.3.4", 0, {}},
        LineCase{"LeadingBlankIgnored", " ip=1.2.3.4", 0, {}},
        LineCase{"UnknownKeyIgnored", "autoanswer=1", 0, {}}, LineCase{"EmptyLineIgnored", "", 0, {}},
        LineCase{"HeaderIsNoSetting", "[SETTING1]", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Each key of the file reaches the same field as the store key it stands for: applying a line and
// importing the image must show the value under that store key.
struct KeyCase {
  const char* line;
  const char* storeKey;
  const char* stored;  // as text
};

TEST(SettingsTextKeys, EveryKeyReachesTheFieldOfItsStoreKey) {
  test::ClearStore();
  const KeyCase cases[] = {
      {"ip=1.2.3.4", "LocalIP", "16909060"},
      {"gkip=1.2.3.5", "GKIP", "16909061"},
      {"gk=7", "UseGK", "7"},
      {"ringtype=7", "RingType", "7"},
      {"phonenumber=pn", "PhoneNumber", "pn"},
      {"dialnumber=dn", "DialNumber", "dn"},
      {"subnetmask=1.2.3.6", "SubnetMask", "16909062"},
      {"router=1.2.3.7", "RouterIP", "16909063"},
      {"dhcp=7", "UseDHCP", "7"},
      {"handsetin=77", "MicVol", "77"},
      {"handsetout=77", "SpkVol", "77"},
      {"agc=7", "UseAGC", "7"},
      {"dns=1.2.3.8", "DnsIP", "16909064"},
      {"answer=77", "RingNumber", "77"},
      {"localalias=7", "LocalAlias", "7"},
      {"speakerout=77", "RingVol", "77"},
      {"audiotype=7", "AudioType", "7"},
      {"audioframes=7", "G7231Frames", "7"},
      {"q931port=4660", "Q931Port", "4660"},
      {"serviceport=4661", "ServicePort", "4661"},
      {"vad=7", "UseVAD", "7"},
      {"6.3k=7", "UseHighRate", "7"},
      {"speakerin=77", "HandfreeInput", "77"},
      {"proxyip=1.2.3.9", "ProxyIP", "16909065"},
      {"proxy=7", "UseProxy", "7"},
      {"tftp=1.2.3.10", "TFTPIP", "16909066"},
      {"h235=7", "UseH235", "7"},
      {"faststart=7", "UseFaststart", "7"},
      {"dtmf=7", "DTMFType", "7"},
      {"password=pw", "Password", "pw"},
      {"servicedns=sd", "ServiceDns", "sd"},
      {"pin=pi", "Pin", "pi"},
      {"cdr=7", "CDR", "7"},
      {"cdrip=1.2.3.11", "CDRIP", "16909067"},
      {"gwip=1.2.3.12", "GWIP", "16909068"},
      {"remotealias=7", "RemoteAlias", "7"},
      {"h323id=hi", "H323ID", "hi"},
      {"speakertone=77", "SpkTone", "77"},
      {"handsettone=77", "HandsetTone", "77"},
      {"pppid=p1", "PPPoEID", "p1"},
      {"pppid1=p2", "PPPoEID2", "p2"},
      {"ppppin=pp", "PPPoEPin", "pp"},
      {"gkid=gi", "GKID", "gi"},
      {"rasport=4662", "RasPort", "4662"},
      {"h245port=4663", "H245Port", "4663"},
      {"rtpport=4664", "RtpPort", "4664"},
      {"aec=7", "UseAEC", "7"},
      {"predialtime=77", "TimeOut0", "77"},
      {"interdialtime=77", "TimeOut1", "77"},
      {"postdialtime=77", "TimeOut2", "77"},
      {"netretry=77", "NetworkRetry", "77"},
      {"firmware=77", "SubVersion", "77"},
      {"protocol=7", "Protocol", "7"},
      {"pppoe=7", "PPPoE", "7"},
      {"debug=7", "Output", "7"},
      {"digitmap=7", "UseDigitMap", "7"},
      {"mac=0a0b0c0d0e0f", "Mac_L", "3599"},
      {"test=1 2 3 4 5 77", "Test5", "77"},
  };
  // The fields are all different, so one image carries every line and one import shows them all.
  SettingsImage image{};
  for (const auto& c : cases) ApplySettingsLine(image, c.line);
  ASSERT_TRUE(ImportSettingsImage(image).Ok());
  for (const auto& c : cases)
    EXPECT_EQ(SettingsStore::Profile().GetString("PhoneSettings", c.storeKey, "?"), c.stored) << c.line;
  ResetBaseSettingsImage();
}

// Four images with guard bytes around them: nothing outside the 2048 bytes may ever change.
class AlternateImages : public ::testing::Test {
 protected:
  static constexpr size_t kGuard = 64;
  void SetUp() override {
    buffer.assign(kAlternateSettingsSize + 2 * kGuard, 0xEE);
    SettingsImage phone = PhoneImage();
    CopyToAlternateImages(Images(), phone);
  }
  AlternateImagesSpan Images() { return AlternateImagesSpan(buffer.data() + kGuard, kAlternateSettingsSize); }
  const uint8_t* Image(int n) { return Images().data() + (n - 1) * kSettingsImageSize; }
  void ExpectGuardsIntact() {
    for (size_t i = 0; i < kGuard; ++i) {
      EXPECT_EQ(buffer[i], 0xEE) << "before, byte " << i;
      EXPECT_EQ(buffer[kGuard + kAlternateSettingsSize + i], 0xEE) << "after, byte " << i;
    }
  }
  // The phone number field of image n ("" when untouched).
  std::string Number(int n) {
    const uint8_t* f = Image(n) + 16;
    if (f[0] == kPhoneByte) return "";
    return std::string(reinterpret_cast<const char*>(f), strnlen(reinterpret_cast<const char*>(f), 16));
  }
  std::vector<uint8_t> buffer;
};

TEST_F(AlternateImages, WithoutHeadersOnlyImageOneChanges) {
  ApplySettingsText("phonenumber=11\nanswer=3\n", Images());
  EXPECT_EQ(Number(1), "11");
  EXPECT_EQ(Image(1)[49], 3);
  SettingsImage phone = PhoneImage();
  for (int n = 2; n <= 4; ++n) EXPECT_EQ(std::memcmp(Image(n), phone.data(), kSettingsImageSize), 0) << n;
  ExpectGuardsIntact();
}

TEST_F(AlternateImages, HeadersSelectImagesInAnyLetterCase) {
  ApplySettingsText(
      "phonenumber=1\n"
      "[setting3]\n"
      "phonenumber=3\n"
      "[OTHER]\n"  // not a settings header: image 3 stays selected
      "answer=9\n"
      "[Setting2] comment\n"
      "phonenumber=2a\n"
      "phonenumber=2\n"  // a later line overwrites an earlier one
      "[SETTING4]\n"
      "phonenumber=4\n",
      Images());
  EXPECT_EQ(Number(1), "1");
  EXPECT_EQ(Number(2), "2");
  EXPECT_EQ(Number(3), "3");
  EXPECT_EQ(Image(3)[49], 9);
  EXPECT_EQ(Number(4), "4");
  ExpectGuardsIntact();
}

TEST_F(AlternateImages, HeadersNamingNoImageSkipTheirLinesUntilTheNextValidHeader) {
  for (const char* header : {"[SETTING5]", "[SETTING0]", "[SETTING", "[SETTINGS]", "[SETTING9999]"}) {
    SetUp();
    std::string text = std::string("[SETTING2]\n") + header + "\nphonenumber=lost\nmac=ffffffffffff\n" +
                       "[OTHER]\nphonenumber=lost too\n[SETTING1]\nphonenumber=found\n";
    ApplySettingsText(text, Images());
    EXPECT_EQ(Number(1), "found") << header;
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(Number(n), "") << header << " image " << n;
    ExpectGuardsIntact();
  }
}

// Arbitrary text after every key and header: whatever a file holds, only the four images change.
TEST_F(AlternateImages, ArbitraryLinesNeverWriteOutsideTheImages) {
  ScopedHostNameLookup hosts([](const std::string&) { return std::nullopt; });
  const char* prefixes[] = {"mac=",  "ip=",       "gk=",     "phonenumber=", "servicedns=", "pin=", "h323id=",
                            "test=", "q931port=", "answer=", "[SETTING",     "[setting",    "[",    ""};
  std::mt19937 random(2088);
  std::string text;
  for (int line = 0; line < 3000; ++line) {
    text += prefixes[random() % std::size(prefixes)];
    size_t length = random() % 80;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>(random() % 256);
    text += '\n';
  }
  ApplySettingsText(text, Images());
  ExpectGuardsIntact();
}

TEST_F(AlternateImages, LineEndsOfEitherKindAreRemoved) {
  ApplySettingsText("phonenumber=12\r\n[SETTING2]\r\nphonenumber=34\r\npassword=pw", Images());
  EXPECT_EQ(Number(1), "12");
  EXPECT_EQ(Number(2), "34");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Image(2) + 72)), "pw");
}

TEST_F(AlternateImages, FilesAreReadLineByLineAndMissingOnesReportFailure) {
  test::TempDir dir;
  test::WriteFile(dir.File("setting.txt"), "phonenumber=8\r\n[SETTING4]\nphonenumber=9");
  ASSERT_TRUE(ApplySettingsTextFile(dir.File("setting.txt"), Images()));
  EXPECT_EQ(Number(1), "8");
  EXPECT_EQ(Number(4), "9");

  std::vector<uint8_t> before = buffer;
  EXPECT_FALSE(ApplySettingsTextFile(dir.File("missing.txt"), Images()));
  EXPECT_FALSE(ApplySettingsTextFile(dir.Path(), Images()));  // a folder is no text file
  EXPECT_EQ(buffer, before);
}

}  // namespace
}  // namespace quill
