// The settings text file: one line applied to one image, or a whole file applied to the four images. The
// first byte picks which; the store and host names stay private to the run.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "settings/settings_text_file.h"

using namespace quill;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateStore();
  fuzz::UseOfflineHostNames();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  uint8_t phone[kSettingsImageSize];
  for (size_t i = 0; i < sizeof phone; ++i) phone[i] = static_cast<uint8_t>(i * 7 + mode);

  if (mode % 2 == 0) {
    // Exactly one image on the heap: a field written past its end is an AddressSanitizer report.
    std::unique_ptr<uint8_t[]> image(new uint8_t[kSettingsImageSize]);
    std::memcpy(image.get(), phone, kSettingsImageSize);
    ApplySettingsLine(SettingsImageSpan(image.get(), kSettingsImageSize), text);
    return 0;
  }

  static const std::string path = fuzz::WorkFile("setting.txt");
  fuzz::WriteWholeFile(path, data + 1, size - 1);
  std::unique_ptr<uint8_t[]> fromFile(new uint8_t[kAlternateSettingsSize]);
  std::unique_ptr<uint8_t[]> fromText(new uint8_t[kAlternateSettingsSize]);
  const AlternateImagesSpan fileImages(fromFile.get(), kAlternateSettingsSize);
  const AlternateImagesSpan textImages(fromText.get(), kAlternateSettingsSize);
  CopyToAlternateImages(fileImages, phone);
  CopyToAlternateImages(textImages, phone);
  fuzz::Check(ApplySettingsTextFile(path, fileImages), "a readable file reported as unreadable");
  // The file reader and the text reader split lines the same way, so they must agree byte for byte.
  ApplySettingsText(text, textImages);
  fuzz::Check(std::memcmp(fromFile.get(), fromText.get(), kAlternateSettingsSize) == 0,
              "the file and the same text give different images");
  return 0;
}
