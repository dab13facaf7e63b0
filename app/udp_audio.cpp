#include "app/udp_audio.h"

namespace quill {

UdpAudioRequest MakeUdpAudioRequest(const ToolOptions& o, std::string saveFileName) {
  UdpAudioRequest r;
  r.phoneAddress = o.ipField;
  r.codecType = o.codecType;
  r.realtimeDecode = o.realtime != 0;
  r.realtimeEncode = o.realtimeOut != 0;
  r.saveFile = o.saveFile != 0;
  r.saveFileName = std::move(saveFileName);
  r.noAcm = o.noAcm != 0;
  r.useVad = o.useVad != 0;
  r.useHighRate = o.useHighRate != 0;
  return r;
}

int StartUdpAudio(const UdpAudioRequest& request) {
  (void)request;  // an audio engine would start capture, playback and the voice stream here
  return 1;
}

void StopUdpAudio() {}

}  // namespace quill
