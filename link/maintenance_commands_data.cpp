// Data-area updates over TCP: ring tone, digit map and hold announcement from files, the four alternate
// settings records from a text file, and the settings record itself after the settings dialog. Each goes
// out with SendImage and the area's command byte; the reconnect afterwards tells a refusal (the phone
// answers) from an update under way (it is silent while it writes its flash).
#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "link/command_files.h"
#include "link/maintenance_commands.h"
#include "platform/application.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"

namespace quill {
namespace {

constexpr const char* kUpdating = "Updating ... please wait until the update led stop on and off";
constexpr uint8_t kAlternateCommand = 0x85;
constexpr int kAlternateProbeWait = 2000;
constexpr uint8_t kSettingsCommand = 0x80;
constexpr int kSettingsProbeWait = 1000;

}  // namespace

bool CMaintenanceCommands::RunFileUpdate(const FileUpdate& row) {
  auto start = StartWithFile(FileDialogSpec::Mode::Open, row.file, row.defaultExt, row.filter);
  if (!start) return false;
  const CommandValues& values = start->values;
  if (!RequireTcp(values)) return false;
  PaddedFile file;
  FileError error;
  switch (ReadPaddedFile(start->path, row.padding, file, &error)) {
    case FileReadStatus::CannotOpen:
      ui_.Message(FileFailureText("Can not open source file", error));
      return false;
    case FileReadStatus::TooLarge:
      ui_.Message(FileFailureText("Can not malloc memory", error));
      return false;
    case FileReadStatus::Ok:
      break;
  }
  if (!link_.SendImage(values.phone, std::span(file.buffer).first(file.length), row.command, row.padding))
    return false;
  return ReportProbe(values.phone, row.probeWait, row.refusal, kUpdating) && start->kept;
}

bool CMaintenanceCommands::UpdateRing() {
  return RunFileUpdate({{"RingUpdate", "SrcName", "ring.dat"},
                        "*.dat",
                        kDataFilter,
                        0x82,
                        2000,
                        "Invalid update ring method",
                        0x00});
}

bool CMaintenanceCommands::UpdateDigitMap() {
  return RunFileUpdate({{"MapUpdate", "SrcName", "map.txt"},
                        "*.txt",
                        kTextFilter,
                        0x84,
                        2000,
                        "Invalid update digitmap method",
                        0x00});
}

bool CMaintenanceCommands::UpdateHoldAnnouncement() {
  return RunFileUpdate({{"HoldIVRUpdate", "SrcName", "hold.dat"},
                        "*.dat",
                        kDataFilter,
                        0x83,
                        2000,
                        "Invalid update hold IVR method",
                        0x00});
}

bool CMaintenanceCommands::UpdateAlternateSettings() {
  // The four records are the phone's own settings and the text file: nothing of the store goes out.
  const CommandValues values = host_.SaveToolOptions();
  if (!RequireTcp(values)) return false;
  std::array<uint8_t, kAlternateSettingsSize> images{};
  const std::span<uint8_t, kSettingsImageSize> first = std::span(images).first<kSettingsImageSize>();
  if (!link_.ReadImage(values.phone, first)) return false;
  // All four start as the phone's current settings, so what the file does not set stays as it is.
  for (size_t i = 1; i < kAlternateImageCount; ++i)
    std::ranges::copy(first, images.begin() + static_cast<std::ptrdiff_t>(i * kSettingsImageSize));

  auto chosen = ChooseFile(ui_, FileDialogSpec::Mode::Open, {"AlternateUpdate", "SrcName", "setting.txt"},
                           "*.txt", kTextFilter);
  if (!chosen) return false;
  const bool kept = KeptName(chosen->remembered, values);
  {
    // Lines before any section line go to image 1; "[SETTING1]" .. "[SETTING4]" select an image; other
    // section lines keep the selection.
    WaitCursor cursor(ui_);
    FileError error;
    if (!ApplySettingsTextFile(chosen->path, images, &error)) {
      cursor.Restore();
      ui_.Message(FileFailureText("Can not open source file", error));
      return false;
    }
  }
  if (!link_.SendImage(values.phone, images, kAlternateCommand, 0x00)) return false;
  return ReportProbe(values.phone, kAlternateProbeWait, "Invalid update method", kUpdating) && kept;
}

bool CMaintenanceCommands::EditAndPushSettings() {
  const CommandValues values = host_.SaveToolOptions();
  // What goes out is built from the store: a store that could not be written may hold other values than
  // the user's, so nothing is sent (the host has said why).
  if (!values.stored) return false;
  if (!RequireTcp(values)) return false;
  SettingsImage image{};
  if (!link_.ReadImage(values.phone, image)) return false;
  // The dialog shows, and the push sends, what the store holds: a phone's settings that did not reach it
  // must not be replaced by whatever it held before.
  if (const StoreResult imported = ImportSettingsImage(image); !imported) {
    ui_.Message(imported.Message());
    return false;
  }
  if (!ui_.RunSettingsDialog()) return false;
  if (ui_.MessageBox("Update settings to phone now?", ApplicationName(), MbButtons::YesNo,
                     MbIcon::Question) != MbResult::Yes)
    return false;
  BuildSettingsImage(image);
  if (!link_.SendImage(values.phone, image, kSettingsCommand, 0x00)) return false;
  return ReportProbe(values.phone, kSettingsProbeWait, "Invalid settings method", "New settings updated");
}

}  // namespace quill
