#include "filetools/digit_map.h"

#include <vector>

#include "filetools/file_choice.h"
#include "platform/file_io.h"
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
  CFileRun run;
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  // Only the first 2048 bytes are read, so any input will do, a device or a pipe too.
  CInputFile in;
  if (!in.Open(*source)) {
    ui.Message(FileFailureText(kCanNotOpenSource, in.Error()));
    return ToolResult::Failed;
  }
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  COutputFile out;
  if (!out.Create(*destination, COutputFile::Mode::Text)) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  WaitCursor wait(ui);
  std::vector<uint8_t> map;
  if (!in.ReadUpTo(map, kDigitMapItems)) {
    wait.Restore();
    ui.Message(FileFailureText(kCanNotOpenSource, in.Error()));
    return ToolResult::Failed;
  }
  in.Close();
  out.Write(DigitMapText(map.data(), map.size()));
  if (!out.Commit()) {
    wait.Restore();
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
