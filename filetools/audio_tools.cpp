#include "filetools/audio_tools.h"

#include <atomic>

#include "filetools/file_choice.h"
#include "platform/file_io.h"
#include "platform/settings_store.h"
#include "platform/ui.h"

namespace quill {
namespace {

constexpr FileChoice kEncodeSource{"AudioEncode", FileRole::Source, "udpaudio.pcm", "*.pcm", kPcmFilter};
constexpr FileChoice kEncodeDestination{"AudioEncode", FileRole::Destination, "udpaudio.dat", "*.dat",
                                        kDataFilter};
constexpr FileChoice kDecodeSource{"AudioDecode", FileRole::Source, "udpaudio.dat", "*.dat", kDataFilter};
constexpr FileChoice kDecodeDestination{"AudioDecode", FileRole::Destination, "udpaudio.pcm", "*.pcm",
                                        kPcmFilter};
constexpr FileChoice kWaveSource{"WAVE2PCM", FileRole::Source, "demo.wav", "*.wav", kWaveFilter};
constexpr FileChoice kWaveDestination{"WAVE2PCM", FileRole::Destination, "demo.pcm", "*.pcm", kPcmFilter};

std::atomic<CAudioHooks*> g_engine{nullptr};

template <class Hook>
ToolResult RunAudioTool(Ui& ui, const FileChoice& source, const FileChoice& destination, Hook hook) {
  auto src = ChooseFile(ui, source);
  if (!src) return ToolResult::Cancelled;
  auto dst = ChooseFile(ui, destination);
  if (!dst) return ToolResult::Cancelled;
  // The hooks open their files themselves: the one file named twice is refused before they run.
  FileError clash;
  if (!CheckDistinctFiles({*src}, {*dst}, &clash)) {
    ui.Message(FileFailureText(kCanNotCreateDest, clash));
    return ToolResult::Failed;
  }
  hook(*dst, *src);
  return ToolResult::Done;
}

}  // namespace

const char* const kCodecTypeNames[kCodecTypeCount] = {
    "8k pass through", "ITU-T G.711 A Law",          "ITU-T G.711 MU Law", "ITU-T G.721 ADPCM",
    "GSM 6.10",        "ITU-T G.729 with Annex A&B", "ITU-T G.723.1",
};

const char* CodecTypeName(int codecType) {
  return codecType >= 0 && codecType < kCodecTypeCount ? kCodecTypeNames[codecType] : "";
}

CodecOptions LoadCodecOptions() {
  SettingsStore& store = SettingsStore::Profile();
  CodecOptions o;
  o.noAcm = store.GetInt("UdpAudio", "NoAcm", 1);
  o.useHighRate = store.GetInt("UdpAudio", "UseHighRate", 1);
  o.useVad = store.GetInt("UdpAudio", "UseVAD", 1);
  o.codecType = store.GetInt("Audio", "CodecType", 0);
  return o;
}

int CAudioHooks::EncodeAudioFile(const CodecOptions& codec, const std::string& destination,
                                 const std::string& source) {
  return quill::EncodeAudioFile(codec, destination, source);
}
int CAudioHooks::DecodeAudioFile(const CodecOptions& codec, const std::string& destination,
                                 const std::string& source) {
  return quill::DecodeAudioFile(codec, destination, source);
}
int CAudioHooks::WaveToPcm(const std::string& destination, const std::string& source) {
  return quill::WaveToPcm(destination, source);
}
int CAudioHooks::StartUdpAudio(const UdpAudioOptions&) {
  return 1;
}
void CAudioHooks::StopUdpAudio() {}

CAudioHooks& NoAudioEngine() {
  static CAudioHooks hooks;  // stateless
  return hooks;
}

CAudioHooks& AudioEngine() {
  CAudioHooks* engine = g_engine.load();
  return engine ? *engine : NoAudioEngine();
}

void AttachAudioEngine(CAudioHooks* engine) {
  g_engine.store(engine);
}

int EncodeAudioFile(const CodecOptions&, const std::string&, const std::string&) {
  return 1;
}
int DecodeAudioFile(const CodecOptions&, const std::string&, const std::string&) {
  return 1;
}
int WaveToPcm(const std::string&, const std::string&) {
  return 1;
}

ToolResult AudioEncodeTool(Ui& ui, const CodecOptions& codec) {
  return RunAudioTool(ui, kEncodeSource, kEncodeDestination,
                      [&](const std::string& dst, const std::string& src) {
                        AudioEngine().EncodeAudioFile(codec, dst, src);
                      });
}

ToolResult AudioDecodeTool(Ui& ui, const CodecOptions& codec) {
  return RunAudioTool(ui, kDecodeSource, kDecodeDestination,
                      [&](const std::string& dst, const std::string& src) {
                        AudioEngine().DecodeAudioFile(codec, dst, src);
                      });
}

ToolResult WaveToPcmTool(Ui& ui) {
  return RunAudioTool(ui, kWaveSource, kWaveDestination, [](const std::string& dst, const std::string& src) {
    AudioEngine().WaveToPcm(dst, src);
  });
}

}  // namespace quill
