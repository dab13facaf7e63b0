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
#include "platform/paths.h"
#include "platform/ui.h"

namespace quill {

namespace id = file_convert_id;

CFileConvertTools::CFileConvertTools(Ui& ui)
    : ui_(ui), codec_(LoadCodecOptions()), hooks_(&NoAudioEngine()) {}

void CFileConvertTools::SetAudioHooks(CAudioHooks* hooks) {
  hooks_ = hooks ? hooks : &NoAudioEngine();
}

bool CFileConvertTools::PressButton(int buttonId) {
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
  return true;
}

ToolResult CFileConvertTools::HexToCodeHeader() {
  return HexToCodeHeaderTool(ui_);
}
ToolResult CFileConvertTools::BinaryToHeader() {
  return BinaryToHeaderTool(ui_);
}
ToolResult CFileConvertTools::WaveToPcmFile() {
  return WaveToPcmTool(ui_, *hooks_);
}
ToolResult CFileConvertTools::EncodeAudio() {
  return AudioEncodeTool(ui_, *hooks_, codec_);
}
ToolResult CFileConvertTools::DecodeAudio() {
  return AudioDecodeTool(ui_, *hooks_, codec_);
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
  return RunBuildVariant(ui_, variant) ? ToolResult::Done : ToolResult::Failed;
}

int CFileConvertTools::EncodeAudioFile(const std::string& destination, const std::string& source) {
  return hooks_->EncodeAudioFile(codec_, destination, source);
}

int CFileConvertTools::DecodeAudioFile(const std::string& destination, const std::string& source) {
  return hooks_->DecodeAudioFile(codec_, destination, source);
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

void CFileConvertTools::ConvertPromptSet(const std::string& destinationFolder,
                                         const std::string& sourceFolder) {
  for (const char* name : kPromptNames) ConvertPrompt(destinationFolder, sourceFolder, name);
}

ToolResult CFileConvertTools::BatchIvr() {
  // The members keep these values afterwards; the store is not written.
  codec_.useVad = 0;
  codec_.noAcm = 1;
  codec_.useHighRate = 1;
  for (const PromptRun& run : kPromptRuns) {
    codec_.codecType = run.codecType;
    ConvertPromptSet(run.destinationFolder, run.sourceFolder);
  }
  return ToolResult::Done;
}

}  // namespace quill
