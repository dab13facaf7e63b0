// The settings text file ("setting.txt"): settings prepared in a text editor, applied line by line to up
// to four copies of the phone's settings image. The file is only ever read.
//
//   [SETTING2]           selects image 2 (compared upper-cased; images 1..4)
//   ip=192.168.0.20      key "=" value, keys lower case, no blanks around "="
//
// Lines before the first header go to image 1. A header "[SETTING" whose ninth character is not 1..4
// selects no image: its lines are skipped until the next valid header, as there is nowhere to put them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_io.h"
#include "settings/settings_image.h"

namespace quill {

constexpr size_t kAlternateImageCount = 4;
// The four images lie back to back: image 1 at 0, image 2 at 512, image 3 at 1024, image 4 at 1536.
constexpr size_t kAlternateSettingsSize = kAlternateImageCount * kSettingsImageSize;
using AlternateImagesSpan = std::span<uint8_t, kAlternateSettingsSize>;

// Applies one setting line to one image. A line that matches no key (or carries no usable value) changes
// nothing; a line changes only the bytes of its own field.
void ApplySettingsLine(SettingsImageSpan image, std::string_view line);

// Fills all four images with copies of the phone's image, so every byte the file does not set keeps the
// phone's value.
void CopyToAlternateImages(AlternateImagesSpan images, ConstSettingsImageSpan phoneImage);

// Applies lines to the four images, following the section headers.
class SettingsTextReader {
 public:
  explicit SettingsTextReader(AlternateImagesSpan images) : images_(images) {}
  // One line, its line end already removed.
  void Line(std::string_view line);
  // 0..3, or -1 while a header selected no image.
  int CurrentImage() const { return current_; }

 private:
  AlternateImagesSpan images_;
  int current_ = 0;
};

// Applies a whole text (lines ended by "\n" or "\r\n") to the four images.
void ApplySettingsText(std::string_view text, AlternateImagesSpan images);
// The largest settings text file read: many times any real one (a few kilobytes).
constexpr size_t kMaxSettingsTextFile = size_t{1} << 20;

// Applies the file at path to the four images; false when it cannot be read whole: missing, no regular
// file (a FIFO or a device is refused without waiting), larger than kMaxSettingsTextFile, or failing to
// read. Nothing is changed then, and error (when given) says why.
bool ApplySettingsTextFile(const std::string& path, AlternateImagesSpan images, FileError* error = nullptr);

}  // namespace quill
