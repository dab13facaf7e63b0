// The tool's own options: the user's choices of link, port, phone address, audio settings, SDRAM length,
// flash page and chip type, kept in the settings store between runs.
#pragma once

#include <cstdint>
#include <string>

#include "link/command_host.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace quill {

constexpr uint32_t kDefaultPeerAddress = 0xC0A80101;  // 192.168.1.1, first octet most significant
constexpr uint32_t kInitialIpField = 0xC0A80164;      // 192.168.1.100: the IP field always opens with it
constexpr int kMaxSdramLength = 640000;

// The option values as the main window holds them.
struct ToolOptions {
  int linkType = 1;                    // "Comm"/"Type": 0 serial, 1 TCP/IP
  int serialPortIndex = 0;             // "Rs232"/"Port": 0 "COM1", 1 "COM2"
  uint32_t ipField = kInitialIpField;  // written to "Peer"/"IPAddress"; never loaded from it
  int realtime = 1;                    // "UdpAudio"/"Realtime"
  int saveFile = 0;                    // "UdpAudio"/"SaveFile"
  int realtimeOut = 1;                 // "UdpAudio"/"RealtimeOut"
  int noAcm = 1;                       // "UdpAudio"/"NoAcm"
  int useVad = 1;                      // "UdpAudio"/"UseVAD"
  int useHighRate = 1;                 // "UdpAudio"/"UseHighRate"
  int codecType = 0;                   // "Audio"/"CodecType"
  int flashPage = 0;                   // "PFlash"/"Page", written only
  int chipType = 4;                    // "PFlash"/"Type", written only
  int sdramLength = 0;                 // "Sdram"/"SaveLength", 0 .. 640000

  std::string PortName() const { return serialPortIndex == 0 ? "COM1" : "COM2"; }
};

// Option loading when the main window opens: page 0 and chip type 4, the stored port and link, the IP field
// at 192.168.1.100, the six audio flags, the SDRAM length and the codec.
ToolOptions LoadToolOptions();

// Writes the options in the system's order: "Comm"/"Type"; "Rs232"/"Port"; the six "UdpAudio" integers;
// "Peer"/"IPAddress"; "Audio"/"CodecType"; "PFlash"/"Page"; "PFlash"/"Type"; "Sdram"/"SaveLength" (left
// as stored when the length failed its check), in one save; on failure the store keeps none of them.
StoreResult WriteToolOptions(const ToolOptions& options, bool withSdramLength = true);

// What a command works with, as the options hold it: the SDRAM length only when it passed its check, and
// whether the options were stored.
CommandValues CommandValuesOf(const ToolOptions& options, bool sdramLengthValid, bool stored);

// The range check of the SDRAM length field (RangeMessage says it to the user).
bool SdramLengthInRange(long long value);

// Dotted text of an address held with its first octet most significant.
std::string DottedAddress(uint32_t address);

}  // namespace quill
