// The tools of the file-conversion dialog, without the dialog: the four codec members that the audio
// tools use, and one operation per button. The dialog, the command line and the tests all run these.
#pragma once

#include <string>

#include "filetools/audio_tools.h"
#include "filetools/tool_result.h"

namespace quill {

class Ui;
struct BuildVariant;

// The dialog's button identifiers.
namespace file_convert_id {
inline constexpr int kHexToHeader = 1121;
inline constexpr int kAdspToHeader = 1119;  // no action
inline constexpr int kBinaryToHeader = 1120;
inline constexpr int kWaveToPcm = 1127;
inline constexpr int kAudioEncode = 1122;
inline constexpr int kAudioDecode = 1123;
inline constexpr int kHexToBinary = 1125;
inline constexpr int kMergeHex = 1171;
inline constexpr int kConvertDebug = 1173;
inline constexpr int kConvertMap = 1177;
inline constexpr int kMergeG729 = 1178;  // no action
inline constexpr int kBatchIvr = 1124;
inline constexpr int kExit = 2;
}  // namespace file_convert_id

class CFileConvertTools {
 public:
  // Reads the codec members from the store; nothing is ever written back. The audio hooks are those of
  // the attached engine (AudioEngine()).
  explicit CFileConvertTools(Ui& ui);

  CodecOptions& Codec() { return codec_; }
  const CodecOptions& Codec() const { return codec_; }

  // Runs the tool of a button as the window does; false for an identifier that has no tool (the two inert
  // buttons too). The names the tool remembers reach the store in one save when it ends; a store that
  // cannot take them is said once, and the tool's work stands.
  bool PressButton(int id);
  // The result of the last tool that ran.
  ToolResult LastResult() const { return lastResult_; }

  ToolResult HexToCodeHeader();  // 1121
  ToolResult BinaryToHeader();   // 1120
  ToolResult WaveToPcmFile();    // 1127
  ToolResult EncodeAudio();      // 1122
  ToolResult DecodeAudio();      // 1123
  ToolResult HexToBinary();      // 1125
  ToolResult MergeHex();         // 1171
  ToolResult ConvertDebug();     // 1173
  ToolResult ConvertMap();       // 1177
  ToolResult Build(const BuildVariant& variant);
  ToolResult BatchIvr();  // 1124

  // The audio hooks with the current codec members; 1 = success.
  int EncodeAudioFile(const std::string& destination, const std::string& source);
  int DecodeAudioFile(const std::string& destination, const std::string& source);

  // Folders in the work tree's form, ending with a backslash ("c:\zediza323\voice\g7231\"). The result
  // of DataToHeader, or 0 when encoding failed.
  int ConvertPrompt(const std::string& destinationFolder, const std::string& sourceFolder,
                    const std::string& name);
  // The number of prompts not converted.
  int ConvertPromptSet(const std::string& destinationFolder, const std::string& sourceFolder);

 private:
  Ui& ui_;
  CodecOptions codec_;
  ToolResult lastResult_ = ToolResult::Done;
};

}  // namespace quill
