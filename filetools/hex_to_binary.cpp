#include "filetools/hex_to_binary.h"

#include <algorithm>
#include <vector>

#include "filetools/file_choice.h"
#include "filetools/hex_file.h"
#include "platform/file_io.h"

namespace quill {
namespace {

constexpr const char* kSection = "HEX2BIN";
constexpr FileChoice kDestination{kSection, kDstNameKey,  "demo.bin", FileDialogSpec::Mode::Save,
                                  "*.bin",  kBinaryFilter};
constexpr FileChoice kSource{kSection, kSrcNameKey, "demo.hex", FileDialogSpec::Mode::Open,
                             "*.hex",  kHexFilter};

}  // namespace

ToolResult HexToBinaryTool(Ui& ui) {
  CFileRun run;
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  COutputFile out;
  if (!out.Create(*destination)) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  std::vector<uint8_t> image(kPageSize);
  // Each HEX dialog offers the file chosen last. The store keeps it once the dialogs end: a store write
  // syncs its file to disk, which would cost more than the page for a long list of files.
  std::string last = StoredChoice(kSource);
  bool chosen = false;
  ToolResult result = ToolResult::Done;
  while (!out.Failed()) {
    auto source = AskFile(ui, kSource, last);
    if (!source) break;
    last = *source;
    chosen = true;
    std::fill(image.begin(), image.end(), 0xFF);
    // A HEX file that cannot be read still takes its place, as a page of 0xFF; the binary file itself
    // named as a HEX file ends the tool with nothing written.
    FileError error;
    LoadHexFile(ui, *source, image.data(), &error);
    if (error.sameFile) {
      result = ToolResult::Failed;
      break;
    }
    out.Write(image.data(), image.size());
  }
  if (chosen) StoreChoice(kSource, last);
  if (result == ToolResult::Failed) return result;  // the binary file is left as it was
  if (!out.Commit()) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return ToolResult::Failed;
  }
  return ToolResult::Done;
}

}  // namespace quill
