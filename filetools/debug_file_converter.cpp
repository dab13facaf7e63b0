#include "filetools/debug_file_converter.h"

#include "filetools/file_choice.h"
#include "filetools/tool_run.h"

namespace quill {
namespace {

constexpr const char* kSection = "ConvertDebug";
constexpr FileChoice kSource{kSection, FileRole::Source, "sdram.dat", "*.dat", kDataFilter};
constexpr FileChoice kDestination{kSection, FileRole::Destination, "convert.dat", "*.dat", kDataFilter};

}  // namespace

ToolResult ConvertDebugTool(Ui& ui, const DebugLineDecoder& decode) {
  CToolRun run(ui);
  auto source = ChooseFile(ui, kSource);
  if (!source) return run.Finish(ToolResult::Cancelled);
  CLineReader in;
  if (!in.Open(*source)) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return run.Finish(ToolResult::Cancelled);
  COutputFile* out = run.Create(*destination, COutputFile::Mode::Text);
  if (!out) return run.Finish(ToolResult::Failed);
  run.BeginWait();
  std::string_view piece;
  bool ended = true;
  bool lineStart = true;
  bool cut = false;  // a zero byte ended this line's text
  while (!out->Failed() && in.ReadLine(piece, &ended)) {
    if (lineStart) {
      cut = false;
      // A saved area's unused rest starts with 0xFF or a control byte, and ends the text. A zero byte
      // starts an empty line.
      if (!piece.empty() && piece.front() != '\0') {
        auto first = static_cast<unsigned char>(piece.front());
        if (first < 0x20 || first > 0x7E) break;
      }
    }
    // A line is text up to its first zero byte. A line longer than the reader's pieces is decoded piece
    // by piece, so memory stays bounded whatever the input.
    if (!cut) {
      const size_t zero = piece.find('\0');
      if (zero != std::string_view::npos) {
        piece = piece.substr(0, zero);
        cut = true;
      }
      out->Write(decode(piece));
    }
    if (ended) out->Write("\n");
    lineStart = ended;
  }
  if (in.Failed()) return run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
  return run.Finish(ToolResult::Done);
}

}  // namespace quill
