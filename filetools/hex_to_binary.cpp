#include "filetools/hex_to_binary.h"

#include <memory>

#include "filetools/file_choice.h"
#include "filetools/hex_file.h"
#include "filetools/tool_run.h"

namespace quill {
namespace {

constexpr const char* kSection = "HEX2BIN";
constexpr FileChoice kDestination{kSection, FileRole::Destination, "demo.bin", "*.bin", kBinaryFilter};
constexpr FileChoice kSource{kSection, FileRole::Source, "demo.hex", "*.hex", kHexFilter};

}  // namespace

ToolResult HexToBinaryTool(Ui& ui) {
  CToolRun run(ui);
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return run.Finish(ToolResult::Cancelled);
  COutputFile* out = run.Create(*destination);
  if (!out) return run.Finish(ToolResult::Failed);
  auto image = std::make_unique<PageImage>();
  // Each HEX dialog offers the file chosen last. The store keeps it once the dialogs end: a store write
  // syncs its file to disk, which would cost more than the page for a long list of files.
  std::string last = StoredChoice(kSource);
  bool chosen = false;
  ToolResult result = ToolResult::Done;
  while (!out->Failed()) {
    auto source = AskFile(ui, kSource, last);
    if (!source) break;
    last = *source;
    chosen = true;
    image->fill(0xFF);
    // A HEX file that cannot be read still takes its place, as a page of 0xFF: a failure the tool goes on
    // past. The binary file itself named as a HEX file ends the tool with nothing written.
    FileError error;
    LoadHexFile(ui, *source, *image, &error);
    if (error.sameFile) {
      result = ToolResult::Failed;
      break;
    }
    if (error.IsSet()) run.WentOnPast();
    out->Write(image->data(), image->size());
  }
  if (chosen) StoreChoice(ui, kSource, last);
  return run.Finish(result);
}

}  // namespace quill
