#include "settings/settings_text_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/file_io.h"
#include "platform/text.h"
#include "settings/image_field.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

enum class Form {
  Digit,        // one character: the digit's value ("12" gives 1)
  Decimal,      // a decimal integer as atoi reads it; the low 8 bits
  Port,         // a decimal integer as atoi reads it; the low 16 bits, high byte first
  Address,      // dotted address or host name; FF FF FF FF when neither resolves
  Text,         // terminated text of the field's width
  FixedText,    // fixed text of the field's width
  HexMac,       // up to six two-digit hexadecimal pairs into bytes 0..5
  SixDecimals,  // up to six blank-separated decimals into bytes 168..173
};

struct TextKey {
  std::string_view key;  // including the "="
  int offset;
  int width;
  Form form;
};

// Tested in this order; no key is the beginning of another, so the order never changes which key wins.
// The file has no keys for the auto-answer and abbreviated-dialling flags or the service account.
constexpr TextKey kTextKeys[] = {
    {"mac=", 0, 6, Form::HexMac},
    {"ip=", 6, 4, Form::Address},
    {"gkip=", 10, 4, Form::Address},
    {"gk=", 14, 1, Form::Digit},
    {"ringtype=", 15, 1, Form::Digit},
    {"phonenumber=", 16, 16, Form::Text},
    {"dialnumber=", 368, 16, Form::Text},
    {"subnetmask=", 32, 4, Form::Address},
    {"router=", 36, 4, Form::Address},
    {"dhcp=", 40, 1, Form::Digit},
    {"handsetin=", 41, 1, Form::Decimal},
    {"handsetout=", 42, 1, Form::Decimal},
    {"agc=", 43, 1, Form::Digit},
    {"dns=", 44, 4, Form::Address},
    {"answer=", 49, 1, Form::Decimal},
    {"localalias=", 50, 1, Form::Digit},
    {"speakerout=", 51, 1, Form::Decimal},
    {"audiotype=", 52, 1, Form::Digit},
    {"audioframes=", 53, 1, Form::Digit},
    {"q931port=", 54, 2, Form::Port},
    {"serviceport=", 352, 2, Form::Port},
    {"vad=", 56, 1, Form::Digit},
    {"6.3k=", 57, 1, Form::Digit},
    {"speakerin=", 58, 1, Form::Decimal},
    {"proxyip=", 59, 4, Form::Address},
    {"proxy=", 63, 1, Form::Digit},
    {"tftp=", 64, 4, Form::Address},
    {"h235=", 48, 1, Form::Digit},
    {"faststart=", 70, 1, Form::Digit},
    {"dtmf=", 71, 1, Form::Digit},
    {"password=", 72, 16, Form::Text},
    {"servicedns=", 416, 48, Form::Text},
    {"pin=", 126, 16, Form::FixedText},
    {"cdr=", 142, 1, Form::Digit},
    {"cdrip=", 143, 4, Form::Address},
    {"gwip=", 147, 4, Form::Address},
    {"remotealias=", 151, 1, Form::Digit},
    {"h323id=", 488, 24, Form::FixedText},
    {"test=", 168, 6, Form::SixDecimals},
    {"speakertone=", 174, 1, Form::Decimal},
    {"handsettone=", 175, 1, Form::Decimal},
    {"pppid=", 176, 24, Form::Text},
    {"pppid1=", 384, 32, Form::Text},
    {"ppppin=", 200, 16, Form::Text},
    {"gkid=", 216, 24, Form::FixedText},
    {"rasport=", 240, 2, Form::Port},
    {"h245port=", 242, 2, Form::Port},
    {"rtpport=", 244, 2, Form::Port},
    {"aec=", 246, 1, Form::Digit},
    {"predialtime=", 247, 1, Form::Decimal},
    {"interdialtime=", 248, 1, Form::Decimal},
    {"postdialtime=", 249, 1, Form::Decimal},
    {"netretry=", 250, 1, Form::Decimal},
    {"firmware=", 251, 1, Form::Decimal},
    {"protocol=", 252, 1, Form::Digit},
    {"pppoe=", 253, 1, Form::Digit},
    {"debug=", 254, 1, Form::Digit},
    {"digitmap=", 255, 1, Form::Digit},
};

// The value as atoi gives it; the field takes its low bits.
unsigned long long AtoiBits(std::string_view text) {
  return static_cast<unsigned long long>(Atoi(text));
}

// "%02x" six times: each item skips blanks, then takes one or two hexadecimal digits. Reading stops at the
// first item without a digit, so "02:1d:..." sets byte 0 only.
void PutHexMac(uint8_t* field, std::string_view value) {
  size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    while (pos < value.size() && IsCSpace(value[pos])) ++pos;
    int digits = 0, byte = 0;
    while (digits < 2 && pos < value.size() && HexDigitValue(value[pos]) >= 0) {
      byte = byte * 16 + HexDigitValue(value[pos++]);
      ++digits;
    }
    if (digits == 0) return;
    field[i] = static_cast<uint8_t>(byte);
  }
}

// "%d %d %d %d %d %d": up to six decimals; reading stops at the first item that is not a number.
void PutSixDecimals(uint8_t* field, std::string_view value) {
  for (int i = 0; i < 6; ++i) {
    const LeadingInteger item = ReadLeadingInteger(value);
    if (item.length == 0) return;
    field[i] = static_cast<uint8_t>(static_cast<unsigned long long>(item.value) & 0xFF);
    value.remove_prefix(item.length);
  }
}

void Apply(uint8_t* image, const TextKey& key, std::string_view value) {
  uint8_t* field = image + key.offset;
  const size_t width = static_cast<size_t>(key.width);
  switch (key.form) {
    case Form::Digit:
      // Only a digit stands for a value; anything else would store an arbitrary byte.
      if (value.empty() || value[0] < '0' || value[0] > '9') return;
      field[0] = static_cast<uint8_t>(value[0] - '0');
      break;
    case Form::Decimal:
      field[0] = static_cast<uint8_t>(AtoiBits(value) & 0xFF);
      break;
    case Form::Port:
      image_field::PutPort(field, static_cast<int>(AtoiBits(value) & 0xFFFF));
      break;
    case Form::Address: {
      // Network order: the first octet is the first byte in memory, as the image keeps it.
      uint32_t address = ResolveHost(value);
      std::memcpy(field, &address, 4);
      break;
    }
    case Form::Text:
      image_field::PutTerminatedText(field, width, value);
      break;
    case Form::FixedText:
      image_field::PutFixedText(field, width, value);
      break;
    case Form::HexMac:
      PutHexMac(field, value);
      break;
    case Form::SixDecimals:
      PutSixDecimals(field, value);
      break;
  }
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

void ApplySettingsLine(SettingsImageSpan image, std::string_view line) {
  // A line is C text to the phone's tools: it ends at a zero byte.
  if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
  for (const auto& key : kTextKeys) {
    if (line.substr(0, key.key.size()) == key.key) {
      Apply(image.data(), key, line.substr(key.key.size()));
      return;
    }
  }
}

void CopyToAlternateImages(AlternateImagesSpan images, ConstSettingsImageSpan phoneImage) {
  for (size_t i = 0; i < kAlternateImageCount; ++i)
    std::copy(phoneImage.begin(), phoneImage.end(),
              images.begin() + static_cast<ptrdiff_t>(i * kSettingsImageSize));
}

void SettingsTextReader::Line(std::string_view line) {
  if (!line.empty() && line[0] == '[') {
    constexpr std::string_view kHeader = "[SETTING";
    std::string upper(line.substr(0, kHeader.size() + 1));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.size() < kHeader.size() || upper.compare(0, kHeader.size(), kHeader) != 0) return;
    char which = upper.size() > kHeader.size() ? upper[kHeader.size()] : '\0';
    current_ = (which >= '1' && which <= '4') ? which - '1' : -1;
    return;
  }
  if (current_ < 0) return;
  ApplySettingsLine(
      images_.subspan(static_cast<size_t>(current_) * kSettingsImageSize).first<kSettingsImageSize>(), line);
}

void ApplySettingsText(std::string_view text, AlternateImagesSpan images) {
  SettingsTextReader reader(images);
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = end == std::string_view::npos ? text : text.substr(0, end + 1);
    text.remove_prefix(line.size());
    reader.Line(WithoutLineEnd(line));
  }
}

bool ApplySettingsTextFile(const std::string& path, AlternateImagesSpan images, FileError* error) {
  // Read whole first: a file that fails half way changes nothing.
  std::string text;
  if (ReadWholeFile(path, kMaxSettingsTextFile, text, error) != ReadStatus::Ok) return false;
  ApplySettingsText(text, images);
  return true;
}

}  // namespace quill
