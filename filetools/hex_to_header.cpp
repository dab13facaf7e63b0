#include "filetools/hex_to_header.h"

#include <vector>

#include "filetools/c_array_writer.h"
#include "filetools/c_header_name.h"
#include "filetools/file_choice.h"
#include "filetools/hex_file.h"
#include "platform/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

constexpr const char* kSection = "HEX2DATA";
constexpr FileChoice kSource{kSection, kSrcNameKey, "demo.hex", FileDialogSpec::Mode::Open,
                             "*.hex",  kHexFilter};
constexpr FileChoice kDestination{kSection, kDstNameKey,  "demo.h", FileDialogSpec::Mode::Save,
                                  "*.h",    kHeaderFilter};

}  // namespace

int HexToHeader(Ui& ui, const std::string& destination, const std::string& source, int* loadedSize) {
  CFileRun run;
  const std::string name = HeaderName(source);
  std::vector<uint8_t> image(kPageSize, 0x00);
  FileError error;
  const int size = LoadHexFile(ui, source, image.data(), &error);
  if (loadedSize) *loadedSize = size;
  if (error.IsSet() && size > 0) return 0;  // a read error: the page is not whole
  if (size == 0) return 1;

  COutputFile out;
  if (!out.Create(destination)) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return 0;
  }
  // The line ends are written as bytes: the header is the same on every system.
  out.Write("#define " + name + "_CODE_SIZE\t" + std::to_string(size) + "\r\nstatic CCHAR " + name +
            "_Code[" + name + "_CODE_SIZE] = {\r\n");
  CArrayWriter::WriteItemLines(out, image.data(), static_cast<size_t>(size), 16, "\r\n");
  out.Write("};");
  if (!out.Commit()) {
    ui.Message(FileFailureText(kCanNotCreateDest, out.Error()));
    return 0;
  }
  return 1;
}

ToolResult HexToCodeHeaderTool(Ui& ui) {
  auto source = ChooseFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  auto destination = ChooseFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  int size = 0;
  if (!HexToHeader(ui, *destination, *source, &size) || size == 0) return ToolResult::Failed;
  return ToolResult::Done;
}

}  // namespace quill
