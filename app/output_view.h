// The text output windows of the GUI ("Rs232 Output", "Udp Debug Output", "Cdr Debug Output"). The monitors
// and the serial link run on their own threads; their text reaches the window on the GUI thread by queued
// calls, batched per turn of the event loop so that a fast phone never blocks the GUI.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <memory>

#include "platform/ui.h"

namespace quill {

// May be called from any thread; the window itself is made on the GUI thread.
std::shared_ptr<OutputView> CreateQtOutputView(const OutputViewSpec& spec);

// The window of an output view: closing it minimises it.
class OutputWindow : public QWidget {
  Q_OBJECT
 public:
  explicit OutputWindow(const OutputViewSpec& spec);
  QPlainTextEdit* Edit() const { return edit_; }
  // Inserts text at the caret (the end unless the user moved it), as replacing the selection does.
  void InsertText(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* edit_;
};

// Bytes from a phone as text: UTF-8 where they are valid UTF-8, otherwise one character per byte; the
// carriage return of a CR LF pair is dropped (the view breaks lines on LF).
QString PhoneText(const std::string& bytes);

}  // namespace quill
