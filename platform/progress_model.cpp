#include "platform/progress_model.h"

namespace quill {

void ProgressModel::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  position_ = lower;
}

int ProgressModel::Percent() const {
  // An empty range would divide by zero; no operation sets one, so it simply reads as 0.
  if (upper_ == lower_) return 0;
  return static_cast<int>((position_ - lower_) * 100 / (static_cast<int64_t>(upper_) - lower_));
}

std::string ProgressModel::LabelFor(int percent) {
  int shown = percent == 100 ? 100 : percent % 100;
  return std::to_string(shown) + '%';
}

bool ProgressModel::Step() {
  position_ += step_;
  std::string label = LabelFor(Percent());
  if (label == label_) return false;
  label_ = std::move(label);
  return true;
}

}  // namespace quill
