// The arithmetic of the progress window, shared by every front end: position, range, step and the
// percentage label ("%d%c" with '%'; 100 is shown as 100, any other value modulo 100).
#pragma once

#include <cstdint>
#include <string>

namespace quill {

class ProgressModel {
 public:
  void SetRange(int lower, int upper);
  void SetStep(int step) { step_ = step; }
  // Advances by the step; true when the label's text changed (the window rewrites it only then).
  bool Step();

  int Lower() const { return lower_; }
  int Upper() const { return upper_; }
  int StepSize() const { return step_; }
  int64_t Position() const { return position_; }
  // (position - lower) * 100 / (upper - lower) in integer arithmetic; 0 when the range is empty.
  int Percent() const;
  // The label text; the template shows " 0 %" until the first step.
  const std::string& Label() const { return label_; }
  static std::string LabelFor(int percent);

 private:
  int lower_ = 0;
  int upper_ = 100;
  int step_ = 1;
  int64_t position_ = 0;
  std::string label_ = " 0 %";
};

}  // namespace quill
