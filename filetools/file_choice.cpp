#include "filetools/file_choice.h"

#include "platform/settings_store.h"

namespace quill {

std::optional<std::string> AskFile(Ui& ui, const FileChoice& choice) {
  FileDialogSpec spec;
  spec.mode = choice.mode;
  spec.defaultExt = choice.defaultExt;
  spec.filter = choice.filter;
  spec.initialName = SettingsStore::Profile().GetString(choice.section, choice.key, choice.defaultName);
  return ui.FileDialog(spec);
}

void StoreChoice(const FileChoice& choice, const std::string& path) {
  SettingsStore::Profile().WriteString(choice.section, choice.key, path);
}

std::optional<std::string> ChooseFile(Ui& ui, const FileChoice& choice) {
  auto path = AskFile(ui, choice);
  if (path) StoreChoice(choice, *path);
  return path;
}

}  // namespace quill
