// Intel-HEX text for the tests: records with a correct checksum (the type counts in it, as Intel-HEX has
// it; for data records that is the same sum the reader checks).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quill::test {

inline std::string HexRecord(int address, const std::vector<uint8_t>& data, int type = 0) {
  char buf[32];
  std::string line = ":";
  unsigned sum = static_cast<unsigned>(data.size() + (address >> 8) + (address & 0xFF) + type);
  std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(data.size()), address & 0xFFFF, type);
  line += buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    line += buf;
    sum += b;
  }
  std::snprintf(buf, sizeof buf, "%02X", (256 - (sum & 0xFF)) & 0xFF);
  return line + buf + "\n";
}

inline std::vector<uint8_t> Bytes(size_t n, uint8_t first = 0, uint8_t step = 1) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i * step);
  return v;
}

// Data records of up to 16 bytes each for data placed at address, without an end record.
inline std::string HexRecords(int address, const std::vector<uint8_t>& data) {
  std::string text;
  for (size_t i = 0; i < data.size(); i += 16) {
    std::vector<uint8_t> chunk(data.begin() + static_cast<long>(i),
                               data.begin() + static_cast<long>(std::min(data.size(), i + 16)));
    text += HexRecord(address + static_cast<int>(i), chunk);
  }
  return text;
}

// A HEX file of data records for data placed at address, ended by the end record.
inline std::string HexOf(int address, const std::vector<uint8_t>& data) {
  return HexRecords(address, data) + ":00000001FF\n";
}

// A HEX file of the pieces in the order given (a page file of the maintenance commands), then the end record.
struct HexPiece {
  uint16_t address;
  std::vector<uint8_t> bytes;
};
inline std::string IntelHex(const std::vector<HexPiece>& pieces) {
  std::string text;
  for (const HexPiece& piece : pieces) text += HexRecords(piece.address, piece.bytes);
  return text + ":00000001FF\n";
}

}  // namespace quill::test
