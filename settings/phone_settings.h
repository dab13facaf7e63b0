// The store section "PhoneSettings": the one link between the settings dialog, which writes it, and the
// settings image, which is built from it and imported into it. Every key with its kind, the default that
// building uses for a missing value, and the image field it stands for.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace quill {

inline constexpr std::string_view kPhoneSettingsSection = "PhoneSettings";

// What a key holds in the store. Addresses are integers whose most significant byte is the first dotted
// octet; ports 0..65535; flags 0 or 1; lists the position in the dialog's item list.
enum class PhoneKeyKind { Text, Integer, Address, Port, Flag, List };

// How a key's value lies in the 512-byte settings image.
enum class ImageEncoding {
  None,            // no field of its own
  NumberTextByte,  // one byte read from number text ("0x1f", "31")
  Byte,            // the low 8 bits of the integer
  Port,            // the low 16 bits, high byte first
  Address,         // four bytes, first octet at the lowest offset
  TerminatedText,  // at most width-1 characters and a zero byte; the rest of the field is left alone
  FixedText,       // exactly width bytes, zero-padded; a full-width text has no terminator
  SerialNumber,    // bytes 4 and 5 (the last two MAC bytes) as one 16-bit number, high byte first
};

// Which parties touch a key.
enum PhoneKeyUse : unsigned {
  kWrittenByDialog = 1u << 0,
  kWrittenByImport = 1u << 1,
  kReadByBuild = 1u << 2,
};

struct PhoneSettingKey {
  std::string_view name;
  PhoneKeyKind kind;
  bool hasDefault;
  int defaultInt;                // integer kinds
  std::string_view defaultText;  // Text
  int offset;                    // in the settings image; -1 for none
  int width;
  ImageEncoding encoding;
  unsigned use;

  bool IsText() const { return kind == PhoneKeyKind::Text; }
};

// Every key of the section, in the order of the section's documentation.
std::span<const PhoneSettingKey> PhoneSettingKeys();
// The key of that name (exact case), or null.
const PhoneSettingKey* FindPhoneSettingKey(std::string_view name);

// Reads and writes of the section through the application profile. A write says whether it reached the
// store file (inside a SettingsStore::Batch, the batch's Commit says it).
int ReadPhoneInt(std::string_view key, int defaultValue);
std::string ReadPhoneText(std::string_view key, std::string_view defaultValue);
StoreResult WritePhoneInt(std::string_view key, int value);
StoreResult WritePhoneText(std::string_view key, std::string_view value);

// The key's value, or its default when the store has none (or an integer key holds no integer).
int ReadPhoneIntOrDefault(const PhoneSettingKey& key);
std::string ReadPhoneTextOrDefault(const PhoneSettingKey& key);

// The store's form of an address (first octet most significant) as dotted text, and back.
std::string DottedStoreAddress(uint32_t firstOctetMostSignificant);

}  // namespace quill
