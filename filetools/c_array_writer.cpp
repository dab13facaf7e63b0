#include "filetools/c_array_writer.h"

#include <array>
#include <cstring>

namespace quill {
namespace {

constexpr std::array<char, 256 * CArrayWriter::kItemSize> MakeItems() {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<char, 256 * CArrayWriter::kItemSize> t{};
  for (int b = 0; b < 256; ++b) {
    char* item = &t[static_cast<size_t>(b) * CArrayWriter::kItemSize];
    item[0] = '0';
    item[1] = 'x';
    item[2] = kDigits[b >> 4];
    item[3] = kDigits[b & 0x0F];
    item[4] = ',';
    item[5] = ' ';
  }
  return t;
}
constexpr auto kItems = MakeItems();

}  // namespace

std::string_view CArrayWriter::Item(uint8_t value) {
  return std::string_view(&kItems[value * kItemSize], kItemSize);
}

void CArrayWriter::WriteItemLines(COutputFile& out, const uint8_t* data, size_t size, size_t perLine,
                                  std::string_view lineEnd) {
  if (perLine == 0) return;
  const size_t lineBytes = perLine * kItemSize + lineEnd.size();
  // Many lines are formatted into the writer's buffer at a time.
  const size_t linesPerBlock = COutputFile::kBufferSize / lineBytes;
  while (size > 0) {
    size_t lines = (size + perLine - 1) / perLine;
    if (lines > linesPerBlock) lines = linesPerBlock;
    char* block = out.Reserve(lines * lineBytes);
    if (!block) return;  // the writer has failed; the tool reports it at the commit
    char* p = block;
    for (size_t l = 0; l < lines && size > 0; ++l) {
      size_t n = size < perLine ? size : perLine;
      for (size_t i = 0; i < n; ++i, p += kItemSize) std::memcpy(p, &kItems[data[i] * kItemSize], kItemSize);
      std::memcpy(p, lineEnd.data(), lineEnd.size());
      p += lineEnd.size();
      data += n;
      size -= n;
    }
    out.Advance(static_cast<size_t>(p - block));
  }
}

}  // namespace quill
