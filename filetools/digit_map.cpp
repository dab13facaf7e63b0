#include "filetools/digit_map.h"

#include <vector>

#include "filetools/file_choice.h"
#include "filetools/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

constexpr const char* kSection = "ConvertMap";
constexpr FileChoice kSource{kSection, kSrcNameKey, "sdram.dat", FileDialogSpec::Mode::Open,
                             "*.txt",  kTextFilter};
constexpr FileChoice kDestination{kSection, kDstNameKey,  "demo.h", FileDialogSpec::Mode::Save,
                                  "*.h",    kHeaderFilter};
constexpr size_t kItemsPerLine = 16;

void AppendItem(std::string& text, uint8_t b) {
  switch (b) {
    case '\r':
      text += "0x0d, ";
      return;
    case '\n':
      text += "0x0a, ";
      return;
    case '\'':
      text += "'\\'', ";
      return;
    case '\\':
      text += "'\\\\', ";
      return;
    case 0:
      text += "'\\0', ";
      return;
    default:
      text += '\'';
      text += static_cast<char>(b);
      text += "', ";
  }
}

}  // namespace

std::string DigitMapText(const uint8_t* data, size_t size) {
  std::string text;
  text.reserve(kDigitMapItems * 6 + kDigitMapItems / kItemsPerLine);
  for (size_t i = 0; i < kDigitMapItems; ++i) {
    if (i > 0 && i % kItemsPerLine == 0) text += '\n';
    if (i < size && i < kDigitMapItems - 1)
      AppendItem(text, data[i]);
    else
      text += "0, ";
  }
  return text;
}

ToolResult ConvertMapTool(Ui& ui) {
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  CInputFile in;
  if (!in.Open(*source)) {
    ui.Message(kCanNotOpenSource);
    return ToolResult::Failed;
  }
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  WaitCursor wait(ui);
  // Read before the destination is created, so that naming the source as the destination loses nothing.
  std::vector<uint8_t> map;
  if (!in.ReadUpTo(map, kDigitMapItems)) {
    wait.Restore();
    ui.Message(kCanNotOpenSource);
    return ToolResult::Failed;
  }
  in.Close();
  COutputFile out;
  if (!out.Create(*destination, COutputFile::Mode::Text)) {
    wait.Restore();
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  out.Write(DigitMapText(map.data(), map.size()));
  if (!out.Close()) {
    wait.Restore();
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
