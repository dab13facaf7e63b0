#include "tests/support/silent_ui.h"

namespace quill::test {

MbResult SilentUi::MessageBox(std::string_view text, std::string_view, MbButtons buttons, MbIcon) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastMessage_ = std::string(text);
  }
  ++messages_;
  return buttons == MbButtons::YesNo ? MbResult::No : MbResult::Ok;
}

std::unique_ptr<ProgressWindow> SilentUi::OpenProgress() {
  return std::make_unique<SilentProgressWindow>();
}

std::shared_ptr<OutputView> SilentUi::CreateOutputView(const OutputViewSpec&) {
  return std::make_shared<SilentOutputView>();
}

std::string SilentUi::LastMessage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastMessage_;
}

}  // namespace quill::test
