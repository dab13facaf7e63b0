#include "app/udp_audio.h"

namespace quill {

UdpAudioOptions UdpAudioOptionsOf(const ToolOptions& o, std::string saveFileName) {
  UdpAudioOptions r;
  r.realtime = o.realtime;
  r.realtimeOut = o.realtimeOut;
  r.saveFile = o.saveFile;
  r.codec.noAcm = o.noAcm;
  r.codec.useHighRate = o.useHighRate;
  r.codec.useVad = o.useVad;
  r.codec.codecType = o.codecType;
  r.phoneAddress = o.ipField;
  r.saveFileName = std::move(saveFileName);
  return r;
}

}  // namespace quill
