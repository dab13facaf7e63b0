#include "app/tool_options.h"

#include <cstdio>

#include "platform/settings_store.h"

namespace quill {

ToolOptions LoadToolOptions() {
  SettingsStore& store = SettingsStore::Profile();
  ToolOptions o;
  o.flashPage = 0;
  o.chipType = 4;
  // Exactly "COM1" selects the first port; any other stored text selects the second.
  o.serialPortIndex = store.GetString("Rs232", "Port", "COM1") == "COM1" ? 0 : 1;
  o.linkType = store.GetInt("Comm", "Type", 1);
  o.ipField = kInitialIpField;
  o.realtime = store.GetInt("UdpAudio", "Realtime", 1);
  o.saveFile = store.GetInt("UdpAudio", "SaveFile", 0);
  o.realtimeOut = store.GetInt("UdpAudio", "RealtimeOut", 1);
  o.noAcm = store.GetInt("UdpAudio", "NoAcm", 1);
  o.useVad = store.GetInt("UdpAudio", "UseVAD", 1);
  o.useHighRate = store.GetInt("UdpAudio", "UseHighRate", 1);
  o.sdramLength = store.GetInt("Sdram", "SaveLength", 0);
  o.codecType = store.GetInt("Audio", "CodecType", 0);
  return o;
}

void WriteToolOptions(const ToolOptions& o) {
  SettingsStore::Batch batch;
  SettingsStore& store = SettingsStore::Profile();
  store.WriteInt("Comm", "Type", o.linkType);
  store.WriteString("Rs232", "Port", o.serialPortIndex == 1 ? "COM2" : "COM1");
  store.WriteInt("UdpAudio", "Realtime", o.realtime);
  store.WriteInt("UdpAudio", "SaveFile", o.saveFile);
  store.WriteInt("UdpAudio", "RealtimeOut", o.realtimeOut);
  store.WriteInt("UdpAudio", "NoAcm", o.noAcm);
  store.WriteInt("UdpAudio", "UseVAD", o.useVad);
  store.WriteInt("UdpAudio", "UseHighRate", o.useHighRate);
  store.WriteInt("Peer", "IPAddress", static_cast<int>(o.ipField));
  store.WriteInt("Audio", "CodecType", o.codecType);
  store.WriteInt("PFlash", "Page", o.flashPage);
  store.WriteInt("PFlash", "Type", o.chipType);
  store.WriteInt("Sdram", "SaveLength", o.sdramLength);
}

bool SdramLengthInRange(long long value) { return value >= 0 && value <= kMaxSdramLength; }

std::string RangeMessage(long long low, long long high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::string DottedAddress(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
  return text;
}

}  // namespace quill
