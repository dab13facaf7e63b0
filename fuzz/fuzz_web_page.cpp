// The web page generator on arbitrary pages: a form tag's field name, and the whole run from a page file to
// the three C headers (and the temporary .htm file). The first byte picks the options.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "webgen/field_template.h"
#include "webgen/html_page_converter.h"
#include "webgen/http_generator.h"

using namespace quill;
using namespace quill::webgen;

namespace {

void CheckTag(std::string_view tag, bool chinese) {
  const FieldName field = FieldIndex(tag);
  if (field.nameError || field.index == kNoField) return;
  std::vector<SlotRecord> records;
  auto text = FieldTemplate(field.index, 0, chinese, field.number, records);
  fuzz::Check(text.has_value(), "a recognised field has no template");
  for (const SlotRecord& r : records)
    fuzz::Check(static_cast<size_t>(r.block) * kBlockSize + static_cast<size_t>(r.offset) +
                        static_cast<size_t>(r.width) <=
                    text->size(),
                "a template's value area lies past the template");
}

// Every value area the firmware is told of must lie inside the page it serves.
void CheckPage(const ConvertedPage& page, std::string_view source, bool replace) {
  if (!replace) {
    fuzz::Check(page.text == HtmlPageConverter::JoinLines(source), "a page without replacing is not joined");
    return;
  }
  if (page.error != ConvertedPage::Error::kNone) return;
  fuzz::Check(page.records.size() <= kMaxSlotRecords, "more slot records than the firmware holds");
  for (const SlotRecord& r : page.records) {
    const size_t at = static_cast<size_t>(r.block) * kBlockSize + static_cast<size_t>(r.offset);
    fuzz::Check(r.offset >= 0 && static_cast<size_t>(r.offset) < kBlockSize, "slot offset out of its block");
    fuzz::Check(at + static_cast<size_t>(r.width) <= page.text.size(), "a value area lies past the page");
    const int spill = r.offset + r.width - static_cast<int>(kBlockSize);
    fuzz::Check(r.overflow == (spill > 0 ? spill : 0), "slot overflow miscounted");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view source(reinterpret_cast<const char*>(data + 1), size - 1);

  GenHttpOptions options;
  options.replace = (flags & 1) != 0;
  options.chinese = (flags & 2) != 0;
  options.writeTempHtml = (flags & 4) != 0;
  options.msgFile = fuzz::WorkFile("page.h");
  options.infoFile = fuzz::WorkFile("info.h");
  options.commonFile = fuzz::WorkFile("common.h");
  options.tempHtmlFile = fuzz::WorkFile("temp.htm");

  CheckTag(source, options.chinese);

  const ConvertedPage page = HtmlPageConverter(options.replace, options.chinese).Convert(source);
  CheckPage(page, source, options.replace);

  static const std::string path = fuzz::WorkFile("source.htm");
  fuzz::WriteWholeFile(path, data + 1, size - 1);
  // Two pages when asked, so the numbering and the appending of a second page run too.
  const std::vector<std::string> pages((flags & 8) ? 2 : 1, path);
  fuzz::SilentUi ui;
  const bool written = GenerateHttpFiles(options, pages, ui);
  fuzz::Check(written == (page.error == ConvertedPage::Error::kNone), "the run's result disagrees");
  fuzz::Check(written == (ui.Messages() == 0), "a failure without a message, or a message on success");
  fuzz::Check(ui.WaitDepth() == 0, "the wait cursor stayed on");
  return 0;
}
