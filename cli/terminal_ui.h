// The Ui seam for the command line: messages go to stderr, each prefixed once by the program's name, file
// questions are answered by the command's arguments (by role), questions by --yes (or by the user on a
// terminal), progress is a bar on stderr and output views write to stdout. A message says what went wrong;
// whether the command failed is the command's result alone.
#pragma once

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace quill::cli {

// The messages the tool said in this run (a message box, a usage error), for a --json report; an empty
// text starts a new run.
void RecordMessage(std::string text);
std::string FirstMessage();
std::string LastMessage();

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

  // Answers by role, whatever order a tool asks in: source questions take the sources in order, the
  // destination questions the destinations. A question whose role has no answer left is cancelled; a
  // source never answers a destination question, nor the other way round. The file layer, not this Ui,
  // says when an answer names no usable file.
  void PushSourceAnswer(std::string path) { sourceAnswers_.push_back(std::move(path)); }
  void PushDestinationAnswer(std::string path) { destinationAnswers_.push_back(std::move(path)); }
  // The file of a command that asks for one, whatever its role; it answers a question whose role is not
  // stated, or one whose role has no answer.
  void PushFileAnswer(std::string path) { fileAnswers_.push_back(std::move(path)); }
  void SetAnswerYes(bool yes) { answerYes_ = yes; }
  void SetShowProgress(bool show) { showProgress_ = show; }
  // -q: no progress and no messages but errors (a message with the information icon is no error).
  void SetQuiet(bool quiet) {
    quiet_ = quiet;
    if (quiet) showProgress_ = false;
  }

  // Every file a question was answered with, in order, and whether the tool writes it.
  struct AnsweredFile {
    std::string path;
    bool output = false;
  };
  const std::vector<AnsweredFile>& AnsweredFiles() const { return answered_; }
  // A file a command was given without a question (for the report of --json).
  void NoteFile(std::string path, bool output) { answered_.push_back({std::move(path), output}); }

 private:
  FILE* err_;
  FILE* out_;
  std::deque<std::string> fileAnswers_;
  std::deque<std::string> sourceAnswers_;
  std::deque<std::string> destinationAnswers_;
  std::vector<AnsweredFile> answered_;
  bool answerYes_ = false;
  bool quiet_ = false;
  bool showProgress_;
};

}  // namespace quill::cli
