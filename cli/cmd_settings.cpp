// `quilltool settings ...`: the phone settings without a phone. Builds the image the tool would send from
// the store, imports an image read from a phone into the store, applies a settings text file to a phone's
// image as the alternate-settings update would, and shows the store's section.
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "platform/file_io.h"
#include "platform/settings_store.h"
#include "settings/phone_settings.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"

namespace quill::cli {
namespace {

constexpr const char* kUsage =
    "  quilltool settings build OUT [--base IMAGE]\n"
    "      write the 512-byte settings image built from section \"PhoneSettings\" of the store to OUT;\n"
    "      bytes the store does not describe come from IMAGE (default: all zero)\n"
    "  quilltool settings import IMAGE\n"
    "      write the values of a 512-byte settings image into the store (every key but Account)\n"
    "  quilltool settings apply TEXTFILE IMAGE OUT\n"
    "      copy the 512-byte phone image IMAGE four times, apply the settings text file TEXTFILE\n"
    "      ([SETTING1] .. [SETTING4] sections) and write the 2048 bytes to OUT\n"
    "  quilltool settings show\n"
    "      print every key of section \"PhoneSettings\" with its value or its default\n"
    "OUT is replaced only when the command succeeds (a failed run leaves it as it was) and is never one of\n"
    "the inputs. A store that cannot be written or read fails the command (exit code 1) naming the store\n"
    "file and the reason.\n";

void Fail(TerminalUi& ui, const std::string& text) {
  ui.Message(text);
}

// Reads a settings image: a file of exactly its size. Reports what is wrong otherwise.
std::optional<SettingsImage> ReadSettingsImage(TerminalUi& ui, const std::string& path) {
  constexpr size_t size = kSettingsImageSize;
  constexpr const char* what = "settings image";
  std::vector<uint8_t> data;
  FileError error;
  switch (ReadWholeFile(path, size, data, &error)) {
    case ReadStatus::Ok:
      if (data.size() == size) {
        SettingsImage image;
        std::copy(data.begin(), data.end(), image.begin());
        return image;
      }
      Fail(ui, std::string("Not a ") + what + ": it must be exactly " + std::to_string(size) +
                   " bytes, it has " + std::to_string(data.size()) + "\n" + path);
      return std::nullopt;
    case ReadStatus::TooLarge:
      Fail(ui, std::string("Not a ") + what + ": it must be exactly " + std::to_string(size) +
                   " bytes, it is longer\n" + path);
      return std::nullopt;
    case ReadStatus::CannotOpen:
    case ReadStatus::ReadError:
      break;
  }
  Fail(ui, FileFailureText("Can not open " + std::string(what), error));
  return std::nullopt;
}

// OUT is written whole or not at all: a failed write leaves whatever was there before.
bool WriteAll(TerminalUi& ui, const std::string& path, std::span<const uint8_t> data) {
  COutputFile out;
  if (out.Create(path)) {
    out.Write(data.data(), data.size());
    if (out.Commit()) return true;
  }
  Fail(ui, FileFailureText("Can not create dest file", out.Error()));
  return false;
}

int Build(const std::vector<std::string>& pos, const Args& args, TerminalUi& ui) {
  if (pos.size() != 2) return -1;
  CFileRun run;  // the base image and OUT are not one file
  if (auto base = args.Value("--base")) {
    auto image = ReadSettingsImage(ui, *base);
    if (!image) return kExitFailure;
    SetBaseSettingsImage(*image);
  }
  SettingsImage out;
  BuildSettingsImage(out);
  return WriteAll(ui, pos[1], out) ? kExitOk : kExitFailure;
}

int Import(const std::vector<std::string>& pos, TerminalUi& ui) {
  if (pos.size() != 2) return -1;
  auto image = ReadSettingsImage(ui, pos[1]);
  if (!image) return kExitFailure;
  if (StoreResult stored = ImportSettingsImage(*image); !stored) {
    Fail(ui, stored.Message());
    return kExitFailure;
  }
  return kExitOk;
}

int Apply(const std::vector<std::string>& pos, TerminalUi& ui) {
  if (pos.size() != 4) return -1;
  CFileRun run;  // neither source is also OUT
  auto phone = ReadSettingsImage(ui, pos[2]);
  if (!phone) return kExitFailure;
  std::array<uint8_t, kAlternateSettingsSize> images;
  CopyToAlternateImages(images, *phone);
  CLineReader text;
  if (!text.Open(pos[1])) {
    Fail(ui, FileFailureText("Can not open source file", text.Error()));
    return kExitFailure;
  }
  // The reader stays open until OUT is written, so OUT cannot be the same file.
  SettingsTextReader reader(images);
  std::string_view line;
  bool ended = true, continued = false;
  while (text.ReadLine(line, &ended)) {
    // Of a line longer than a piece only the first piece counts: it holds the key and more of the value
    // than any field takes (or any host name has).
    if (!continued) reader.Line(line);
    continued = !ended;
  }
  if (text.Failed()) {
    Fail(ui, FileFailureText("Can not open source file", text.Error()));
    return kExitFailure;
  }
  return WriteAll(ui, pos[3], images) ? kExitOk : kExitFailure;
}

// A command that only shows the store still says when the store cannot be read: what it would show are
// the defaults, not what is stored.
bool StoreReadable(TerminalUi& ui) {
  const StoreHealth health = SettingsStore::Profile().Health();
  if (!health.Fine()) ui.Message(health.Message());
  return health.state != StoreHealth::State::Unreadable;
}

std::string ShownValue(const PhoneSettingKey& key) {
  if (key.IsText()) return "\"" + ReadPhoneTextOrDefault(key) + "\"";
  int v = ReadPhoneIntOrDefault(key);
  if (key.kind == PhoneKeyKind::Address) return DottedStoreAddress(static_cast<uint32_t>(v));
  return std::to_string(v);
}

int Show(const std::vector<std::string>& pos, TerminalUi& ui) {
  if (pos.size() != 1) return -1;
  if (!StoreReadable(ui)) return kExitFailure;
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
  for (size_t i = 1; i < pos.size(); ++i) ui.NoteFile(pos[i], i + 1 == pos.size() && pos[0] != "import");
  if (auto base = args.Value("--base")) ui.NoteFile(*base, false);
  if (!pos.empty() && !baseMisplaced) {
    if (pos[0] == "build")
      code = Build(pos, args, ui);
    else if (pos[0] == "import")
      code = Import(pos, ui);
    else if (pos[0] == "apply")
      code = Apply(pos, ui);
    else if (pos[0] == "show")
      code = Show(pos, ui);
  }
  if (baseMisplaced) return UsageError("settings", "--base is an option of settings build only");
  if (code < 0) return UsageError("settings", "wrong arguments for settings " + pos[0]);
  return code;
}

const bool registered = [] {
  Subcommand c{
      "settings", "build, import, apply or show the phone settings (512-byte settings image, setting.txt)",
      kUsage,     {},
      {},         Run};
  c.synopsis = "build|import|apply|show [FILE...]";
  c.options = {{"--base", "IMAGE",
                "settings build: the bytes the store does not describe (default: all zero)",
                ValueKind::File}};
  c.words = {"build", "import", "apply", "show"};
  c.minPositionals = 1;
  c.maxPositionals = 4;
  c.json = true;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
