// `quilltool settings ...`: the phone settings without a phone. Builds the image the tool would send from
// the store, imports an image read from a phone into the store, applies a settings text file to a phone's
// image as the alternate-settings update would, and shows the store's section.
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "platform/settings_store.h"
#include "settings/phone_settings.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"

namespace quill::cli {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  quilltool settings build OUT [--base IMAGE]\n"
    "      write the 512-byte settings image built from section \"PhoneSettings\" of the store to OUT;\n"
    "      bytes the store does not describe come from IMAGE (default: all zero)\n"
    "  quilltool settings import IMAGE\n"
    "      write the values of a 512-byte settings image into the store (every key but Account)\n"
    "  quilltool settings apply TEXTFILE IMAGE OUT\n"
    "      copy the 512-byte phone image IMAGE four times, apply the settings text file TEXTFILE\n"
    "      ([SETTING1] .. [SETTING4] sections) and write the 2048 bytes to OUT\n"
    "  quilltool settings show\n"
    "      print every key of section \"PhoneSettings\" with its value or its default\n";

void Fail(TerminalUi& ui, const std::string& text) {
  ui.Message(text);
}

// Reads a file that must hold exactly size bytes; reports what is wrong otherwise.
std::optional<std::vector<uint8_t>> ReadExact(TerminalUi& ui, const std::string& path, size_t size,
                                              const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail(ui, "Can not open " + std::string(what) + " " + path);
    return std::nullopt;
  }
  // One byte more than wanted tells a longer file apart without reading all of it.
  std::vector<uint8_t> data(size + 1);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  size_t got = static_cast<size_t>(in.gcount());
  if (in.bad() || got != size) {
    Fail(ui, path + " is not a " + what + ": it must be exactly " + std::to_string(size) + " bytes, " +
                 (got > size ? std::string("it is longer") : "it has " + std::to_string(got)));
    return std::nullopt;
  }
  data.resize(size);
  return data;
}

bool WriteAll(TerminalUi& ui, const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (out) out.close();
  if (!out) {
    Fail(ui, "Can not write " + path);
    return false;
  }
  return true;
}

int Build(const std::vector<std::string>& pos, const Args& args, TerminalUi& ui) {
  if (pos.size() != 2) return -1;
  if (auto base = args.Value("--base")) {
    auto image = ReadExact(ui, *base, kSettingsImageSize, "settings image");
    if (!image) return kExitFailure;
    SetBaseSettingsImage(image->data());
  }
  SettingsImage out;
  BuildSettingsImage(out.data());
  return WriteAll(ui, pos[1], out.data(), out.size()) ? kExitOk : kExitFailure;
}

int Import(const std::vector<std::string>& pos, TerminalUi& ui) {
  if (pos.size() != 2) return -1;
  auto image = ReadExact(ui, pos[1], kSettingsImageSize, "settings image");
  if (!image) return kExitFailure;
  if (StoreResult stored = ImportSettingsImage(image->data()); !stored) {
    Fail(ui, stored.Message());
    return kExitFailure;
  }
  return kExitOk;
}

int Apply(const std::vector<std::string>& pos, TerminalUi& ui) {
  if (pos.size() != 4) return -1;
  auto phone = ReadExact(ui, pos[2], kSettingsImageSize, "settings image");
  if (!phone) return kExitFailure;
  std::vector<uint8_t> images(kAlternateSettingsSize);
  CopyToAlternateImages(images.data(), phone->data());
  if (!ApplySettingsTextFile(pos[1], images.data())) {
    Fail(ui, "Can not open source file");
    return kExitFailure;
  }
  return WriteAll(ui, pos[3], images.data(), images.size()) ? kExitOk : kExitFailure;
}

std::string ShownValue(const PhoneSettingKey& key) {
  if (key.IsText()) return "\"" + ReadPhoneTextOrDefault(key) + "\"";
  int v = ReadPhoneIntOrDefault(key);
  if (key.kind == PhoneKeyKind::Address) return DottedStoreAddress(static_cast<uint32_t>(v));
  return std::to_string(v);
}

int Show(const std::vector<std::string>& pos) {
  if (pos.size() != 1) return -1;
  SettingsStore& store = SettingsStore::Profile();
  std::printf("# %s [%s]\n", store.FilePath().c_str(), std::string(kPhoneSettingsSection).c_str());
  for (const auto& key : PhoneSettingKeys()) {
    std::string name(key.name);
    bool stored = store.Contains(kPhoneSettingsSection, name);
    const char* note = "(stored)";
    std::string value;
    if (stored) {
      value = ShownValue(key);
      // An integer key holding no integer reads as its default; say so rather than show a made-up value.
      if (!key.IsText() && !SettingsStore::ParseStoredInt(store.GetString(kPhoneSettingsSection, name, "")))
        note = key.hasDefault ? "(stored, not an integer: default used)" : "(stored, not an integer)";
    } else if (key.hasDefault) {
      value = ShownValue(key);
      note = "(default)";
    } else {
      note = "(not stored; no default)";
    }
    std::printf("%-16s %-26s %s\n", name.c_str(), value.c_str(), note);
  }
  return kExitOk;
}

int Run(const Args& args, TerminalUi& ui) {
  const auto& pos = args.Positionals();
  int code = -1;
  // --base only makes sense for build; anywhere else it is a mistake worth pointing out.
  const bool baseMisplaced = args.Value("--base") && (pos.empty() || pos[0] != "build");
  if (!pos.empty() && !baseMisplaced) {
    if (pos[0] == "build")
      code = Build(pos, args, ui);
    else if (pos[0] == "import")
      code = Import(pos, ui);
    else if (pos[0] == "apply")
      code = Apply(pos, ui);
    else if (pos[0] == "show")
      code = Show(pos);
  }
  if (code < 0) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  return code;
}

const bool registered = RegisterSubcommand({
    "settings",
    "build, import, apply or show the phone settings (512-byte settings image, setting.txt)",
    kUsage,
    {},
    {"--base"},
    Run,
});

}  // namespace
}  // namespace quill::cli
