#include "filetools/hex_merge.h"

#include "filetools/file_choice.h"
#include "filetools/tool_run.h"

namespace quill {
namespace {

constexpr const char* kSection = "MergeHex";
constexpr FileChoice kDestination{kSection, FileRole::Destination, "page4.hex", "*.hex", kHexFilter};
constexpr FileChoice kSource{kSection, FileRole::Source, "page1.hec", "*.he?", kBankHexFilter};
constexpr int kMaxSources = 2;

}  // namespace

ToolResult MergeHexTool(Ui& ui) {
  CToolRun run(ui);
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return run.Finish(ToolResult::Cancelled);
  COutputFile* out = run.Create(*destination, COutputFile::Mode::Text);
  if (!out) return run.Finish(ToolResult::Failed);
  for (int i = 0; i < kMaxSources && !out->Failed(); ++i) {
    // The second dialog offers the first choice.
    auto source = ChooseFile(ui, kSource);
    if (!source) break;
    CLineReader in;
    // The merge is not made without a source: a destination without its lines would pass for the whole.
    if (!in.Open(*source)) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
    run.BeginWait();
    std::string_view line;
    bool ended = true;
    bool lineStart = true;
    while (in.ReadLine(line, &ended)) {
      // Only a whole line can be the end record; a long line goes through in pieces.
      if (!(lineStart && ended && line == kHexEndOfFile)) {
        out->Write(line);
        if (ended) out->Write("\n");
      }
      lineStart = ended;
    }
    if (in.Failed()) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
    run.EndWait();
  }
  out->Write(kHexEndOfFile);
  out->Write("\n");
  return run.Finish(ToolResult::Done);
}

}  // namespace quill
