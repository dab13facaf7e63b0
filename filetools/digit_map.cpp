#include "filetools/digit_map.h"

#include <vector>

#include "filetools/file_choice.h"
#include "filetools/tool_run.h"

namespace quill {
namespace {

constexpr const char* kSection = "ConvertMap";
constexpr FileChoice kSource{kSection, FileRole::Source, "sdram.dat", "*.txt", kTextFilter};
constexpr FileChoice kDestination{kSection, FileRole::Destination, "demo.h", "*.h", kHeaderFilter};
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
  CToolRun run(ui);
  auto source = ChooseFile(ui, kSource);
  if (!source) return run.Finish(ToolResult::Cancelled);
  // Only the first 2048 bytes are read, so any input will do, a device or a pipe too.
  CInputFile in;
  if (!in.Open(*source)) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return run.Finish(ToolResult::Cancelled);
  COutputFile* out = run.Create(*destination, COutputFile::Mode::Text);
  if (!out) return run.Finish(ToolResult::Failed);
  run.BeginWait();
  std::vector<uint8_t> map;
  if (!in.ReadUpTo(map, kDigitMapItems)) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
  in.Close();
  out->Write(DigitMapText(map.data(), map.size()));
  return run.Finish(ToolResult::Done);
}

}  // namespace quill
