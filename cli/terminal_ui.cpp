#include "cli/terminal_ui.h"

#include <unistd.h>

#include <iostream>
#include <utility>

#include "platform/application.h"
#include "platform/progress_model.h"

namespace quill::cli {
namespace {

class TerminalProgress : public ProgressWindow {
 public:
  TerminalProgress(FILE* err, bool show) : err_(err), show_(show) {}
  ~TerminalProgress() override { Close(); }
  void SetText(std::string_view text) override { text_ = std::string(text); }
  void SetRange(int lower, int upper) override { model_.SetRange(lower, upper); }
  void SetStep(int step) override { model_.SetStep(step); }
  void Step() override {
    bool changed = model_.Step();
    if (!show_ || !changed) return;
    int percent = model_.Percent();
    if (percent > 100) percent = 100;
    int filled = percent * 30 / 100;
    std::fprintf(err_, "\r[%s%s] %4s %-30.30s", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(30 - filled), ' ').c_str(), model_.Label().c_str(),
                 text_.c_str());
    std::fflush(err_);
    drawn_ = true;
  }
  void Close() override {
    if (drawn_) {
      std::fputc('\n', err_);
      std::fflush(err_);
    }
    drawn_ = false;
  }

 private:
  FILE* err_;
  bool show_;
  bool drawn_ = false;
  std::string text_;
  ProgressModel model_;
};

class StdoutView : public OutputView {
 public:
  explicit StdoutView(FILE* out) : out_(out) {}
  void Append(std::string text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
  }
  void Show() override {}

 private:
  std::mutex mutex_;
  FILE* out_;
};

// The first and the last message of the run.
// A message may come from a monitor's thread as well as the command's.
std::mutex g_messagesMutex;

std::pair<std::string, std::string>& RunMessages() {
  static std::pair<std::string, std::string> said;
  return said;
}

}  // namespace

void RecordMessage(std::string text) {
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  auto& [first, last] = RunMessages();
  if (text.empty()) first.clear();  // a new run
  if (first.empty()) first = text;
  last = std::move(text);
}
std::string FirstMessage() {
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  return RunMessages().first;
}
std::string LastMessage() {
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  return RunMessages().second;
}

TerminalUi::TerminalUi(FILE* err, FILE* out)
    : err_(err), out_(out), showProgress_(::isatty(fileno(err)) != 0) {}

// The caption is not shown: the system's captions repeat the text ("connection succeeds") or name the
// application, and the prefix already says who speaks.
MbResult TerminalUi::MessageBox(std::string_view text, std::string_view, MbButtons buttons, MbIcon icon) {
  std::string t(text);
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
  RecordMessage(t);
  if (quiet_ && buttons == MbButtons::Ok && icon == MbIcon::Information) return MbResult::Ok;
  std::fprintf(err_, "%s: %s\n", ApplicationName().c_str(), t.c_str());
  if (buttons == MbButtons::Ok) return MbResult::Ok;
  if (answerYes_) {
    std::fprintf(err_, "(answered yes)\n");
    return MbResult::Yes;
  }
  if (::isatty(STDIN_FILENO)) {
    std::fprintf(err_, "[y/N] ");
    std::fflush(err_);
    std::string line;
    if (std::getline(std::cin, line) && !line.empty() && (line[0] == 'y' || line[0] == 'Y'))
      return MbResult::Yes;
    return MbResult::No;
  }
  std::fprintf(err_, "(answered no; give --yes to answer yes)\n");
  return MbResult::No;
}

std::optional<std::string> TerminalUi::FileDialog(const FileDialogSpec& spec) {
  std::deque<std::string>* answers = &fileAnswers_;
  if (spec.role == FileDialogSpec::Role::Source && !sourceAnswers_.empty()) answers = &sourceAnswers_;
  if (spec.role == FileDialogSpec::Role::Destination && !destinationAnswers_.empty())
    answers = &destinationAnswers_;
  if (answers->empty()) return std::nullopt;
  std::string path = std::move(answers->front());
  answers->pop_front();
  const bool output = spec.role == FileDialogSpec::Role::Destination ||
                      (spec.role != FileDialogSpec::Role::Source && spec.mode == FileDialogSpec::Mode::Save);
  answered_.push_back({path, output});
  return path;
}

std::unique_ptr<ProgressWindow> TerminalUi::OpenProgress() {
  return std::make_unique<TerminalProgress>(err_, showProgress_);
}

std::shared_ptr<OutputView> TerminalUi::CreateOutputView(const OutputViewSpec&) {
  return std::make_shared<StdoutView>(out_);
}

}  // namespace quill::cli
