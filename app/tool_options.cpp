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

StoreResult WriteToolOptions(const ToolOptions& o, bool withSdramLength) {
  SettingsStore::Batch batch;
  batch.WriteInt("Comm", "Type", o.linkType);
  batch.WriteString("Rs232", "Port", o.serialPortIndex == 1 ? "COM2" : "COM1");
  batch.WriteInt("UdpAudio", "Realtime", o.realtime);
  batch.WriteInt("UdpAudio", "SaveFile", o.saveFile);
  batch.WriteInt("UdpAudio", "RealtimeOut", o.realtimeOut);
  batch.WriteInt("UdpAudio", "NoAcm", o.noAcm);
  batch.WriteInt("UdpAudio", "UseVAD", o.useVad);
  batch.WriteInt("UdpAudio", "UseHighRate", o.useHighRate);
  batch.WriteInt("Peer", "IPAddress", static_cast<int>(o.ipField));
  batch.WriteInt("Audio", "CodecType", o.codecType);
  batch.WriteInt("PFlash", "Page", o.flashPage);
  batch.WriteInt("PFlash", "Type", o.chipType);
  if (withSdramLength) batch.WriteInt("Sdram", "SaveLength", o.sdramLength);
  return batch.Commit();
}

CommandValues CommandValuesOf(const ToolOptions& o, bool sdramLengthValid, bool stored) {
  CommandValues v;
  v.phone = o.ipField;
  v.linkType = o.linkType;
  v.portName = o.PortName();
  v.flashPage = o.flashPage;
  v.chipType = o.chipType;
  if (sdramLengthValid) v.sdramLength = static_cast<size_t>(o.sdramLength);
  v.stored = stored;
  return v;
}

bool SdramLengthInRange(long long value) {
  return value >= 0 && value <= kMaxSdramLength;
}

std::string DottedAddress(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                a & 0xFF);
  return text;
}

}  // namespace quill
