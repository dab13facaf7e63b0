#include "filetools/debug_file_converter.h"

#include "filetools/file_choice.h"
#include "platform/file_io.h"
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
  CFileRun run;
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  CLineReader in;
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
  std::string_view piece;
  bool ended = true;
  bool lineStart = true;
  bool cut = false;  // a zero byte ended this line's text
  while (!out.Failed() && in.ReadLine(piece, &ended)) {
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
      out.Write(decode(piece));
    }
    if (ended) out.Write("\n");
    lineStart = ended;
  }
  if (in.Failed()) {
    wait.Restore();
    ui.Message(FileFailureText(kCanNotOpenSource, in.Error()));
    return ToolResult::Failed;
  }
  if (!out.Commit()) {
    wait.Restore();
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
