// `quilltool options`: the stored tool options with their defaults, so the store can be inspected.
#include <cstdio>

#include "app/tool_options.h"
#include "cli/subcommand.h"
#include "platform/settings_store.h"

namespace quill::cli {
namespace {

struct Row {
  const char* section;
  const char* key;
  bool integer;
  const char* defaultText;  // nullptr: written only, no default
  int defaultInt;
};

constexpr Row kRows[] = {
    {"Comm", "Type", true, "1", 1},
    {"Rs232", "Port", false, "COM1", 0},
    {"Peer", "IPAddress", true, "192.168.1.1", static_cast<int>(kDefaultPeerAddress)},
    {"UdpAudio", "Realtime", true, "1", 1},
    {"UdpAudio", "SaveFile", true, "0", 0},
    {"UdpAudio", "RealtimeOut", true, "1", 1},
    {"UdpAudio", "NoAcm", true, "1", 1},
    {"UdpAudio", "UseVAD", true, "1", 1},
    {"UdpAudio", "UseHighRate", true, "1", 1},
    {"UdpAudio", "DstName", false, "udpaudio.dat", 0},
    {"Audio", "CodecType", true, "0", 0},
    {"Sdram", "SaveLength", true, "0", 0},
    {"PFlash", "Page", true, nullptr, 0},
    {"PFlash", "Type", true, nullptr, 0},
    {"PFlashUpdate", "SrcName", false, nullptr, 0},
    {"ProgramUpdate", "SrcName", false, "demo.bin", 0},
    {"RingUpdate", "SrcName", false, "ring.dat", 0},
    {"MapUpdate", "SrcName", false, "map.txt", 0},
    {"HoldIVRUpdate", "SrcName", false, "hold.dat", 0},
    {"AlternateUpdate", "SrcName", false, "setting.txt", 0},
    {"LoadSdram", "SrcName", false, "sdram.dat", 0},
    {"SaveSdram", "DstName", false, "sdram.dat", 0},
    {"Paths", "DriveC", false, "(home folder)", 0},
    {"Rs232", "COM1Device", false, "/dev/ttyS0", 0},
    {"Rs232", "COM2Device", false, "/dev/ttyS1", 0},
};

int Run(const Args&, TerminalUi& ui) {
  SettingsStore& store = SettingsStore::Profile();
  // What a store that cannot be read would show are the defaults, not the options: say so and fail. A
  // store that does not parse shows what can be read of it, after a word about the rest.
  const StoreHealth health = store.Health();
  if (!health.Fine()) ui.Message(health.Message());
  if (health.state == StoreHealth::State::Unreadable) return kExitFailure;
  std::printf("# %s\n", store.FilePath().c_str());
  for (const Row& r : kRows) {
    bool stored = store.Contains(r.section, r.key);
    std::string value;
    if (stored) {
      if (r.integer) {
        int v = store.GetInt(r.section, r.key, r.defaultInt);
        value =
            std::string(r.key) == "IPAddress" ? DottedAddress(static_cast<uint32_t>(v)) : std::to_string(v);
      } else {
        value = store.GetString(r.section, r.key, "");
      }
    } else {
      value = r.defaultText ? r.defaultText : "";
    }
    std::printf("%-16s %-12s %-24s %s\n", r.section, r.key, value.c_str(),
                stored ? "(stored)" : (r.defaultText ? "(default)" : "(not stored; written only)"));
  }
  return kExitOk;
}

const bool registered = [] {
  Subcommand c{
      "options",
      "print the stored tool options, with defaults for those not stored",
      "Prints every tool option of the settings store: section, key, value and whether it is stored or\n"
      "its default, the drive map (Paths) and the COM port map (Rs232 COM1Device, COM2Device) among\n"
      "them. Exits 1 when the store file cannot be read.\n",
      {},
      {},
      Run};
  c.positionalKind = ValueKind::Text;
  c.maxPositionals = 0;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
