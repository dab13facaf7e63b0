#include "settings/phone_text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace quill {
namespace {

// The phone's code page by its Windows name; the C library's converter knows it, 0x80 (the euro sign)
// included.
constexpr const char* kPhoneCodePage = "CP936";

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole of in converted; nothing on the first byte that cannot be.
  std::optional<std::string> All(std::string_view in) {
    if (!Ok()) return std::nullopt;
    std::string out;
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    std::vector<char> buffer(4 * in.size() + 16);
    while (left > 0) {
      char* dst = buffer.data();
      size_t room = buffer.size();
      size_t r = ::iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer.data(), buffer.size() - room);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return std::nullopt;  // EILSEQ, EINVAL
    }
    // A stateless code page has nothing left to flush; the call keeps a stateful one honest.
    char* dst = buffer.data();
    size_t room = buffer.size();
    if (::iconv(cd_, nullptr, nullptr, &dst, &room) == static_cast<size_t>(-1)) return std::nullopt;
    out.append(buffer.data(), buffer.size() - room);
    return out;
  }

  // The byte count of the character at the start of in (0 at the end); a byte that begins none counts 1.
  size_t NextCharacter(std::string_view in) {
    if (in.empty()) return 0;
    if (!Ok()) return 1;
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char32_t one;
    char* dst = reinterpret_cast<char*>(&one);
    size_t room = sizeof one;  // room for one character: the converter stops after it
    (void)::iconv(cd_, &src, &left, &dst, &room);
    size_t used = in.size() - left;
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return used > 0 ? used : 1;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::optional<std::string> PhoneTextFromUtf8(std::string_view utf8) {
  return Converter(kPhoneCodePage, "UTF-8").All(utf8);
}

std::optional<std::string> Utf8FromPhoneText(std::string_view phoneText) {
  return Converter("UTF-8", kPhoneCodePage).All(phoneText);
}

size_t PhoneTextCut(std::string_view phoneText, size_t maxBytes) {
  if (phoneText.size() <= maxBytes) return phoneText.size();
  Converter decoder("UTF-32LE", kPhoneCodePage);
  size_t at = 0;
  while (at < maxBytes) {
    size_t n = decoder.NextCharacter(phoneText.substr(at));
    if (at + n > maxBytes) break;
    at += n;
  }
  return at;
}

}  // namespace quill
