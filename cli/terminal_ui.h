// The Ui seam for the command line: messages go to stderr, file dialogs are answered by the command's
// arguments (by role, or in order), questions by --yes (or by the user on a terminal), progress is a bar
// on stderr and output views write to stdout.
#pragma once

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "platform/ui.h"

namespace quill::cli {

class TerminalUi : public Ui {
 public:
  TerminalUi(FILE* err = stderr, FILE* out = stdout);

  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                      MbIcon icon) override;
  std::optional<std::string> FileDialog(const FileDialogSpec& spec) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec& spec) override;
  // No dialog on the command line: the settings store is taken as it stands.
  bool RunSettingsDialog() override { return true; }

  // The answers of the file dialogs, in the order the command shows them; a dialog past the last answer
  // counts as cancelled.
  void PushFileAnswer(std::string path) { fileAnswers_.push_back(std::move(path)); }
  // Answers by role, whatever order a tool asks in: open dialogs take the sources in order, save dialogs
  // the destinations; a dialog whose role has no answer left takes the next plain answer.
  void PushSourceAnswer(std::string path) { sourceAnswers_.push_back(std::move(path)); }
  void PushDestinationAnswer(std::string path) { destinationAnswers_.push_back(std::move(path)); }
  void SetAnswerYes(bool yes) { answerYes_ = yes; }
  void SetShowProgress(bool show) { showProgress_ = show; }
  // True once a message with the exclamation or stop icon was shown: the command failed.
  bool ReportedError() const { return reportedError_; }

 private:
  FILE* err_;
  FILE* out_;
  std::deque<std::string> fileAnswers_;
  std::deque<std::string> sourceAnswers_;
  std::deque<std::string> destinationAnswers_;
  bool answerYes_ = false;
  bool showProgress_;
  bool reportedError_ = false;
};

}  // namespace quill::cli
