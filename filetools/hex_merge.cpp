#include "filetools/hex_merge.h"

#include "filetools/file_choice.h"
#include "platform/file_io.h"

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
  CFileRun run;
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  COutputFile out;
  if (!out.Create(*destination, COutputFile::Mode::Text)) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  for (int i = 0; i < kMaxSources && !out.Failed(); ++i) {
    // The second dialog offers the first choice.
    auto source = ChooseFile(ui, kSource);
    if (!source) break;
    CLineReader in;
    if (!in.Open(*source)) {
      // The merge is not made: a destination without this source's lines would pass for the whole.
      ui.Message(FileFailureText(kCanNotOpenSource, in.Error()));
      return ToolResult::Failed;
    }
    WaitCursor wait(ui);
    std::string_view line;
    bool ended = true;
    bool lineStart = true;
    while (in.ReadLine(line, &ended)) {
      // Only a whole line can be the end record; a long line goes through in pieces.
      if (!(lineStart && ended && line == kHexEndOfFile)) {
        out.Write(line);
        if (ended) out.Write("\n");
      }
      lineStart = ended;
    }
    if (in.Failed()) {
      wait.Restore();
      ui.Message(FileFailureText(kCanNotOpenSource, in.Error()));
      return ToolResult::Failed;
    }
  }
  out.Write(kHexEndOfFile);
  out.Write("\n");
  if (!out.Commit()) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
