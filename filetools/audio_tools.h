// The voice-audio functions around the audio hooks: the codec list, the codec options, the UDP audio
// options, the three audio file tools and the hooks an audio engine attaches to. No engine is part of
// this tool: each hook does no audio work and reports success.
#pragma once

#include <cstdint>
#include <string>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

// The codec list of the main window, in its order; the codec type is an index into it.
inline constexpr int kCodecTypeCount = 7;
inline constexpr int kCodecG729 = 5;
inline constexpr int kCodecG7231 = 6;
extern const char* const kCodecTypeNames[kCodecTypeCount];
// The list text of a codec type; empty for a value outside the list.
const char* CodecTypeName(int codecType);

// What the encoder and decoder see: the file-conversion dialog's four codec members.
struct CodecOptions {
  int noAcm = 1;        // "UdpAudio"/"NoAcm": do not use the platform's audio compression drivers
  int useHighRate = 1;  // "UdpAudio"/"UseHighRate": G.723.1 at its high rate
  int useVad = 1;       // "UdpAudio"/"UseVAD": voice activity detection for G.729 and G.723.1
  int codecType = 0;    // "Audio"/"CodecType"
  bool operator==(const CodecOptions&) const = default;
};
// The codec members as the store holds them (missing values read as their defaults).
CodecOptions LoadCodecOptions();

// What the UDP audio start hook receives: the main window's audio options and phone address.
struct UdpAudioOptions {
  int realtime = 1;
  int realtimeOut = 1;
  int saveFile = 0;
  CodecOptions codec;
  uint32_t phoneAddress = 0;  // most significant byte = first dotted octet
  std::string saveFileName;   // "UdpAudio"/"DstName" when saveFile is set
};

// The hooks of an audio engine. The base class is the tool's own: no engine, every hook reports success
// (1) at once. Results: 1 = success.
class CAudioHooks {
 public:
  virtual ~CAudioHooks() = default;
  virtual int EncodeAudioFile(const CodecOptions& codec, const std::string& destination,
                              const std::string& source);
  virtual int DecodeAudioFile(const CodecOptions& codec, const std::string& destination,
                              const std::string& source);
  virtual int WaveToPcm(const std::string& destination, const std::string& source);
  virtual int StartUdpAudio(const UdpAudioOptions& options);
  virtual void StopUdpAudio();
};
// The hooks of this tool (no engine).
CAudioHooks& NoAudioEngine();

// The one place where an audio engine attaches: every audio function calls its hooks through
// AudioEngine(), the file tools and the main window's UDP audio alike. Without an engine attached these
// are NoAudioEngine()'s. The engine is not owned and must outlive its use; null detaches it.
CAudioHooks& AudioEngine();
void AttachAudioEngine(CAudioHooks* engine);

// The hooks without an engine: no conversion; 1.
int EncodeAudioFile(const CodecOptions& codec, const std::string& destination, const std::string& source);
int DecodeAudioFile(const CodecOptions& codec, const std::string& destination, const std::string& source);
int WaveToPcm(const std::string& destination, const std::string& source);

// The three audio file tools: the source (stored once chosen), then the destination (stored), then the
// engine's hook with (destination, source). A destination that is the source is refused before the hook
// runs. The hooks' results are not reported. An engine attached here reads and writes through the file
// layer (platform/file_io.h), as every tool does.
ToolResult AudioEncodeTool(Ui& ui, const CodecOptions& codec);  // "AudioEncode"
ToolResult AudioDecodeTool(Ui& ui, const CodecOptions& codec);  // "AudioDecode"
ToolResult WaveToPcmTool(Ui& ui);                               // "WAVE2PCM"

}  // namespace quill
