#include "settings/phone_settings.h"

#include "platform/settings_store.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using K = PhoneKeyKind;
using E = ImageEncoding;

constexpr unsigned D = kWrittenByDialog;
constexpr unsigned I = kWrittenByImport;
constexpr unsigned B = kReadByBuild;

constexpr int Ip(int a, int b, int c, int d) {
  return static_cast<int>((static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) |
                          (static_cast<uint32_t>(c) << 8) | static_cast<uint32_t>(d));
}

constexpr PhoneSettingKey Int(std::string_view name, K kind, int def, int offset, int width, E enc,
                              unsigned use) {
  return {name, kind, true, def, {}, offset, width, enc, use};
}
constexpr PhoneSettingKey Text(std::string_view name, std::string_view def, int offset, int width, E enc,
                               unsigned use) {
  return {name, K::Text, true, 0, def, offset, width, enc, use};
}
constexpr PhoneSettingKey NoDefault(std::string_view name, K kind, int offset, int width, E enc,
                                    unsigned use) {
  return {name, kind, false, 0, {}, offset, width, enc, use};
}

// The MAC texts are what the store keeps of bytes 0..5; bytes 0..3 are fixed by the builder, so Mac1..Mac4
// are recorded but never read back. The serial number (Mac_L) is what the dialog edits; Spin1 is a copy
// only the import keeps.
constexpr PhoneSettingKey kKeys[] = {
    NoDefault("Mac1", K::Text, 0, 1, E::NumberTextByte, D | I),
    NoDefault("Mac2", K::Text, 1, 1, E::NumberTextByte, D | I),
    NoDefault("Mac3", K::Text, 2, 1, E::NumberTextByte, D | I),
    NoDefault("Mac4", K::Text, 3, 1, E::NumberTextByte, D | I),
    Text("Mac5", "0x00", 4, 1, E::NumberTextByte, D | I | B),
    Text("Mac6", "0x00", 5, 1, E::NumberTextByte, D | I | B),
    NoDefault("Mac_L", K::Integer, 4, 2, E::SerialNumber, D | I),
    NoDefault("Spin1", K::Integer, 4, 2, E::SerialNumber, I),
    Int("LocalIP", K::Address, Ip(192, 168, 1, 100), 6, 4, E::Address, D | I | B),
    Int("GKIP", K::Address, Ip(192, 168, 1, 1), 10, 4, E::Address, D | I | B),
    Int("UseGK", K::Flag, 0, 14, 1, E::Byte, D | I | B),
    Int("RingType", K::List, 0, 15, 1, E::Byte, D | I | B),
    Text("PhoneNumber", "100", 16, 16, E::TerminatedText, D | I | B),
    Text("DialNumber", "", 368, 16, E::TerminatedText, I | B),
    Int("SubnetMask", K::Address, Ip(255, 255, 255, 0), 32, 4, E::Address, D | I | B),
    Int("RouterIP", K::Address, Ip(192, 168, 1, 1), 36, 4, E::Address, D | I | B),
    Int("UseDHCP", K::Flag, 0, 40, 1, E::Byte, D | I | B),
    Int("MicVol", K::Integer, 10, 41, 1, E::Byte, D | I | B),
    Int("SpkVol", K::Integer, 20, 42, 1, E::Byte, D | I | B),
    Int("UseAGC", K::Flag, 0, 43, 1, E::Byte, D | I | B),
    Int("DnsIP", K::Address, Ip(192, 168, 1, 1), 44, 4, E::Address, D | I | B),
    Int("RingNumber", K::Integer, 5, 49, 1, E::Byte, D | I | B),
    Int("LocalAlias", K::List, 1, 50, 1, E::Byte, D | I | B),
    Int("RingVol", K::Integer, 31, 51, 1, E::Byte, D | I | B),
    Int("AudioType", K::List, 2, 52, 1, E::Byte, D | I | B),
    Int("G7231Frames", K::Integer, 1, 53, 1, E::Byte, D | I | B),
    Int("Q931Port", K::Port, 1720, 54, 2, E::Port, D | I | B),
    Int("ServicePort", K::Port, 1719, 352, 2, E::Port, D | I | B),
    Int("UseVAD", K::Flag, 1, 56, 1, E::Byte, D | I | B),
    Int("UseHighRate", K::Flag, 1, 57, 1, E::Byte, D | I | B),
    Int("HandfreeInput", K::Integer, 11, 58, 1, E::Byte, D | I | B),
    Int("ProxyIP", K::Address, 0, 59, 4, E::Address, D | I | B),
    Int("UseProxy", K::List, 0, 63, 1, E::Byte, D | I | B),
    Int("TFTPIP", K::Address, 0, 64, 4, E::Address, D | I | B),
    Int("UseH235", K::Flag, 0, 48, 1, E::Byte, D | I | B),
    Int("UseFaststart", K::List, 0, 70, 1, E::Byte, D | I | B),
    Int("DTMFType", K::List, 0, 71, 1, E::Byte, D | I | B),
    Text("Password", "8046", 72, 16, E::TerminatedText, D | I | B),
    Text("ServiceDns", "", 416, 48, E::TerminatedText, D | I | B),
    Int("UseAutoAnswer", K::Flag, 0, 88, 1, E::Byte, D | I | B),
    Int("UseAbbrDialPlan", K::Flag, 0, 89, 1, E::Byte, D | I | B),
    // The phone's service account; the dialog writes the H.323 identifier here too, the import never.
    Text("Account", "", 464, 24, E::FixedText, D | B),
    Text("Pin", "", 126, 16, E::FixedText, D | I | B),
    Int("CDR", K::Flag, 0, 142, 1, E::Byte, I | B),
    Int("CDRIP", K::Address, 0, 143, 4, E::Address, I | B),
    Int("GWIP", K::Address, 0, 147, 4, E::Address, I | B),
    Int("RemoteAlias", K::List, 0, 151, 1, E::Byte, D | I | B),
    Text("H323ID", "", 488, 24, E::FixedText, D | I | B),
    Int("Test0", K::Integer, 0, 168, 1, E::Byte, D | I | B),
    Int("Test1", K::Integer, 0, 169, 1, E::Byte, D | I | B),
    Int("Test2", K::Integer, 0, 170, 1, E::Byte, D | I | B),
    Int("Test3", K::Integer, 0, 171, 1, E::Byte, D | I | B),
    Int("Test4", K::Integer, 0, 172, 1, E::Byte, D | I | B),
    Int("Test5", K::Integer, 0, 173, 1, E::Byte, D | I | B),
    Int("SpkTone", K::Integer, 15, 174, 1, E::Byte, D | I | B),
    Int("HandsetTone", K::Integer, 15, 175, 1, E::Byte, D | I | B),
    Text("PPPoEID", "", 176, 24, E::TerminatedText, D | I | B),
    Text("PPPoEID2", "", 384, 32, E::TerminatedText, D | I | B),
    Text("PPPoEPin", "", 200, 16, E::TerminatedText, D | I | B),
    Text("GKID", "", 216, 24, E::FixedText, D | I | B),
    Int("RasPort", K::Port, 1720, 240, 2, E::Port, D | I | B),
    Int("H245Port", K::Port, 1722, 242, 2, E::Port, D | I | B),
    Int("RtpPort", K::Port, 1722, 244, 2, E::Port, D | I | B),
    Int("UseAEC", K::Flag, 1, 246, 1, E::Byte, D | I | B),
    Int("TimeOut0", K::Integer, 30, 247, 1, E::Byte, D | I | B),
    Int("TimeOut1", K::Integer, 30, 248, 1, E::Byte, D | I | B),
    Int("TimeOut2", K::Integer, 4, 249, 1, E::Byte, D | I | B),
    Int("NetworkRetry", K::Integer, 60, 250, 1, E::Byte, D | I | B),
    Int("SubVersion", K::Integer, 10, 251, 1, E::Byte, D | I | B),
    Int("Protocol", K::List, 0, 252, 1, E::Byte, D | I | B),
    Int("PPPoE", K::Flag, 0, 253, 1, E::Byte, D | I | B),
    Int("Output", K::List, 0, 254, 1, E::Byte, D | I | B),
    Int("UseDigitMap", K::Flag, 1, 255, 1, E::Byte, D | I | B),
};

}  // namespace

std::span<const PhoneSettingKey> PhoneSettingKeys() {
  return kKeys;
}

const PhoneSettingKey* FindPhoneSettingKey(std::string_view name) {
  for (const auto& k : kKeys)
    if (k.name == name) return &k;
  return nullptr;
}

int ReadPhoneInt(std::string_view key, int defaultValue) {
  return SettingsStore::Profile().GetInt(kPhoneSettingsSection, key, defaultValue);
}

std::string ReadPhoneText(std::string_view key, std::string_view defaultValue) {
  return SettingsStore::Profile().GetString(kPhoneSettingsSection, key, defaultValue);
}

StoreResult WritePhoneInt(std::string_view key, int value) {
  return SettingsStore::Profile().WriteInt(kPhoneSettingsSection, key, value);
}

StoreResult WritePhoneText(std::string_view key, std::string_view value) {
  return SettingsStore::Profile().WriteString(kPhoneSettingsSection, key, value);
}

int ReadPhoneIntOrDefault(const PhoneSettingKey& key) {
  return ReadPhoneInt(key.name, key.defaultInt);
}

std::string ReadPhoneTextOrDefault(const PhoneSettingKey& key) {
  return ReadPhoneText(key.name, key.defaultText);
}

std::string DottedStoreAddress(uint32_t address) {
  return AddressToString(HostToNetworkAddress(address));
}

}  // namespace quill
