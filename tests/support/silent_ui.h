// A Ui that shows nothing, for the benchmarks and the fuzz targets that drive operations: the progress window
// and the output views still exist (the operations step and feed them) but cost only their calls; questions
// get No and the settings dialog is cancelled. Every message is counted, so a run that met one is known to
// have failed. The tests use the scripted Ui (fake_ui.h), which records what was shown.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace quill::test {

class SilentProgressWindow : public ProgressWindow {
 public:
  void SetText(std::string_view) override {}
  void SetRange(int, int) override {}
  void SetStep(int) override {}
  void Step() override {}
  void Close() override {}
};

class SilentOutputView : public OutputView {
 public:
  void Append(std::string) override {}
  void Show() override {}
};

class SilentUi : public Ui {
 public:
  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                      MbIcon icon) override;
  std::optional<std::string> FileDialog(const FileDialogSpec&) override { return std::nullopt; }
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override { ++waitDepth_; }
  void EndWaitCursor() override { --waitDepth_; }
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec&) override;
  bool RunSettingsDialog() override { return false; }

  int Messages() const { return messages_; }
  std::string LastMessage() const;
  // Begun and not yet ended wait cursors.
  int WaitDepth() const { return waitDepth_; }

 private:
  std::atomic<int> messages_{0};
  std::atomic<int> waitDepth_{0};
  mutable std::mutex mutex_;
  std::string lastMessage_;
};

}  // namespace quill::test
