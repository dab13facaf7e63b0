#include "filetools/debug_file_converter.h"

#include "filetools/file_choice.h"
#include "filetools/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

constexpr const char* kSection = "ConvertDebug";
constexpr FileChoice kSource{kSection, kSrcNameKey, "sdram.dat", FileDialogSpec::Mode::Open,
                             "*.dat",  kDataFilter};
constexpr FileChoice kDestination{kSection, kDstNameKey, "convert.dat", FileDialogSpec::Mode::Save,
                                  "*.dat",  kDataFilter};

}  // namespace

ToolResult ConvertDebugTool(Ui& ui, const DebugLineDecoder& decode) {
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  CLineReader in;
  if (!in.Open(*source)) {
    ui.Message(kCanNotOpenSource);
    return ToolResult::Failed;
  }
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  COutputFile out;
  if (!out.Create(*destination, COutputFile::Mode::Text)) {
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  WaitCursor wait(ui);
  std::string_view line;
  while (!out.Failed() && in.ReadLine(line)) {
    // A line is text up to its first zero byte; a saved area's unused rest starts with 0xFF or a
    // control byte, and ends the text.
    line = line.substr(0, line.find('\0'));
    if (!line.empty()) {
      auto first = static_cast<unsigned char>(line.front());
      if (first < 0x20 || first > 0x7E) break;
    }
    out.Write(decode(line));
    out.Write("\n");
  }
  if (!out.Close()) {
    wait.Restore();
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
