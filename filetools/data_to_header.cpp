#include "filetools/data_to_header.h"

#include <vector>

#include "filetools/c_array_writer.h"
#include "filetools/c_header_name.h"
#include "filetools/file_choice.h"
#include "filetools/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

constexpr const char* kSection = "Binary2H";
constexpr FileChoice kSource{kSection, kSrcNameKey, "demo.dat", FileDialogSpec::Mode::Open,
                             "*.dat",  kDataFilter};
constexpr FileChoice kDestination{kSection, kDstNameKey,  "demo.h", FileDialogSpec::Mode::Save,
                                  "*.h",    kHeaderFilter};

}  // namespace

int DataToHeader(Ui& ui, const std::string& destination, const std::string& source) {
  const std::string name = HeaderName(destination);
  CInputFile in;
  if (!in.Open(source)) {
    ui.Message(kCanNotOpenSource);
    return 0;
  }
  WaitCursor wait(ui);
  // The whole source is read before the destination is created: naming the source as the destination
  // must not empty it first.
  std::vector<uint8_t> data;
  if (!in.ReadAll(data)) {
    wait.Restore();
    ui.Message(kCanNotOpenSource);
    return 0;
  }
  in.Close();
  COutputFile out;
  if (!out.Create(destination)) {
    wait.Restore();
    ui.Message(kCanNotCreateDest);
    return 0;
  }
  // Written with CR LF as bytes: the header is a text file of the system that builds the firmware.
  out.Write("#define DATA_" + name + "_SIZE\t" + std::to_string(data.size()) + "\r\n#ifdef __LOAD_SDRAM\r\n" +
            "static CCHAR _cData_" + name + "[DATA_" + name + "_SIZE] = {\r\n");
  CArrayWriter::WriteItemLines(out, data.data(), data.size(), 24, "\r\n");
  out.Write("};\r\n#endif\r\n");
  const bool written = out.Close();
  wait.Restore();
  if (!written) {
    ui.Message(kCanNotCreateDest);
    return 0;
  }
  return 1;
}

ToolResult BinaryToHeaderTool(Ui& ui) {
  auto source = AskFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  auto destination = AskFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  StoreChoice(kSource, *source);
  StoreChoice(kDestination, *destination);
  return DataToHeader(ui, *destination, *source) ? ToolResult::Done : ToolResult::Failed;
}

}  // namespace quill
