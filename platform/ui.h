// The Ui seam: every message box, yes/no question, file dialog, progress window, wait cursor and output
// view that a command or tool shows goes through this interface. Implementations: Qt (GUI), terminal (CLI)
// and a scripted fake for tests (tests/support/fake_ui.h).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

enum class MbIcon { None, Exclamation, Information, Question, Stop };
enum class MbButtons { Ok, YesNo };
enum class MbResult { Ok, Yes, No, Cancel };

// A file dialog as the system describes it. The filter is the system's own filter string, for example
// "Binary files (*.bin)|*.bin|All files (*.*)|*.*||"; each front end turns it into its own form.
struct FileDialogSpec {
  enum class Mode { Open, Save };
  // What the chosen file is to the tool: one it reads or one it writes. A front end without dialogs
  // answers each question by its role (the command line: its inputs, its output), never by the order the
  // tool asks in. Unstated: the one file of a command that asks for one.
  enum class Role { Unstated, Source, Destination };
  Mode mode = Mode::Open;
  Role role = Role::Unstated;
  std::string defaultExt;   // as the system gives it, e.g. "*.bin"
  std::string initialName;  // the remembered file, or the tool's default name
  std::string filter;
  // Open: the file and its folder must exist. Save: the folder must exist; never asks before overwriting.
};

// The progress window of the long operations. Closing re-enables the owner if the window disabled it.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void SetText(std::string_view text) = 0;
  virtual void SetRange(int lower, int upper) = 0;
  virtual void SetStep(int step) = 0;
  // Lets pending events run, advances by the step and shows the new percentage.
  virtual void Step() = 0;
  virtual void Close() = 0;
};

// Geometry and look of a text output window ("Rs232 Output", "Udp Debug Output", "Cdr Debug Output").
struct OutputViewSpec {
  std::string caption;
  int controlId = 0;  // of the multi-line edit
  int x = 0, y = 0, width = 600, height = 400;
  int editWidth = 594, editHeight = 375;
};

// A multi-line, editable text view on the user-interface thread. Append and Show may be called from any
// thread and never block; the text is added where the caret stands (the end unless the user moved it).
// Closing the view minimises it.
class OutputView {
 public:
  virtual ~OutputView() = default;
  virtual void Append(std::string text) = 0;
  virtual void Show() = 0;
};

class Ui {
 public:
  virtual ~Ui() = default;

  virtual MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                              MbIcon icon) = 0;
  // The plain message box: OK button, exclamation icon, the application's name as caption.
  void Message(std::string_view text);

  // The chosen path, or nothing when the dialog was cancelled.
  virtual std::optional<std::string> FileDialog(const FileDialogSpec& spec) = 0;

  // Opens the progress window over the main window with the caption of string 104, range 0..100, step 1.
  // Never null: a front end that cannot show one returns a window that shows nothing.
  virtual std::unique_ptr<ProgressWindow> OpenProgress() = 0;

  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  virtual std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec& spec) = 0;

  // Runs the phone settings dialog modally; true when it was closed with OK.
  virtual bool RunSettingsDialog() = 0;
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  explicit WaitCursor(Ui& ui) : ui_(&ui) { ui_->BeginWaitCursor(); }
  ~WaitCursor() { Restore(); }
  void Restore() {
    if (ui_) ui_->EndWaitCursor();
    ui_ = nullptr;
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Ui* ui_;
};

}  // namespace quill
