// The firmware file tools on the command line: the same tools as the file-conversion dialog. Inputs come
// first and the output last, for every tool; each file question is answered by its role (the inputs for
// the sources, the output for the destination), so the order a tool asks in does not matter.
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "filetools/file_convert_tools.h"
#include "filetools/hex_file.h"
#include "filetools/image_builder.h"
#include "filetools/tool_run.h"
#include "platform/application.h"
#include "platform/file_io.h"
#include "platform/settings_store.h"

namespace quill::cli {
namespace {

// Said in every --help: what the file layer guarantees.
#define QUILL_SAFE_WRITE                                                                                 \
  "OUT is replaced only when the tool succeeds: a failed or interrupted run (Ctrl-C) leaves it as it\n"  \
  "was. OUT may be a device or a FIFO (written in place). A file named both as an input and as OUT is\n" \
  "refused. - as an input reads standard input.\n"

int Usage(const char* name, const char* /*description*/) {
  return UsageError(name, "wrong arguments");
}

// "-" reads standard input, through the name the system gives it, so the tools open it as any file.
std::vector<std::string> Inputs(std::vector<std::string> paths) {
  for (auto& p : paths)
    if (p == "-") p = "/dev/stdin";
  return paths;
}

// Runs tool with its file questions answered by role: the sources from the inputs, the destination from
// the output, whatever order the tool asks in. The tool's result alone decides the exit code. The run is
// the command line's: a tool that goes on past a failure (a HEX file it cannot read) fails it and replaces
// no file. The names the tools remember are saved first, in one save (a save syncs the file to disk,
// which costs a short conversion more than the conversion itself); a store that cannot take them fails
// the run before any output replaces its file.
int RunTool(TerminalUi& ui, const std::vector<std::string>& sources,
            const std::vector<std::string>& destinations,
            const std::function<ToolResult(CFileConvertTools&)>& tool, ToolResult* ended = nullptr) {
  for (const auto& s : sources) ui.PushSourceAnswer(s);
  for (const auto& d : destinations) ui.PushDestinationAnswer(d);
  CToolRun run(ui, AfterFailure::CommitNothing);
  SettingsStore::Batch remembered;
  CFileConvertTools tools(ui);
  ToolResult result = tool(tools);
  if (const StoreResult saved = remembered.Commit(); !saved) {
    ui.Message(saved.Message());
    result = ToolResult::Failed;
  }
  result = run.Finish(result);
  if (ended) *ended = result;
  return result == ToolResult::Done ? kExitOk : kExitFailure;
}

// The last argument is the output, the others the inputs.
void Split(const std::vector<std::string>& p, std::vector<std::string>& inputs,
           std::vector<std::string>& output) {
  inputs = Inputs(std::vector<std::string>(p.begin(), p.end() - 1));
  output = {p.back()};
}

constexpr const char* kHex2BinUsage =
    "Writes one 64 KiB page per HEX file to OUT.bin, in the order given; bytes that no record covers are\n"
    "0xFF. HEX files are read as they come, in bounded memory. A HEX file that cannot be read fails the\n"
    "run and nothing is written (the window puts a page of 0xFF in its place).\n" QUILL_SAFE_WRITE;

// The order of this tool changed from OUT first to OUT last. An OUT that holds Intel-HEX records is a HEX
// file typed in the old order: it is refused rather than overwritten with pages.
bool LooksLikeHex(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return false;
  CHexFile hex;
  return hex.Open(path) && hex.ReadRecord();
}

int Hex2Bin(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() < 2) return Usage("hex2bin", kHex2BinUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  // OUT named as an input too is the same-file refusal of the run, not this one.
  if (CheckDistinctFiles(in, out, nullptr) && LooksLikeHex(p.back())) {
    return UsageError("hex2bin",
                      "the binary file comes last (hex2bin IN.hex... OUT.bin); nothing was written\n" +
                          p.back() + ": holds HEX records");
  }
  return RunTool(ui, in, out, [](CFileConvertTools& t) { return t.HexToBinary(); });
}

constexpr const char* kHex2HUsage =
    "Writes the page loaded from IN.hex (unset bytes 0x00, up to its used size) as the C code array\n"
    "NAME_Code of NAME_CODE_SIZE bytes, NAME being IN's base name upper-cased. A HEX file without data\n"
    "records gives no header.\n" QUILL_SAFE_WRITE;

int Hex2H(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("hex2h", kHex2HUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  ToolResult result = ToolResult::Failed;
  int code = RunTool(
      ui, in, out, [](CFileConvertTools& t) { return t.HexToCodeHeader(); }, &result);
  if (result == ToolResult::NothingWritten) ToolMessage("no data records; no header written\n" + p[0]);
  return code;
}

constexpr const char* kBin2HUsage =
    "Writes the bytes of IN as the C data array _cData_NAME of DATA_NAME_SIZE bytes inside\n"
    "#ifdef __LOAD_SDRAM, NAME being OUT's base name upper-cased; CR LF line ends. IN is streamed, in\n"
    "bounded memory, whatever its size. The size heads the header, so IN must be a regular file: a pipe or\n"
    "a device is refused (save it to a file first); IN redirected from a file (- < file) will do.\n"
    "A file that changes size while it is read is refused.\n" QUILL_SAFE_WRITE;

int Bin2H(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("bin2h", kBin2HUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  return RunTool(ui, in, out, [](CFileConvertTools& t) { return t.BinaryToHeader(); });
}

constexpr const char* kMergeUsage =
    "Joins the lines of one or two bank-switch HEX files without their end-of-file records and ends\n"
    "OUT.hex with a single one. The inputs are read as they come (a pipe too), in bounded "
    "memory.\n" QUILL_SAFE_WRITE;

int MergeHex(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() < 2 || p.size() > 3) return Usage("merge-hex", kMergeUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  return RunTool(ui, in, out, [](CFileConvertTools& t) { return t.MergeHex(); });
}

constexpr const char* kDecodeDebugUsage =
    "Decodes the event codes of a saved debug text (such as an SDRAM area) line by line, up to the first\n"
    "line that begins with a byte that is no printable character. IN is read as it comes (a pipe too), in\n"
    "bounded memory; a line longer than 1 MiB is decoded in pieces.\n" QUILL_SAFE_WRITE;

int DecodeDebug(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("decode-debug", kDecodeDebugUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  return RunTool(ui, in, out, [](CFileConvertTools& t) { return t.ConvertDebug(); });
}

constexpr const char* kMap2CUsage =
    "Writes the first 2047 bytes of a digit map as the items of a 2048-element character array, 16 a line,\n"
    "ending with 0. Only the first 2048 bytes of IN are read.\n" QUILL_SAFE_WRITE;

int Map2C(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("map2c", kMap2CUsage);
  std::vector<std::string> in, out;
  Split(p, in, out);
  return RunTool(ui, in, out, [](CFileConvertTools& t) { return t.ConvertMap(); });
}

std::string BuildUsage() {
  std::string u =
      "Writes the flash images of a board variant from the HEX pieces under c:\\zediza323\\ (drive C is the\n"
      "store's \"Paths\"/\"DriveC\" folder). The images replace their old files together, only when every\n"
      "one was written from every piece: a missing piece fails the run and nothing is written (the window\n"
      "puts a page of 0xFF in its place). Variants:";
  for (const auto& v : BuildVariants()) u += std::string(" ") + v.name;
  return u + "\n";
}

int Build(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  const BuildVariant* variant = p.size() == 1 ? FindBuildVariant(p[0]) : nullptr;
  if (!variant) return Usage("build", BuildUsage().c_str());
  return RunTool(ui, {}, {}, [variant](CFileConvertTools& t) { return t.Build(*variant); });
}

constexpr const char* kBatchUsage =
    "Converts the 24 voice prompts of c:\\viziduv\\p_voice\\chn_m\\ and eng_m\\ for G.723.1 and G.729 into\n"
    "C data headers under c:\\zediza323\\voice\\ and evoice\\, through c:\\encode.tmp. The headers replace\n"
    "their old files together, only when every prompt was converted: a prompt that cannot be converted\n"
    "fails the run and nothing is written (the window goes on without it).\n";

int BatchIvr(const Args& args, TerminalUi& ui) {
  if (!args.Positionals().empty()) return Usage("batch-ivr", kBatchUsage);
  return RunTool(ui, {}, {}, [](CFileConvertTools& t) { return t.BatchIvr(); });
}

constexpr const char* kAudioUsage =
    "Runs an audio file tool with the stored codec options. No audio engine is built in: the tools\n"
    "remember the files and convert nothing. IN named as OUT is refused.\n";

int Audio(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 3) return Usage("audio", kAudioUsage);
  std::function<ToolResult(CFileConvertTools&)> tool;
  if (p[0] == "encode")
    tool = [](CFileConvertTools& t) { return t.EncodeAudio(); };
  else if (p[0] == "decode")
    tool = [](CFileConvertTools& t) { return t.DecodeAudio(); };
  else if (p[0] == "wav2pcm")
    tool = [](CFileConvertTools& t) { return t.WaveToPcmFile(); };
  else
    return Usage("audio", kAudioUsage);
  return RunTool(ui, Inputs({p[1]}), {p[2]}, tool);
}

// A file tool's declaration: its arguments, their number, --json.
Subcommand Tool(const char* name, const char* summary, std::string description, const char* synopsis,
                int minFiles, int maxFiles, std::function<int(const Args&, TerminalUi&)> run) {
  Subcommand c{name, summary, std::move(description), {}, {}, std::move(run)};
  c.synopsis = synopsis;
  c.minPositionals = minFiles;
  c.maxPositionals = maxFiles;
  c.json = true;
  return c;
}

const bool registered = [] {
  RegisterSubcommand(Tool("hex2bin", "HEX files to 64 KiB binary pages", kHex2BinUsage, "IN.hex... OUT.bin",
                          2, -1, Hex2Bin));
  RegisterSubcommand(
      Tool("hex2h", "HEX file to a C code-array header", kHex2HUsage, "IN.hex OUT.h", 2, 2, Hex2H));
  RegisterSubcommand(
      Tool("bin2h", "any file to a C data-array header", kBin2HUsage, "IN OUT.h", 2, 2, Bin2H));
  RegisterSubcommand(
      Tool("merge-hex", "join bank-switch HEX files", kMergeUsage, "IN1 [IN2] OUT.hex", 2, 3, MergeHex));
  RegisterSubcommand(
      Tool("decode-debug", "decode a saved debug text file", kDecodeDebugUsage, "IN OUT", 2, 2, DecodeDebug));
  RegisterSubcommand(
      Tool("map2c", "digit-map text to a C array initializer", kMap2CUsage, "IN OUT.h", 2, 2, Map2C));
  Subcommand build =
      Tool("build", "build the flash images of a board variant", BuildUsage(), "VARIANT", 1, 1, Build);
  for (const auto& v : BuildVariants()) build.words.emplace_back(v.name);
  build.positionalKind = ValueKind::Choice;
  RegisterSubcommand(std::move(build));
  Subcommand batch =
      Tool("batch-ivr", "convert the voice prompts to C headers", kBatchUsage, "", 0, 0, BatchIvr);
  batch.positionalKind = ValueKind::Text;
  RegisterSubcommand(std::move(batch));
  Subcommand audio = Tool("audio", "audio file tools (no engine built in)", kAudioUsage,
                          "encode|decode|wav2pcm IN OUT", 3, 3, Audio);
  audio.words = {"encode", "decode", "wav2pcm"};
  RegisterSubcommand(std::move(audio));
  return true;
}();

}  // namespace
}  // namespace quill::cli
