// A settings image as read from a phone or a file: imported into the store, then built back. Every field
// the import keeps and the build writes must come back as the phone had it, and every byte no field
// covers must come back from the base image untouched.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "settings/phone_settings.h"
#include "settings/phone_text.h"
#include "settings/settings_image.h"

using namespace quill;

namespace {

// A text field's bytes up to its first zero byte.
std::string_view Text(const uint8_t* field, size_t width) {
  const auto* zero = static_cast<const uint8_t*>(std::memchr(field, 0, width));
  return std::string_view(reinterpret_cast<const char*>(field),
                          zero ? static_cast<size_t>(zero - field) : width);
}

// What the build writes for a field the import kept, or false when the store may have changed it.
bool ExpectedField(const PhoneSettingKey& key, const uint8_t* in, std::vector<uint8_t>& want) {
  const size_t width = static_cast<size_t>(key.width);
  const uint8_t* field = in + key.offset;
  want.assign(field, field + width);
  switch (key.encoding) {
    case ImageEncoding::NumberTextByte:
    case ImageEncoding::Byte:
    case ImageEncoding::Port:
    case ImageEncoding::Address:
      return true;
    case ImageEncoding::TerminatedText: {
      // The text is cut to leave room for the terminator, and never inside a character of the phone's
      // code page; the bytes after the terminator come from the base image, which is the same image.
      const std::string_view text = Text(field, width);
      want[PhoneTextCut(text, width - 1)] = 0;
      return true;
    }
    case ImageEncoding::FixedText: {
      // Cut the same way, and zeros after it.
      const std::string_view text = Text(field, width);
      std::fill(want.begin() + static_cast<long>(PhoneTextCut(text, width)), want.end(), 0);
      return true;
    }
    case ImageEncoding::None:
    case ImageEncoding::SerialNumber:
      return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateStore();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SettingsImage in{};
  std::memcpy(in.data(), data, std::min(size, in.size()));
  // The private store takes every write: a failure here is the tool failing, not the input.
  fuzz::Check(ImportSettingsImage(in).Ok(), "the import could not write the store");
  fuzz::Check(BaseSettingsImage() == in, "the import did not keep the image as the base");

  SettingsImage out{};
  BuildSettingsImage(out);
  static const uint8_t kMaker[4] = {0x02, 0x5D, 0x7B, 0x00};
  fuzz::Check(std::memcmp(out.data(), kMaker, 4) == 0, "the maker's MAC bytes are not fixed");

  std::vector<bool> covered(in.size(), false);
  std::fill(covered.begin(), covered.begin() + 4, true);
  std::vector<uint8_t> want;
  for (const auto& key : PhoneSettingKeys()) {
    if (!(key.use & kReadByBuild) || key.offset < 0) continue;
    std::fill(covered.begin() + key.offset, covered.begin() + key.offset + key.width, true);
    if (!(key.use & kWrittenByImport) || !ExpectedField(key, in.data(), want)) continue;
    if (std::memcmp(out.data() + key.offset, want.data(), want.size()) != 0) {
      std::fprintf(stderr, "field %.*s\n", static_cast<int>(key.name.size()), key.name.data());
      fuzz::Fail("a field did not survive import and build");
    }
  }
  for (size_t i = 0; i < in.size(); ++i)
    fuzz::Check(covered[i] || out[i] == in[i], "a byte no field covers was changed");
  return 0;
}
