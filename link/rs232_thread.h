// The serial link thread: the window "Rs232 Output", which receives what the serial port reads. The
// serial answer rule turns runs of eight equal bytes (or groups of eight data bytes in bulk mode) into the
// serial acknowledgement; in text mode the phone's text goes to the output view.
#pragma once

#include <memory>

#include "link/answer_rules.h"
#include "platform/ui.h"
#include "platform/window_thread.h"

namespace quill {

class CRs232Window : public Window {
 public:
  explicit CRs232Window(Ui& ui) : ui_(ui) {}
  ~CRs232Window() override { DestroyWindow(); }
  SerialAnswerRule& Rule() { return rule_; }
  // Text mode, and the output view shown: 600 x 400 at (0, 0), edit 1027 of 594 x 375.
  void ShowOutput();

 protected:
  void OnDestroy() override { view_.reset(); }
  void OnMessage(Message& m) override;

 private:
  Ui& ui_;
  SerialAnswerRule rule_;
  std::shared_ptr<OutputView> view_;
};

class CRs232Thread : public WindowThread {
 public:
  explicit CRs232Thread(Ui& ui);

 protected:
  // Creates the window and then sets the serial link ready event, so the owner may use its handle.
  bool InitInstance() override;
  void OnThreadMessage(Message& m) override;

 private:
  CRs232Window window_;
};

}  // namespace quill
