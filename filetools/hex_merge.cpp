#include "filetools/hex_merge.h"

#include "filetools/file_choice.h"
#include "filetools/file_io.h"

namespace quill {
namespace {

constexpr const char* kSection = "MergeHex";
constexpr FileChoice kDestination{kSection, kDstNameKey, "page4.hex", FileDialogSpec::Mode::Save,
                                  "*.hex",  kHexFilter};
constexpr FileChoice kSource{kSection, kSrcNameKey,   "page1.hec", FileDialogSpec::Mode::Open,
                             "*.he?",  kBankHexFilter};
constexpr int kMaxSources = 2;

}  // namespace

ToolResult MergeHexTool(Ui& ui) {
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  COutputFile out;
  if (!out.Create(*destination, COutputFile::Mode::Text)) {
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  ToolResult result = ToolResult::Done;
  for (int i = 0; i < kMaxSources && !out.Failed(); ++i) {
    // The second dialog offers the first choice.
    auto source = ChooseFile(ui, kSource);
    if (!source) break;
    CLineReader in;
    if (!in.Open(*source)) {
      // What was copied stays; the file still gets its end record below.
      ui.Message(kCanNotOpenSource);
      result = ToolResult::Failed;
      break;
    }
    WaitCursor wait(ui);
    std::string_view line;
    while (in.ReadLine(line)) {
      if (line == kHexEndOfFile) continue;
      out.Write(line);
      out.Write("\n");
    }
  }
  out.Write(kHexEndOfFile);
  out.Write("\n");
  if (!out.Close()) {
    ui.Message(kCanNotCreateDest);
    return ToolResult::Failed;
  }
  return result;
}

}  // namespace quill
