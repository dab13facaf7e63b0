#include "filetools/hex_to_header.h"

#include <memory>

#include "filetools/c_array_writer.h"
#include "filetools/c_header_name.h"
#include "filetools/file_choice.h"
#include "filetools/hex_file.h"
#include "filetools/tool_run.h"

namespace quill {
namespace {

constexpr const char* kSection = "HEX2DATA";
constexpr FileChoice kSource{kSection, FileRole::Source, "demo.hex", "*.hex", kHexFilter};
constexpr FileChoice kDestination{kSection, FileRole::Destination, "demo.h", "*.h", kHeaderFilter};

// The header of source at destination.
ToolResult MakeCodeHeader(Ui& ui, const std::string& destination, const std::string& source,
                          int* loadedSize) {
  CToolRun run(ui);
  const std::string name = HeaderName(source);
  auto image = std::make_unique<PageImage>();
  image->fill(0x00);
  FileError error;
  const int size = LoadHexFile(ui, source, *image, &error);
  if (loadedSize) *loadedSize = size;
  // A file that could not be read whole (its message said why): the page is not the file's.
  if (error.IsSet()) return run.Finish(ToolResult::Failed);
  if (size == 0) return run.Finish(ToolResult::NothingWritten);
  COutputFile* out = run.Create(destination);
  if (!out) return run.Finish(ToolResult::Failed);
  // The line ends are written as bytes: the header is the same on every system.
  out->Write("#define " + name + "_CODE_SIZE\t" + std::to_string(size) + "\r\nstatic CCHAR " + name +
             "_Code[" + name + "_CODE_SIZE] = {\r\n");
  CArrayWriter::WriteItemLines(*out, image->data(), static_cast<size_t>(size), 16, "\r\n");
  out->Write("};");
  return run.Finish(ToolResult::Done);
}

}  // namespace

int HexToHeader(Ui& ui, const std::string& destination, const std::string& source, int* loadedSize) {
  int size = 0;
  const ToolResult result = MakeCodeHeader(ui, destination, source, &size);
  if (loadedSize) *loadedSize = size;
  // As the system: 1 whatever the HEX file held (a file that cannot be opened loads nothing); 0 when a
  // page was loaded and its header could not be made.
  return result == ToolResult::Failed && size > 0 ? 0 : 1;
}

ToolResult HexToCodeHeaderTool(Ui& ui) {
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  return MakeCodeHeader(ui, *destination, *source, nullptr);
}

}  // namespace quill
