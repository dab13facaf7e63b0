// The text output windows of the GUI ("Rs232 Output", "Udp Debug Output", "Cdr Debug Output"). The monitors
// and the serial link run on their own threads; their text reaches the window on the GUI thread by queued
// calls, batched per turn of the event loop so that a fast phone never blocks the GUI.
#pragma once

#include <QMenu>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/ui.h"

namespace quill {

// What a view keeps: the newest lines, at most this many and this many characters (a phone that never ends
// a line is bounded too). Older text goes as new text comes, so a monitor left running under a fast phone
// holds a fixed amount of memory; the command line's monitor, with --log, keeps everything.
constexpr int kOutputViewMaxLines = 20000;
constexpr qsizetype kOutputViewMaxChars = qsizetype{4} * 1024 * 1024;
// Text handed to a view and not yet shown: beyond this the thread that appends waits for the GUI to take
// some, so that a phone faster than the GUI is held back at its socket instead of in memory.
constexpr qsizetype kOutputViewMaxPending = qsizetype{256} * 1024;

// May be called from any thread; the window itself is made on the GUI thread. ui, when given, asks for the
// file of "Save As..." and tells what went wrong; it must outlive the view.
std::shared_ptr<OutputView> CreateQtOutputView(const OutputViewSpec& spec, Ui* ui = nullptr);

// The window of an output view: closing it minimises it. Its edit's context menu is the standard edit menu
// with "Save As..." (the text the view keeps, to a file) and "Show timestamps" (each line that begins from
// then on starts with the local time it arrived).
class OutputWindow : public QWidget {
  Q_OBJECT
 public:
  explicit OutputWindow(const OutputViewSpec& spec, Ui* ui = nullptr);
  QPlainTextEdit* Edit() const { return edit_; }
  // Inserts text at the caret (the end unless the user moved it), as replacing the selection does.
  void InsertText(const QString& text);

  // The context menu as it is shown, a child of the edit; the caller deletes it, unless the window goes
  // first.
  QMenu* CreateContextMenu();
  // "Save As...": asks for a file through the Ui and writes the text there (UTF-8) through the file layer;
  // false when cancelled or when the file could not be written (the user has been told, with the path).
  bool SaveAs();
  bool TimestampsShown() const { return timestamps_; }
  // "Show timestamps": tells the view, which stamps the text as it arrives.
  void ShowTimestamps(bool on);
  void OnTimestampsChanged(std::function<void(bool)> handler) { timestampsChanged_ = std::move(handler); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* edit_;
  Ui* ui_;
  std::string caption_;
  bool timestamps_ = false;
  std::function<void(bool)> timestampsChanged_;
};

// Bytes from a phone as text: UTF-8 where they are valid UTF-8, otherwise one character per byte; the
// carriage return of a CR LF pair is dropped (the view breaks lines on LF).
QString PhoneText(const std::string& bytes);

}  // namespace quill
