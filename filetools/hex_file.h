// Intel-HEX reading for the firmware's MCS-51 build output: 16-bit load offsets, one 64 KiB flash page per
// file. Only data records (type 00) are read; the first line that is anything else ends the file for the
// reader, so end-of-file and extended-address records end a load.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_io.h"
#include "platform/text.h"

namespace quill {

class Ui;

// One page image: the caller owns and fills exactly this many bytes before a load.
constexpr int kPageSize = 65536;
using PageImage = std::array<uint8_t, kPageSize>;

class CHexFile {
 public:
  // Intel-HEX carries the length in one byte; the usual build output has 16.
  static constexpr int kMaxDataBytes = 255;

  // Any readable file (a FIFO or a pipe is read as it comes); false with Error() when it cannot be opened.
  bool Open(const std::string& path);
  void Close();
  // Why the file could not be opened or read.
  const FileError& Error() const { return reader_.Error(); }
  // True when a read error, not the end of the file, ended the records.
  bool Failed() const { return reader_.Failed(); }

  // Reads the next line and decodes it; true only for a complete data record whose checksum holds.
  // False at the end of the file, for a line without ':', for a record type other than 00, for a line
  // shorter than its declared length or with a character that is no hex digit, and for a bad checksum.
  bool ReadRecord();

  // Two hex digits as one byte value; lower-case digits count as their upper-case twins. -1 when either
  // character is no hex digit. Every field of a record is read through it.
  static int HexPairValue(char high, char low) {
    const unsigned h = kHexDigitValue[static_cast<unsigned char>(high)];
    const unsigned l = kHexDigitValue[static_cast<unsigned char>(low)];
    return (h | l) > 0x0F ? -1 : static_cast<int>(h * 16 + l);
  }

  // The last line read and the fields of the last record; the texts are views of the line.
  const std::string& Line() const { return line_; }
  std::string_view AddressText() const { return std::string_view(line_).substr(addressAt_, addressSize_); }
  std::string_view DataText() const { return std::string_view(line_).substr(dataAt_, dataSize_); }
  int32_t Length() const { return length_; }
  int32_t Address() const { return address_; }
  const uint8_t* Data() const { return data_; }

 private:
  // Decodes line_ into the fields; true for a complete data record whose checksum holds.
  bool Decode();

  CLineReader reader_;
  std::string line_;
  // Where the address and data texts of the last record stand in the line.
  size_t addressAt_ = 0, addressSize_ = 0;
  size_t dataAt_ = 0, dataSize_ = 0;
  int32_t length_ = 0;
  int32_t address_ = 0;
  uint8_t data_[kMaxDataBytes] = {};
};

// Places the data records of a HEX file into image (filled by the caller): only the bytes that records
// cover are written, those past offset 0xFFFF are dropped. Returns the used size (at most
// kPageSize): the end of the most recent record that did not start below the size reached so far; 0 when
// the file cannot be opened ("can not open hex file") or holds no valid record before its first non-data
// line. Shows the wait cursor while it reads. A file that cannot be opened or read shows "can not open hex
// file" with the path and the reason; error, when given, receives them. A file refused as the same file as
// a destination of the run (error->sameFile) must end the caller's run.
int LoadHexFile(Ui& ui, const std::string& path, std::span<uint8_t, kPageSize> image,
                FileError* error = nullptr);

}  // namespace quill
