#include "tests/support/fake_ui.h"

#include <chrono>
#include <condition_variable>

namespace quill::test {
namespace {

class FakeProgress : public ProgressWindow {
 public:
  FakeProgress(std::shared_ptr<ProgressRecord> record, FakeUi& ui) : record_(std::move(record)), ui_(ui) {}
  ~FakeProgress() override { Close(); }
  void SetText(std::string_view text) override { record_->texts.emplace_back(text); }
  void SetRange(int lower, int upper) override { record_->model.SetRange(lower, upper); }
  void SetStep(int step) override { record_->model.SetStep(step); }
  void Step() override {
    ++record_->steps;
    if (record_->model.Step()) record_->labels.push_back(record_->model.Label());
    if (ui_.onProgressStep) ui_.onProgressStep(*record_);
  }
  void Close() override { record_->closed = true; }

 private:
  std::shared_ptr<ProgressRecord> record_;
  FakeUi& ui_;
};

}  // namespace

void FakeOutputView::Append(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ += text;
  changed_.notify_all();
}

void FakeOutputView::Show() {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_ = true;
  changed_.notify_all();
}

std::string FakeOutputView::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

bool FakeOutputView::Shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

bool FakeOutputView::WaitForText(const std::string& needle, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return text_.find(needle) != std::string::npos; });
}

MbResult FakeUi::MessageBox(std::string_view text, std::string_view caption, MbButtons buttons, MbIcon icon) {
  messages.push_back({std::string(text), std::string(caption), buttons, icon});
  if (buttons == MbButtons::Ok) return MbResult::Ok;
  if (answers.empty()) return defaultAnswer;
  MbResult r = answers.front();
  answers.pop_front();
  return r;
}

std::optional<std::string> FakeUi::FileDialog(const FileDialogSpec& spec) {
  fileDialogs.push_back(spec);
  if (fileAnswers.empty()) return std::nullopt;
  auto r = fileAnswers.front();
  fileAnswers.pop_front();
  return r;
}

std::unique_ptr<ProgressWindow> FakeUi::OpenProgress() {
  auto record = std::make_shared<ProgressRecord>();
  progresses.push_back(record);
  return std::make_unique<FakeProgress>(record, *this);
}

void FakeUi::BeginWaitCursor() {
  ++waitCursorBegins;
  ++waitCursorDepth;
}

void FakeUi::EndWaitCursor() { --waitCursorDepth; }

std::shared_ptr<OutputView> FakeUi::CreateOutputView(const OutputViewSpec& spec) {
  auto view = std::make_shared<FakeOutputView>(spec);
  std::lock_guard<std::mutex> lock(viewsMutex_);
  views.push_back(view);
  viewsChanged_.notify_all();
  return view;
}

std::shared_ptr<FakeOutputView> FakeUi::WaitForView(size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(viewsMutex_);
  if (!viewsChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return views.size() > n; }))
    return nullptr;
  return views[n];
}

bool FakeUi::RunSettingsDialog() {
  ++settingsDialogRuns;
  return settingsDialog ? settingsDialog() : true;
}

std::vector<std::string> FakeUi::Texts() const {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

}  // namespace quill::test
