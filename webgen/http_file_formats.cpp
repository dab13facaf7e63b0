#include "webgen/http_file_formats.h"

#include <algorithm>
#include <cstdio>

namespace quill::webgen {
namespace {

constexpr size_t kBytesPerLine = 16;

template <class... A>
void AppendF(std::string& out, const char* format, A... args) {
  char buffer[160];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n > 0) out.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

// "0x%02x" of a byte, without a format call per byte: pages are written a byte at a time.
void AppendHex(std::string& out, unsigned char c) {
  constexpr char kDigits[] = "0123456789abcdef";
  const char text[4] = {'0', 'x', kDigits[c >> 4], kDigits[c & 0x0f]};
  out.append(text, 4);
}

// One page byte in plain mode. Carriage return and line feed are written in hexadecimal; so are the
// other control bytes, which have no printable form inside quotes, and a quote and a backslash are
// escaped so that every byte gives a valid C character constant.
void AppendPlainByte(std::string& out, unsigned char c) {
  if (c == '\'') {
    out.append("'\\''");
  } else if (c == '\\') {
    out.append("'\\\\'");
  } else if ((c < 0x20 && c != '\t') || c == 0x7f) {
    AppendHex(out, c);
  } else {
    out.push_back('\'');
    out.push_back(static_cast<char>(c));
    out.push_back('\'');
  }
}

}  // namespace

std::string CommonDefines(int page, size_t length) {
  std::string out;
  if (page == 0)
    out.append("#define HTTP_PAGE0_SDRAM_LO\t\tHTTP_MESSAGE_SDRAM_LO\n");
  else
    AppendF(out, "#define HTTP_PAGE%d_SDRAM_LO\t\t(HTTP_PAGE%d_SDRAM_LO + HTTP_PAGE%d_BLOCK_NUM)\n", page,
            page - 1, page - 1);
  AppendF(out, "#define HTTP_PAGE%d_BLOCK_NUM\t%zu\n", page, (length + kBlockSize - 1) / kBlockSize);
  AppendF(out, "#define HTTP_PAGE%d_MSG_LEN\t\t%zu\n\n", page, length);
  return out;
}

std::string PageArray(int page, std::string_view text, bool chinese) {
  std::string out;
  out.reserve(64 + text.size() * 6 + text.size() / kBytesPerLine);
  AppendF(out, "static CCHAR _cHttpPage%dMsg[", page);
  AppendF(out, "HTTP_PAGE%d_MSG_LEN", page);
  out.append("]=\n{\n");
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0 && i % kBytesPerLine == 0) out.push_back('\n');
    const auto c = static_cast<unsigned char>(text[i]);
    if (chinese)
      AppendHex(out, c);
    else
      AppendPlainByte(out, c);
    if (i + 1 < text.size()) out.append(", ");
  }
  out.append("\n};\n\n");
  return out;
}

std::string OptionTable(int page, const std::vector<SlotRecord>& records) {
  std::string out("#define ");
  AppendF(out, "HTTP_PAGE%d_OPTION_NUM", page);
  AppendF(out, "\t%zu\n", records.size());
  if (records.empty()) return out;
  AppendF(out, "CCHAR _cHttpPage%dInfo[", page);
  AppendF(out, "HTTP_PAGE%d_OPTION_NUM", page);
  out.append("][HTTP_INFO_NUM]= \n{\n");
  for (size_t i = 0; i < records.size(); ++i) {
    const SlotRecord& r = records[i];
    if (i > 0) out.append(",\n");
    AppendF(out, "{%3d, %3d, %3d, %3d, %3d}", r.index, r.block, r.width, r.offset, r.overflow);
  }
  out.append("\n};\n\n");
  return out;
}

std::string TempHtmlPath(std::string_view pattern, int page) {
  const size_t slash = pattern.rfind('/');
  const size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view folder = pattern.substr(0, nameAt);
  const std::string_view name = pattern.substr(nameAt);
  const size_t dot = name.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  std::string out(folder);
  AppendF(out, "temp_page_%d", page);
  out.append(extension);
  return out;
}

std::string TempHtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    out.push_back(c);
    if (c == '>') out.push_back('\n');
  }
  return out;
}

}  // namespace quill::webgen
