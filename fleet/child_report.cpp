#include "fleet/child_report.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace quill::fleet {
namespace {

static_assert(kStopSignal == SIGUSR1);

enum : int { kRunning = 0, kCommitted = 1, kStopping = 2 };
std::atomic<int> g_state{kRunning};

void OnStop(int) {
  const int saved = errno;
  int expected = kRunning;
  if (g_state.compare_exchange_strong(expected, kStopping)) ::raise(SIGINT);
  errno = saved;
}

class ReportingProgress : public ProgressWindow {
 public:
  ReportingProgress(std::unique_ptr<ProgressWindow> inner, ChildReporter& reporter)
      : inner_(std::move(inner)), reporter_(reporter) {}
  void SetText(std::string_view text) override {
    inner_->SetText(text);
    // The step texts count bytes; only the first of a transfer says what it is.
    if (!texted_) reporter_.Progress(position_ - lower_, upper_ - lower_, text);
    texted_ = true;
    text_ = text;
  }
  void SetRange(int lower, int upper) override {
    inner_->SetRange(lower, upper);
    lower_ = position_ = lower;
    upper_ = upper;
    texted_ = false;
    lastPercent_ = -1;
  }
  void SetStep(int step) override {
    inner_->SetStep(step);
    step_ = step;
  }
  void Step() override {
    inner_->Step();
    position_ += step_;
    const long long span = upper_ - lower_;
    const int percent = span > 0 ? static_cast<int>((position_ - lower_) * 100 / span) : 100;
    // A percent at a time: a megabyte is thousands of steps, and the fleet shows percents.
    if (percent != lastPercent_) reporter_.Progress(position_ - lower_, span, text_);
    lastPercent_ = percent;
  }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<ProgressWindow> inner_;
  ChildReporter& reporter_;
  long long lower_ = 0, upper_ = 100, position_ = 0, step_ = 1;
  int lastPercent_ = -1;
  bool texted_ = false;
  std::string text_;
};

class ReportingUi : public Ui {
 public:
  ReportingUi(Ui& inner, ChildReporter& reporter) : inner_(inner), reporter_(reporter) {}
  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                      MbIcon icon) override {
    reporter_.Event("message", EscapeEventText(text));
    return inner_.MessageBox(text, caption, buttons, icon);
  }
  std::optional<std::string> FileDialog(const FileDialogSpec& spec) override {
    return inner_.FileDialog(spec);
  }
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    return std::make_unique<ReportingProgress>(inner_.OpenProgress(), reporter_);
  }
  void BeginWaitCursor() override { inner_.BeginWaitCursor(); }
  void EndWaitCursor() override { inner_.EndWaitCursor(); }
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec& spec) override {
    return inner_.CreateOutputView(spec);
  }
  bool RunSettingsDialog() override { return inner_.RunSettingsDialog(); }

 private:
  Ui& inner_;
  ChildReporter& reporter_;
};

}  // namespace

std::string EscapeEventText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string UnescapeEventText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

void ChildReporter::Event(std::string_view kind, std::string_view rest) {
  std::string line(kind);
  if (!rest.empty()) {
    line += ' ';
    line += rest;
  }
  line += '\n';
  // One write per event: a pipe keeps writes of up to PIPE_BUF whole, so the fleet reads whole lines.
  if (line.size() > 4000) line = line.substr(0, 3999) + '\n';
  size_t at = 0;
  while (at < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + at, line.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

void ChildReporter::Progress(long long done, long long total, std::string_view text) {
  Event("progress", std::to_string(done) + " " + std::to_string(total) + " " + EscapeEventText(text));
}

std::unique_ptr<Ui> ChildReporter::Wrap(Ui& inner) {
  return std::make_unique<ReportingUi>(inner, *this);
}

LinkStageObserver ChildReporter::Observer() {
  return [this](LinkStage stage) {
    switch (stage) {
      case LinkStage::Connected:
        Event("stage", "connected");
        return true;
      case LinkStage::Command: {
        int expected = kRunning;
        if (!g_state.compare_exchange_strong(expected, kCommitted) && expected == kStopping) return false;
        Event("stage", "command");
        return true;
      }
      case LinkStage::Acknowledged:
        Event("stage", "acknowledged");
        return true;
    }
    return true;
  };
}

void ChildReporter::InstallStopHandler() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGUSR1, &action, nullptr);
}

bool ChildReporting::Start(std::optional<long long> fd, Ui& ui) {
  if (!fd || *fd < 3 || *fd > 1023) return false;
  reporter_.emplace(static_cast<int>(*fd));
  wrapped_ = reporter_->Wrap(ui);
  ChildReporter::InstallStopHandler();
  return true;
}

void ChildReporting::Watch(CMaintenanceLink& link) {
  if (reporter_) link.SetStageObserver(reporter_->Observer());
}

}  // namespace quill::fleet
