#include "link/command_files.h"

#include "link/maintenance_link.h"

namespace quill {

std::optional<ChosenFile> ChooseFile(Ui& ui, FileDialogSpec::Mode mode, const RememberedFile& remembered,
                                     std::string_view defaultExt, std::string_view filter) {
  SettingsStore& store = SettingsStore::Profile();
  FileDialogSpec dialog;
  dialog.mode = mode;
  dialog.defaultExt = std::string(defaultExt);
  dialog.initialName = store.GetString(remembered.section, remembered.key, remembered.defaultName);
  dialog.filter = std::string(filter);
  auto path = ui.FileDialog(dialog);
  if (!path) return std::nullopt;
  StoreResult kept = store.WriteString(remembered.section, remembered.key, *path);
  return ChosenFile{std::move(*path), std::move(kept)};
}

FileReadStatus ReadPaddedFile(const std::string& path, uint8_t padding, PaddedFile& out, FileError* error) {
  switch (ReadWholeFile(path, kMaxUpdateFile, out.buffer, error)) {
    case ReadStatus::Ok:
      break;
    case ReadStatus::TooLarge:
      return FileReadStatus::TooLarge;
    case ReadStatus::CannotOpen:
    case ReadStatus::ReadError:
      return FileReadStatus::CannotOpen;
  }
  out.length = out.buffer.size();
  out.buffer.resize(RoundUpTo256(out.length), padding);
  return FileReadStatus::Ok;
}

}  // namespace quill
