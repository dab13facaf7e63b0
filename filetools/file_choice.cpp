#include "filetools/file_choice.h"

#include "platform/settings_store.h"

namespace quill {

std::string StoredChoice(const FileChoice& choice) {
  return SettingsStore::Profile().GetString(choice.section, choice.Key(), choice.defaultName);
}

std::optional<std::string> AskFile(Ui& ui, const FileChoice& choice, const std::string& initialName) {
  FileDialogSpec spec;
  spec.mode = choice.Mode();
  spec.role = choice.role;
  spec.defaultExt = choice.defaultExt;
  spec.filter = choice.filter;
  spec.initialName = initialName;
  return ui.FileDialog(spec);
}

std::optional<std::string> AskFile(Ui& ui, const FileChoice& choice) {
  return AskFile(ui, choice, StoredChoice(choice));
}

void StoreChoice(Ui& ui, const FileChoice& choice, const std::string& path) {
  if (const StoreResult stored = SettingsStore::Profile().WriteString(choice.section, choice.Key(), path);
      !stored)
    ui.Message(stored.Message());
}

std::optional<std::string> ChooseFile(Ui& ui, const FileChoice& choice) {
  auto path = AskFile(ui, choice);
  if (path) StoreChoice(ui, choice, *path);
  return path;
}

}  // namespace quill
