// The firmware file tools on the command line: the same tools as the file-conversion dialog, with the
// file dialogs answered by the arguments in the order the tool shows them.
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "filetools/file_convert_tools.h"
#include "filetools/image_builder.h"
#include "platform/application.h"
#include "platform/settings_store.h"

namespace quill::cli {
namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int Usage(const char* name, const char* usage) {
  std::fprintf(stderr, "%s %s: wrong arguments\n%s", ApplicationName().c_str(), name, usage);
  return kExitUsage;
}

int ExitCode(ToolResult result, const TerminalUi& ui) {
  return result == ToolResult::Done && !ui.ReportedError() ? kExitOk : kExitFailure;
}

// Every source must be there before the tool starts, so that a mistyped name does not leave a
// destination made from the sources before it.
bool SourcesExist(const std::vector<std::string>& sources) {
  for (const auto& s : sources) {
    if (!IsFile(s)) {
      std::fprintf(stderr, "%s: %s: no such file\n", ApplicationName().c_str(), s.c_str());
      return false;
    }
  }
  return true;
}

// Runs tool with the dialogs answered in order; sources are checked first.
int RunWithAnswers(TerminalUi& ui, const std::vector<std::string>& answers,
                   const std::vector<std::string>& sources,
                   const std::function<ToolResult(CFileConvertTools&)>& tool) {
  if (!SourcesExist(sources)) return kExitFailure;
  for (const auto& a : answers) ui.PushFileAnswer(a);
  // The names a tool remembers reach the store in one save at the end, not one save each: a save syncs
  // the file to disk, which costs a short conversion more than the conversion itself.
  SettingsStore::Batch batch;
  CFileConvertTools tools(ui);
  return ExitCode(tool(tools), ui);
}

constexpr const char* kHex2BinUsage =
    "Usage: quilltool hex2bin OUT.bin IN.hex...\n"
    "Writes one 64 KiB page per HEX file to OUT.bin, in the order given; bytes that no record covers are\n"
    "0xFF, a HEX file that cannot be read gives a page of 0xFF.\n";

int Hex2Bin(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() < 2) return Usage("hex2bin", kHex2BinUsage);
  std::vector<std::string> sources(p.begin() + 1, p.end());
  return RunWithAnswers(ui, p, sources, [](CFileConvertTools& t) { return t.HexToBinary(); });
}

constexpr const char* kHex2HUsage =
    "Usage: quilltool hex2h IN.hex OUT.h\n"
    "Writes the page loaded from IN.hex (unset bytes 0x00, up to its used size) as the C code array\n"
    "NAME_Code of NAME_CODE_SIZE bytes, NAME being IN's base name upper-cased. A HEX file without data\n"
    "records gives no header.\n";

int Hex2H(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("hex2h", kHex2HUsage);
  int code = RunWithAnswers(ui, p, {p[0]}, [](CFileConvertTools& t) { return t.HexToCodeHeader(); });
  if (code != kExitOk && !ui.ReportedError())
    std::fprintf(stderr, "%s: %s: no data records; no header written\n", ApplicationName().c_str(),
                 p[0].c_str());
  return code;
}

constexpr const char* kBin2HUsage =
    "Usage: quilltool bin2h IN OUT.h\n"
    "Writes the bytes of IN as the C data array _cData_NAME of DATA_NAME_SIZE bytes inside\n"
    "#ifdef __LOAD_SDRAM, NAME being OUT's base name upper-cased; CR LF line ends.\n";

int Bin2H(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("bin2h", kBin2HUsage);
  return RunWithAnswers(ui, p, {p[0]}, [](CFileConvertTools& t) { return t.BinaryToHeader(); });
}

constexpr const char* kMergeUsage =
    "Usage: quilltool merge-hex OUT.hex IN1 [IN2]\n"
    "Joins the lines of one or two bank-switch HEX files without their end-of-file records and ends\n"
    "OUT.hex with a single one.\n";

int MergeHex(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() < 2 || p.size() > 3) return Usage("merge-hex", kMergeUsage);
  std::vector<std::string> sources(p.begin() + 1, p.end());
  return RunWithAnswers(ui, p, sources, [](CFileConvertTools& t) { return t.MergeHex(); });
}

constexpr const char* kDecodeDebugUsage =
    "Usage: quilltool decode-debug IN OUT\n"
    "Decodes the event codes of a saved debug text (such as an SDRAM area) line by line, up to the first\n"
    "line that begins with a byte that is no printable character.\n";

int DecodeDebug(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("decode-debug", kDecodeDebugUsage);
  return RunWithAnswers(ui, p, {p[0]}, [](CFileConvertTools& t) { return t.ConvertDebug(); });
}

constexpr const char* kMap2CUsage =
    "Usage: quilltool map2c IN OUT.h\n"
    "Writes the first 2047 bytes of a digit map as the items of a 2048-element character array, 16 a line,\n"
    "ending with 0.\n";

int Map2C(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  if (p.size() != 2) return Usage("map2c", kMap2CUsage);
  return RunWithAnswers(ui, p, {p[0]}, [](CFileConvertTools& t) { return t.ConvertMap(); });
}

std::string BuildUsage() {
  std::string u =
      "Usage: quilltool build VARIANT\n"
      "Writes the flash images of a board variant from the HEX pieces under c:\\zediza323\\ (drive C is the\n"
      "store's \"Paths\"/\"DriveC\" folder). Variants:";
  for (const auto& v : BuildVariants()) u += std::string(" ") + v.name;
  return u + "\n";
}

int Build(const Args& args, TerminalUi& ui) {
  const auto& p = args.Positionals();
  const BuildVariant* variant = p.size() == 1 ? FindBuildVariant(p[0]) : nullptr;
  if (!variant) return Usage("build", BuildUsage().c_str());
  return RunWithAnswers(ui, {}, {}, [variant](CFileConvertTools& t) { return t.Build(*variant); });
}

constexpr const char* kBatchUsage =
    "Usage: quilltool batch-ivr\n"
    "Converts the 24 voice prompts of c:\\viziduv\\p_voice\\chn_m\\ and eng_m\\ for G.723.1 and G.729 into\n"
    "C data headers under c:\\zediza323\\voice\\ and evoice\\, through c:\\encode.tmp.\n";

int BatchIvr(const Args& args, TerminalUi& ui) {
  if (!args.Positionals().empty()) return Usage("batch-ivr", kBatchUsage);
  return RunWithAnswers(ui, {}, {}, [](CFileConvertTools& t) { return t.BatchIvr(); });
}

constexpr const char* kAudioUsage =
    "Usage: quilltool audio encode|decode|wav2pcm OUT IN\n"
    "Runs an audio file tool with the stored codec options. No audio engine is built in: the tools\n"
    "remember the files and convert nothing.\n";

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
  // The tools ask for the source first.
  return RunWithAnswers(ui, {p[2], p[1]}, {p[2]}, tool);
}

const bool registered = [] {
  RegisterSubcommand({"hex2bin", "HEX files to 64 KiB binary pages", kHex2BinUsage, {}, {}, Hex2Bin});
  RegisterSubcommand({"hex2h", "HEX file to a C code-array header", kHex2HUsage, {}, {}, Hex2H});
  RegisterSubcommand({"bin2h", "any file to a C data-array header", kBin2HUsage, {}, {}, Bin2H});
  RegisterSubcommand({"merge-hex", "join bank-switch HEX files", kMergeUsage, {}, {}, MergeHex});
  RegisterSubcommand(
      {"decode-debug", "decode a saved debug text file", kDecodeDebugUsage, {}, {}, DecodeDebug});
  RegisterSubcommand({"map2c", "digit-map text to a C array initializer", kMap2CUsage, {}, {}, Map2C});
  RegisterSubcommand({"build", "build the flash images of a board variant", BuildUsage(), {}, {}, Build});
  RegisterSubcommand({"batch-ivr", "convert the voice prompts to C headers", kBatchUsage, {}, {}, BatchIvr});
  RegisterSubcommand({"audio", "audio file tools (no engine built in)", kAudioUsage, {}, {}, Audio});
  return true;
}();

}  // namespace
}  // namespace quill::cli
