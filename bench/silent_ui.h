// A Ui that shows nothing, for benchmarks that drive operations: the progress window still exists (the
// operations step it) but costs only its calls, and every message is counted so a run that met one is
// known to have failed.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace quill::bench {

class SilentUi : public Ui {
 public:
  MbResult MessageBox(std::string_view text, std::string_view, MbButtons, MbIcon) override {
    lastMessage_ = std::string(text);
    ++messages_;
    return MbResult::Ok;
  }
  std::optional<std::string> FileDialog(const FileDialogSpec&) override { return std::nullopt; }
  std::unique_ptr<ProgressWindow> OpenProgress() override { return std::make_unique<SilentProgressWindow>(); }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec&) override {
    return std::make_shared<SilentOutputView>();
  }
  bool RunSettingsDialog() override { return true; }

  int Messages() const { return messages_; }
  const std::string& LastMessage() const { return lastMessage_; }

 private:
  std::atomic<int> messages_{0};
  std::string lastMessage_;
};

}  // namespace quill::bench
