// The UDP audio hooks of the main window: where an audio engine (capture and playback, the codecs, the UDP
// voice stream) attaches. No engine stands behind them: they do no audio work and report success.
#pragma once

#include <cstdint>
#include <string>

#include "app/tool_options.h"

namespace quill {

struct UdpAudioRequest {
  uint32_t phoneAddress = 0;  // the upgrade IP address field, first octet most significant
  int codecType = 0;
  bool realtimeDecode = true;
  bool realtimeEncode = true;
  bool saveFile = false;
  std::string saveFileName;  // when saveFile: the file for the received audio
  bool noAcm = true;
  bool useVad = true;
  bool useHighRate = true;
};

UdpAudioRequest MakeUdpAudioRequest(const ToolOptions& options, std::string saveFileName);

// 1 = success.
int StartUdpAudio(const UdpAudioRequest& request);
void StopUdpAudio();

}  // namespace quill
