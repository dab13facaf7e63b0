// The settings image: the 512-byte record in which the phone keeps its whole configuration. No header,
// length or checksum; the layout is fixed (see phone_settings.cpp for every field).
//
// The base image is the process-wide copy of the last image read from the phone during this run: all zero
// at start, replaced by every import, and the starting point of every build, so that bytes the store does
// not describe reach the phone as the phone last had them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/settings_store.h"

namespace quill {

constexpr size_t kSettingsImageSize = 512;
using SettingsImage = std::array<uint8_t, kSettingsImageSize>;
// An image in a larger buffer (a flash page holds one) or in a SettingsImage.
using SettingsImageSpan = std::span<uint8_t, kSettingsImageSize>;
using ConstSettingsImageSpan = std::span<const uint8_t, kSettingsImageSize>;

// Fills out from the base image and section "PhoneSettings". Changes neither.
void BuildSettingsImage(SettingsImageSpan out);

// Keeps image as the base image and writes its values into section "PhoneSettings" (every key but
// Account, which stays as it is), in one save. On failure the store keeps none of the values: a caller
// that would go on to build an image from the store must stop.
StoreResult ImportSettingsImage(ConstSettingsImageSpan image);

// A copy of the base image.
SettingsImage BaseSettingsImage();
// Replaces the base image without touching the store (a base taken from a file).
void SetBaseSettingsImage(ConstSettingsImageSpan image);
// Back to all zero, as at start.
void ResetBaseSettingsImage();

}  // namespace quill
