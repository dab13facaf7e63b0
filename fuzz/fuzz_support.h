// What every fuzz target shares: a silent Ui, a private folder for the files a target writes, a private
// settings store, and a host-name lookup that never reaches a name server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace quill::fuzz {

// Answers every question with its default and shows nothing: a parser under fuzzing may report a bad
// file, and a message must not stop the run.
class SilentUi : public Ui {
 public:
  MbResult MessageBox(std::string_view, std::string_view, MbButtons buttons, MbIcon) override {
    ++messages;
    return buttons == MbButtons::YesNo ? MbResult::No : MbResult::Ok;
  }
  std::optional<std::string> FileDialog(const FileDialogSpec&) override { return std::nullopt; }
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override { ++waitDepth; }
  void EndWaitCursor() override { --waitDepth; }
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec&) override;
  bool RunSettingsDialog() override { return false; }

  int messages = 0;
  int waitDepth = 0;
};

// A folder of this process, made on first use and removed with everything in it when the process ends.
const std::string& WorkFolder();
// WorkFolder()/name.
std::string WorkFile(const std::string& name);
// Replaces the file's content; aborts when it cannot, as a target that cannot write its input tests
// nothing.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Points the settings store at a folder inside WorkFolder() (with the QCoreApplication QSettings wants),
// so that fuzzing never touches the user's own settings.
void UsePrivateStore();

// Host names resolve from a fixed table ("phone.lan" is 127.0.0.230; nothing else resolves), so that a
// name in fuzzed input never becomes a DNS query.
void UseOfflineHostNames();

// Stops the run with a message when a property the target checks does not hold; libFuzzer then saves
// the input as a crash.
[[noreturn]] void Fail(const char* what);
inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace quill::fuzz
