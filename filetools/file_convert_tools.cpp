#include "filetools/file_convert_tools.h"

#include "debugmon/debug_decoder.h"
#include "filetools/data_to_header.h"
#include "filetools/debug_file_converter.h"
#include "filetools/digit_map.h"
#include "filetools/hex_merge.h"
#include "filetools/hex_to_binary.h"
#include "filetools/hex_to_header.h"
#include "filetools/image_builder.h"
#include "filetools/prompt_batch.h"
#include "filetools/tool_run.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "platform/ui.h"

namespace quill {

namespace id = file_convert_id;

CFileConvertTools::CFileConvertTools(Ui& ui) : ui_(ui), codec_(LoadCodecOptions()) {}

bool CFileConvertTools::PressButton(int buttonId) {
  if (buttonId == id::kAdspToHeader || buttonId == id::kMergeG729) return false;
  SettingsStore::Batch remembered;
  ToolResult r;
  switch (buttonId) {
    case id::kHexToHeader:
      r = HexToCodeHeader();
      break;
    case id::kBinaryToHeader:
      r = BinaryToHeader();
      break;
    case id::kWaveToPcm:
      r = WaveToPcmFile();
      break;
    case id::kAudioEncode:
      r = EncodeAudio();
      break;
    case id::kAudioDecode:
      r = DecodeAudio();
      break;
    case id::kHexToBinary:
      r = HexToBinary();
      break;
    case id::kMergeHex:
      r = MergeHex();
      break;
    case id::kConvertDebug:
      r = ConvertDebug();
      break;
    case id::kConvertMap:
      r = ConvertMap();
      break;
    case id::kBatchIvr:
      r = BatchIvr();
      break;
    default: {
      const BuildVariant* variant = FindBuildVariantById(buttonId);
      if (!variant) return false;
      r = Build(*variant);
    }
  }
  lastResult_ = r;
  if (const StoreResult saved = remembered.Commit(); !saved) ui_.Message(saved.Message());
  return true;
}

ToolResult CFileConvertTools::HexToCodeHeader() {
  return HexToCodeHeaderTool(ui_);
}
ToolResult CFileConvertTools::BinaryToHeader() {
  return BinaryToHeaderTool(ui_);
}
ToolResult CFileConvertTools::WaveToPcmFile() {
  return WaveToPcmTool(ui_);
}
ToolResult CFileConvertTools::EncodeAudio() {
  return AudioEncodeTool(ui_, codec_);
}
ToolResult CFileConvertTools::DecodeAudio() {
  return AudioDecodeTool(ui_, codec_);
}
ToolResult CFileConvertTools::HexToBinary() {
  return HexToBinaryTool(ui_);
}
ToolResult CFileConvertTools::MergeHex() {
  return MergeHexTool(ui_);
}
ToolResult CFileConvertTools::ConvertMap() {
  return ConvertMapTool(ui_);
}

ToolResult CFileConvertTools::ConvertDebug() {
  return ConvertDebugTool(ui_, [](std::string_view line) { return DecodeDebugLine(line); });
}

ToolResult CFileConvertTools::Build(const BuildVariant& variant) {
  return RunBuildVariant(ui_, variant);
}

int CFileConvertTools::EncodeAudioFile(const std::string& destination, const std::string& source) {
  return AudioEngine().EncodeAudioFile(codec_, destination, source);
}

int CFileConvertTools::DecodeAudioFile(const std::string& destination, const std::string& source) {
  return AudioEngine().DecodeAudioFile(codec_, destination, source);
}

int CFileConvertTools::ConvertPrompt(const std::string& destinationFolder, const std::string& sourceFolder,
                                     const std::string& name) {
  // The folders end with their separator; the parts are joined as they are, then mapped.
  const std::string source = MapWindowsPath(sourceFolder + name + ".pcm");
  const std::string destination = MapWindowsPath(destinationFolder + name + ".h");
  const std::string temp = MapWindowsPath(kEncodeTempFile);
  if (EncodeAudioFile(temp, source) != 1) return 0;
  return DataToHeader(ui_, destination, temp);
}

int CFileConvertTools::ConvertPromptSet(const std::string& destinationFolder,
                                        const std::string& sourceFolder) {
  int failed = 0;
  for (const char* name : kPromptNames)
    if (ConvertPrompt(destinationFolder, sourceFolder, name) != 1) ++failed;
  return failed;
}

ToolResult CFileConvertTools::BatchIvr() {
  // A prompt that cannot be converted is said (or skipped, when its encoding failed) and the batch goes
  // on; the headers replace their old files together at the end, by the run's rule.
  CToolRun batch(ui_);
  // The members keep these values afterwards; the store is not written.
  codec_.useVad = 0;
  codec_.noAcm = 1;
  codec_.useHighRate = 1;
  for (const PromptRun& run : kPromptRuns) {
    codec_.codecType = run.codecType;
    batch.WentOnPast(ConvertPromptSet(run.destinationFolder, run.sourceFolder));
  }
  return batch.Finish(ToolResult::Done);
}

}  // namespace quill
