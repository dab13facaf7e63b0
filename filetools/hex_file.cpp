#include "filetools/hex_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ui.h"

namespace quill {
namespace {

// Record layout: ':' LL AAAA TT DD... CC
constexpr size_t kLengthAt = 1;
constexpr size_t kAddressAt = 3;
constexpr size_t kTypeAt = 7;
constexpr size_t kDataAt = 9;

}  // namespace

bool CHexFile::Open(const std::string& path) {
  return reader_.Open(path);
}

void CHexFile::Close() {
  reader_.Close();
}

bool CHexFile::ReadRecord() {
  std::string_view line;
  bool ended = true;
  if (!reader_.ReadLine(line, &ended)) return false;
  line_.assign(line);
  const bool record = Decode();
  // A record on a line longer than the reader's pieces: the rest of the line follows its checksum and is
  // passed over. Any other line ends the reading as it is.
  for (std::string_view rest; record && !ended && reader_.ReadLine(rest, &ended);) {
  }
  return record;
}

bool CHexFile::Decode() {
  const std::string_view line = line_;
  addressSize_ = dataSize_ = 0;
  // The type must be "00": end-of-file and extended-address records end the reading here.
  if (line.size() < kDataAt || line[0] != ':' || line[kTypeAt] != '0' || line[kTypeAt + 1] != '0')
    return false;

  int length = HexPairValue(line[kLengthAt], line[kLengthAt + 1]);
  int high = HexPairValue(line[kAddressAt], line[kAddressAt + 1]);
  int low = HexPairValue(line[kAddressAt + 2], line[kAddressAt + 3]);
  if (length < 0 || high < 0 || low < 0) return false;
  // A line shorter than its declared length is no record; whatever follows the checksum is ignored.
  const size_t checksumAt = kDataAt + 2 * static_cast<size_t>(length);
  if (line.size() < checksumAt + 2) return false;

  length_ = length;
  address_ = high * 256 + low;
  addressAt_ = kAddressAt;
  addressSize_ = 4;
  dataAt_ = kDataAt;
  dataSize_ = 2 * static_cast<size_t>(length);

  const char* digits = line.data() + kDataAt;
  unsigned sum = static_cast<unsigned>(length + high + low);
  for (int i = 0; i < length; ++i) {
    const int value =
        HexPairValue(digits[2 * static_cast<ptrdiff_t>(i)], digits[(2 * static_cast<ptrdiff_t>(i)) + 1]);
    if (value < 0) return false;
    data_[i] = static_cast<uint8_t>(value);
    sum += static_cast<unsigned>(value);
  }
  // The record type is left out of the sum: it is 0 for every record accepted here.
  unsigned expected = (256 - (sum & 0xFF)) & 0xFF;
  int stated = HexPairValue(line[checksumAt], line[checksumAt + 1]);
  return stated >= 0 && static_cast<unsigned>(stated) == expected;
}

int LoadHexFile(Ui& ui, const std::string& path, std::span<uint8_t, kPageSize> image, FileError* error) {
  constexpr const char* kCanNotOpenHex = "can not open hex file";
  CHexFile file;
  if (!file.Open(path)) {
    if (error) *error = file.Error();
    ui.Message(FileFailureText(kCanNotOpenHex, file.Error()));
    return 0;
  }
  WaitCursor wait(ui);
  int size = 0;
  while (file.ReadRecord()) {
    const int address = file.Address();
    // Bytes that a record would place past the end of the page are dropped.
    const int length = std::min(file.Length(), kPageSize - address);
    std::memcpy(image.data() + address, file.Data(), static_cast<size_t>(length));
    if (address >= size) size = address + length;
  }
  if (file.Failed()) {
    // What was read stays in the image, as after a bad record; the reader is told why the rest is not.
    if (error) *error = file.Error();
    wait.Restore();
    ui.Message(FileFailureText(kCanNotOpenHex, file.Error()));
  }
  file.Close();
  return size;
}

}  // namespace quill
