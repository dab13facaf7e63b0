#include "settings/settings_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/settings_store.h"
#include "settings/image_field.h"
#include "settings/phone_settings.h"
#include "settings/phone_text.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

// The first four MAC bytes identify the maker; the builder always writes them, whatever the store holds.
constexpr const char* kFixedMacTexts[4] = {"0x02", "0x5d", "0x7b", "0x00"};

std::mutex g_baseMutex;
SettingsImage& Base() {
  static SettingsImage base{};
  return base;
}

uint8_t NumberTextByte(std::string_view text) {
  // Unreadable text gives 0x80000000, whose low byte is 0.
  return static_cast<uint8_t>(static_cast<uint32_t>(ParseNumber(text)) & 0xFF);
}

// A text longer than its field is cut between two characters of the phone's code page, never inside one
// (the identifier the dialog composes is longer than its field).
std::string_view FitPhoneText(std::string_view text, size_t room) {
  return text.substr(0, PhoneTextCut(text, room));
}

void BuildField(uint8_t* image, const PhoneSettingKey& key) {
  uint8_t* field = image + key.offset;
  const size_t width = static_cast<size_t>(key.width);
  switch (key.encoding) {
    case ImageEncoding::NumberTextByte:
      field[0] = NumberTextByte(ReadPhoneTextOrDefault(key));
      break;
    case ImageEncoding::Byte:
      image_field::PutByte(field, ReadPhoneIntOrDefault(key));
      break;
    case ImageEncoding::Port:
      image_field::PutPort(field, ReadPhoneIntOrDefault(key));
      break;
    case ImageEncoding::Address:
      image_field::PutAddress(field, static_cast<uint32_t>(ReadPhoneIntOrDefault(key)));
      break;
    case ImageEncoding::TerminatedText: {
      const std::string text = ReadPhoneTextOrDefault(key);
      image_field::PutTerminatedText(field, width, FitPhoneText(text, width - 1));
      break;
    }
    case ImageEncoding::FixedText: {
      const std::string text = ReadPhoneTextOrDefault(key);
      image_field::PutFixedText(field, width, FitPhoneText(text, width));
      break;
    }
    case ImageEncoding::None:
    case ImageEncoding::SerialNumber:
      break;
  }
}

void ImportField(SettingsStore::Batch& batch, const uint8_t* image, const PhoneSettingKey& key) {
  const uint8_t* field = image + key.offset;
  auto writeInt = [&](int value) { batch.WriteInt(kPhoneSettingsSection, key.name, value); };
  auto writeText = [&](std::string_view text) { batch.WriteString(kPhoneSettingsSection, key.name, text); };
  const size_t width = static_cast<size_t>(key.width);
  switch (key.encoding) {
    case ImageEncoding::NumberTextByte: {
      char text[8];
      std::snprintf(text, sizeof text, "0x%02x", field[0]);
      writeText(text);
      break;
    }
    case ImageEncoding::Byte:
      writeInt(field[0]);
      break;
    case ImageEncoding::Port:
    case ImageEncoding::SerialNumber:
      writeInt(image_field::GetPort(field));
      break;
    case ImageEncoding::Address:
      writeInt(static_cast<int>(image_field::GetAddress(field)));
      break;
    case ImageEncoding::TerminatedText:
    case ImageEncoding::FixedText:
      writeText(image_field::GetText(field, width));
      break;
    case ImageEncoding::None:
      break;
  }
}

}  // namespace

void BuildSettingsImage(SettingsImageSpan out) {
  SettingsImage image = BaseSettingsImage();
  for (size_t i = 0; i < 4; ++i) image[i] = NumberTextByte(kFixedMacTexts[i]);
  for (const auto& key : PhoneSettingKeys())
    if (key.use & kReadByBuild) BuildField(image.data(), key);
  std::copy(image.begin(), image.end(), out.begin());
}

StoreResult ImportSettingsImage(ConstSettingsImageSpan image) {
  SettingsImage copy;
  std::copy(image.begin(), image.end(), copy.begin());
  SetBaseSettingsImage(copy);
  SettingsStore::Batch batch;
  for (const auto& key : PhoneSettingKeys())
    if (key.use & kWrittenByImport) ImportField(batch, copy.data(), key);
  return batch.Commit();
}

SettingsImage BaseSettingsImage() {
  std::lock_guard<std::mutex> lock(g_baseMutex);
  return Base();
}

void SetBaseSettingsImage(ConstSettingsImageSpan image) {
  std::lock_guard<std::mutex> lock(g_baseMutex);
  std::copy(image.begin(), image.end(), Base().begin());
}

void ResetBaseSettingsImage() {
  std::lock_guard<std::mutex> lock(g_baseMutex);
  Base().fill(0);
}

}  // namespace quill
