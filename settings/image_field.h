// Encoders and decoders of the field forms of the settings image. Shared by the image builder and the
// settings text file so both write a field the same way. Callers pass a pointer to the field itself and
// its width; nothing is written outside [field, field + width).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill::image_field {

inline void PutByte(uint8_t* field, int value) {
  field[0] = static_cast<uint8_t>(value & 0xFF);
}

// Ports travel high byte first.
inline void PutPort(uint8_t* field, int value) {
  field[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
  field[1] = static_cast<uint8_t>(value & 0xFF);
}
inline int GetPort(const uint8_t* field) {
  return field[0] * 256 + field[1];
}

// The store keeps an address with its first octet most significant; the image keeps the first octet first.
inline void PutAddress(uint8_t* field, uint32_t firstOctetMostSignificant) {
  for (int i = 0; i < 4; ++i) field[i] = static_cast<uint8_t>(firstOctetMostSignificant >> (24 - 8 * i));
}
inline uint32_t GetAddress(const uint8_t* field) {
  return (static_cast<uint32_t>(field[0]) << 24) | (static_cast<uint32_t>(field[1]) << 16) |
         (static_cast<uint32_t>(field[2]) << 8) | static_cast<uint32_t>(field[3]);
}

// At most width-1 characters and one zero byte; the bytes after the terminator keep their values.
void PutTerminatedText(uint8_t* field, size_t width, std::string_view text);
// Exactly width bytes: the text cut to width, then zero bytes. A full-width text has no terminator.
void PutFixedText(uint8_t* field, size_t width, std::string_view text);
// The text up to the first zero byte, never beyond the end of the field.
std::string GetText(const uint8_t* field, size_t width);

}  // namespace quill::image_field
