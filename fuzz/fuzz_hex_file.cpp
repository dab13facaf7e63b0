// The HEX reader on arbitrary files: LoadHexFile as the image builders and converters call it, and the
// record reader and digit-pair decoder it rests on.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "filetools/hex_file.h"
#include "fuzz/fuzz_support.h"

using namespace quill;

namespace {

int NibbleOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzz::WorkFile("input.hex");
  // Heap-allocated at its exact size, so a write past the page is an AddressSanitizer report.
  static const std::unique_ptr<uint8_t[]> image(new uint8_t[kPageSize]);
  fuzz::WriteWholeFile(path, data, size);

  // The digit pairs of the input as the record decoder reads them.
  for (size_t i = 0; i + 1 < size && i < 64; i += 2) {
    const char high = static_cast<char>(data[i]), low = static_cast<char>(data[i + 1]);
    const int value = CHexFile::HexPairValue(high, low);
    const int h = NibbleOf(high), l = NibbleOf(low);
    fuzz::Check(value == ((h < 0 || l < 0) ? -1 : h * 16 + l), "HexPairValue disagrees with the digits");
  }

  CHexFile file;
  fuzz::Check(file.Open(path), "the input file does not open");
  while (file.ReadRecord()) {
    fuzz::Check(file.Length() >= 0 && file.Length() <= CHexFile::kMaxDataBytes, "record length out of range");
    fuzz::Check(file.Address() >= 0 && file.Address() < kPageSize, "record address out of range");
    fuzz::Check(file.DataText().size() == 2 * static_cast<size_t>(file.Length()), "data text length");
    fuzz::Check(file.AddressText().size() == 4, "address text length");
  }
  file.Close();

  fuzz::SilentUi ui;
  std::memset(image.get(), 0xFF, kPageSize);
  const int used = LoadHexFile(ui, path, std::span<uint8_t, kPageSize>(image.get(), kPageSize));
  fuzz::Check(used >= 0 && used <= kPageSize, "used size out of range");
  fuzz::Check(ui.Messages() == 0, "a readable file reported as unreadable");
  fuzz::Check(ui.WaitDepth() == 0, "the wait cursor stayed on");
  return 0;
}
