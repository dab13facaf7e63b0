// The scripted Ui of the tests: records every message with its caption, icon and buttons, answers file
// dialogs and questions from scripts, and records progress windows, wait cursors and output views.
#pragma once

#include <deque>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/progress_model.h"
#include "platform/ui.h"

namespace quill::test {

struct ShownMessage {
  std::string text;
  std::string caption;
  MbButtons buttons;
  MbIcon icon;
};

struct ProgressRecord {
  std::vector<std::string> texts;   // every status text set, in order
  std::vector<std::string> labels;  // the label after every step that changed it
  int steps = 0;
  bool closed = false;
  ProgressModel model;
};

class FakeOutputView : public OutputView {
 public:
  explicit FakeOutputView(OutputViewSpec spec) : spec_(std::move(spec)) {}
  void Append(std::string text) override;
  void Show() override;
  std::string Text() const;
  bool Shown() const;
  const OutputViewSpec& Spec() const { return spec_; }
  // Waits (bounded, real time) until the text contains needle.
  bool WaitForText(const std::string& needle, int timeoutMs = 5000) const;

 private:
  OutputViewSpec spec_;
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  std::string text_;
  bool shown_ = false;
};

class FakeUi : public Ui {
 public:
  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons, MbIcon icon) override;
  std::optional<std::string> FileDialog(const FileDialogSpec& spec) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec& spec) override;
  bool RunSettingsDialog() override;

  // Scripts. File dialogs past the script are cancelled; questions past the script get defaultAnswer.
  void AnswerFile(std::optional<std::string> path) { fileAnswers.push_back(std::move(path)); }
  void Answer(MbResult r) { answers.push_back(r); }

  // What was shown.
  std::vector<ShownMessage> messages;
  std::vector<FileDialogSpec> fileDialogs;
  std::vector<std::shared_ptr<ProgressRecord>> progresses;
  std::vector<std::shared_ptr<FakeOutputView>> views;
  int waitCursorBegins = 0;
  int waitCursorDepth = 0;
  int settingsDialogRuns = 0;

  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<MbResult> answers;
  MbResult defaultAnswer = MbResult::No;
  // Runs in place of the settings dialog; the default closes it with OK and changes nothing.
  std::function<bool()> settingsDialog;
  // Runs at every progress step (a test can act in the middle of an operation).
  std::function<void(const ProgressRecord&)> onProgressStep;

  // The output view made n-th (0 first), once some thread has made it; null after timeoutMs.
  std::shared_ptr<FakeOutputView> WaitForView(size_t n, int timeoutMs = 5000);

  // The texts of the messages, in order.
  std::vector<std::string> Texts() const;
  const ShownMessage* Last() const { return messages.empty() ? nullptr : &messages.back(); }

 private:
  mutable std::mutex viewsMutex_;
  std::condition_variable viewsChanged_;
};

}  // namespace quill::test
