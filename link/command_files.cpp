#include "link/command_files.h"

#include <filesystem>

#include "link/maintenance_link.h"
#include "platform/settings_store.h"

namespace quill {
// An ifstream opens a folder on Linux and then reads nothing.
bool OpenInputFile(std::ifstream& in, const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  in.open(path, std::ios::binary);
  return static_cast<bool>(in);
}

std::optional<std::string> ChooseFile(Ui& ui, FileDialogSpec::Mode mode, const RememberedFile& remembered,
                                      std::string_view defaultExt, std::string_view filter) {
  SettingsStore& store = SettingsStore::Profile();
  FileDialogSpec dialog;
  dialog.mode = mode;
  dialog.defaultExt = std::string(defaultExt);
  dialog.initialName = store.GetString(remembered.section, remembered.key, remembered.defaultName);
  dialog.filter = std::string(filter);
  auto path = ui.FileDialog(dialog);
  if (path) store.WriteString(remembered.section, remembered.key, *path);
  return path;
}

FileReadStatus ReadPaddedFile(const std::string& path, uint8_t padding, PaddedFile& out) {
  std::ifstream in;
  if (!OpenInputFile(in, path)) return FileReadStatus::CannotOpen;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return FileReadStatus::CannotOpen;
  if (static_cast<unsigned long long>(size) > kMaxUpdateFile) return FileReadStatus::TooLarge;
  in.seekg(0, std::ios::beg);
  out.length = static_cast<size_t>(size);
  out.buffer.assign(RoundUpTo256(out.length), padding);
  in.read(reinterpret_cast<char*>(out.buffer.data()), static_cast<std::streamsize>(out.length));
  // A file that shrank while it was read sends what it had; the rest stays padding.
  out.length = static_cast<size_t>(in.gcount());
  return FileReadStatus::Ok;
}

}  // namespace quill
