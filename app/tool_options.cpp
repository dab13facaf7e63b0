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

bool WriteToolOptions(const ToolOptions& o, bool withSdramLength) {
  SettingsStore::Batch batch;
  SettingsStore& store = SettingsStore::Profile();
  bool ok = store.WriteInt("Comm", "Type", o.linkType);
  ok = store.WriteString("Rs232", "Port", o.serialPortIndex == 1 ? "COM2" : "COM1") && ok;
  ok = store.WriteInt("UdpAudio", "Realtime", o.realtime) && ok;
  ok = store.WriteInt("UdpAudio", "SaveFile", o.saveFile) && ok;
  ok = store.WriteInt("UdpAudio", "RealtimeOut", o.realtimeOut) && ok;
  ok = store.WriteInt("UdpAudio", "NoAcm", o.noAcm) && ok;
  ok = store.WriteInt("UdpAudio", "UseVAD", o.useVad) && ok;
  ok = store.WriteInt("UdpAudio", "UseHighRate", o.useHighRate) && ok;
  ok = store.WriteInt("Peer", "IPAddress", static_cast<int>(o.ipField)) && ok;
  ok = store.WriteInt("Audio", "CodecType", o.codecType) && ok;
  ok = store.WriteInt("PFlash", "Page", o.flashPage) && ok;
  ok = store.WriteInt("PFlash", "Type", o.chipType) && ok;
  if (withSdramLength) ok = store.WriteInt("Sdram", "SaveLength", o.sdramLength) && ok;
  return ok;
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

std::string StoreWriteFailure(const std::string& reason) {
  std::string text =
      "Can not write the tool options to the settings store\n" + SettingsStore::Profile().FilePath();
  if (!reason.empty()) text += ": " + reason;
  return text;
}

bool SdramLengthInRange(long long value) {
  return value >= 0 && value <= kMaxSdramLength;
}

std::string RangeMessage(long long low, long long high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::string DottedAddress(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                a & 0xFF);
  return text;
}

}  // namespace quill
