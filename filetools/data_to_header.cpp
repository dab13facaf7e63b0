#include "filetools/data_to_header.h"

#include <vector>

#include "filetools/c_array_writer.h"
#include "filetools/c_header_name.h"
#include "filetools/file_choice.h"
#include "filetools/tool_run.h"
#include "platform/file_io.h"

namespace quill {
namespace {

constexpr const char* kSection = "Binary2H";
constexpr FileChoice kSource{kSection, FileRole::Source, "demo.dat", "*.dat", kDataFilter};
constexpr FileChoice kDestination{kSection, FileRole::Destination, "demo.h", "*.h", kHeaderFilter};

constexpr size_t kItemsPerLine = 24;
// The source goes through in blocks of whole lines, so that only the last line of the file is short.
constexpr size_t kBlockBytes = kItemsPerLine * 16384;

// Fills data from in up to its size; fewer bytes only at the end of the input. -1 on a read error.
ssize_t ReadBlock(CInputFile& in, uint8_t* data, size_t size) {
  size_t used = 0;
  while (used < size) {
    ssize_t n = in.Read(data + used, size - used);
    if (n < 0) return -1;
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(used);
}

}  // namespace

int DataToHeader(Ui& ui, const std::string& destination, const std::string& source) {
  CToolRun run(ui);
  const std::string name = HeaderName(destination);
  // The size heads the header, so the source must be a file whose size is known before its data.
  CInputFile in;
  if (!in.OpenRegular(source)) {
    run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
    return 0;
  }
  COutputFile* out = run.Create(destination);
  if (!out) {
    run.Finish(ToolResult::Failed);
    return 0;
  }
  run.BeginWait();
  const uint64_t size = in.Size();
  // Written with CR LF as bytes: the header is a text file of the system that builds the firmware.
  out->Write("#define DATA_" + name + "_SIZE\t" + std::to_string(size) + "\r\n#ifdef __LOAD_SDRAM\r\n" +
             "static CCHAR _cData_" + name + "[DATA_" + name + "_SIZE] = {\r\n");
  std::vector<uint8_t> block(kBlockBytes);
  uint64_t total = 0;
  for (;;) {
    ssize_t n = ReadBlock(in, block.data(), block.size());
    if (n < 0) {
      run.Fail(FileFailureText(kCanNotOpenSource, in.Error()));
      return 0;
    }
    if (n == 0 || out->Failed()) break;
    CArrayWriter::WriteItemLines(*out, block.data(), static_cast<size_t>(n), kItemsPerLine, "\r\n");
    total += static_cast<uint64_t>(n);
  }
  if (total != size && !out->Failed()) {
    // The header would state a size its array does not have.
    run.Fail(FileFailureText(kCanNotOpenSource,
                             {source, "it changed size while it was read (" + std::to_string(size) +
                                          " bytes, then " + std::to_string(total) + ")"}));
    return 0;
  }
  out->Write("};\r\n#endif\r\n");
  return run.Finish(ToolResult::Done) == ToolResult::Failed ? 0 : 1;
}

ToolResult BinaryToHeaderTool(Ui& ui) {
  auto source = AskFile(ui, kSource);
  if (!source) return ToolResult::Cancelled;
  auto destination = AskFile(ui, kDestination);
  if (!destination) return ToolResult::Cancelled;
  StoreChoice(ui, kSource, *source);
  StoreChoice(ui, kDestination, *destination);
  return DataToHeader(ui, *destination, *source) ? ToolResult::Done : ToolResult::Failed;
}

}  // namespace quill
