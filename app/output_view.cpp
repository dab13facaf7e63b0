#include "app/output_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMetaObject>
#include <QPointer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "debugmon/line_stamper.h"
#include "platform/file_io.h"
#include "resources/dialog_template.h"

namespace quill {

QString PhoneText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError()) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  text.replace("\r\n", "\n");
  return text;
}

OutputWindow::OutputWindow(const OutputViewSpec& spec, Ui* ui)
    : QWidget(nullptr, Qt::Window), ui_(ui), caption_(spec.caption) {
  setWindowTitle(QString::fromStdString(spec.caption));
  // A caption, a system menu and a minimise box; no maximise box, as the window has a fixed size.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setObjectName(QString::fromStdString(spec.caption));
  move(spec.x, spec.y);
  // The template's window has no sizing border: its client area is the edit control's, and stays so.
  setFixedSize(spec.editWidth, spec.editHeight);
  edit_ = new QPlainTextEdit(this);
  edit_->setGeometry(0, 0, spec.editWidth, spec.editHeight);
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Nothing appended is ever undone, and an undo record per append would grow with every line shown.
  edit_->setUndoRedoEnabled(false);
  // The complete lines kept, and the one still being written.
  edit_->setMaximumBlockCount(kOutputViewMaxLines + 1);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setProperty("controlId", spec.controlId);
  edit_->setObjectName(QString("id%1").arg(spec.controlId));
  edit_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(edit_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    // The edit owns the menu too: when the monitor goes while the menu is open, the menu goes with it.
    QPointer<QMenu> menu = CreateContextMenu();
    menu->exec(edit_->viewport()->mapToGlobal(at));
    delete menu.data();
  });
}

QMenu* OutputWindow::CreateContextMenu() {
  // The standard edit menu stays as it was; ours follow it.
  QMenu* menu = edit_->createStandardContextMenu();
  menu->addSeparator();
  QAction* save = menu->addAction(tr("Save As..."));
  save->setObjectName("saveAs");
  save->setEnabled(ui_ != nullptr);
  connect(save, &QAction::triggered, this, [this] { SaveAs(); });
  QAction* stamps = menu->addAction(tr("Show timestamps"));
  stamps->setObjectName("showTimestamps");
  stamps->setCheckable(true);
  stamps->setChecked(timestamps_);
  connect(stamps, &QAction::toggled, this, [this](bool on) { ShowTimestamps(on); });
  return menu;
}

bool OutputWindow::SaveAs() {
  if (!ui_) return false;
  FileDialogSpec spec;
  spec.mode = FileDialogSpec::Mode::Save;
  spec.role = FileDialogSpec::Role::Destination;
  spec.defaultExt = "*.txt";
  spec.initialName = caption_ + ".txt";
  spec.filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*||";
  const std::optional<std::string> path = ui_->FileDialog(spec);
  if (!path) return false;
  // What the window shows, as it is at this moment; line ends as the view keeps them.
  const QByteArray text = edit_->toPlainText().toUtf8();
  CFileRun run;
  COutputFile out;
  if (out.Create(*path)) {
    out.Write(text.constData(), static_cast<size_t>(text.size()));
    if (out.Commit()) return true;
  }
  ui_->Message(FileFailureText("Can not create dest file", out.Error()));
  return false;
}

void OutputWindow::ShowTimestamps(bool on) {
  if (timestamps_ == on) return;
  timestamps_ = on;
  if (timestampsChanged_) timestampsChanged_(on);
}

void OutputWindow::InsertText(const QString& text) {
  QTextCursor cursor = edit_->textCursor();
  cursor.insertText(text);
  edit_->setTextCursor(cursor);
  // The line count is bounded by the edit itself; the characters here, whole lines first. An eighth more
  // goes each time, so that a long run of short texts does not trim on every one.
  QTextDocument* doc = edit_->document();
  const qsizetype excess = doc->characterCount() - kOutputViewMaxChars;
  if (excess <= 0) return;
  int cut = static_cast<int>(excess + kOutputViewMaxChars / 8);
  const QTextBlock block = doc->findBlock(cut);
  if (block.isValid() && block.position() < cut && block.next().isValid() && block.next().next().isValid())
    cut = block.next().position();
  QTextCursor front(doc);
  front.setPosition(std::min(cut, doc->characterCount() - 1), QTextCursor::KeepAnchor);
  front.removeSelectedText();
}

void OutputWindow::closeEvent(QCloseEvent* event) {
  // The close box minimises the window; the monitor behind it keeps running.
  event->ignore();
  showMinimized();
}

namespace {

// The most text one turn of the GUI's event loop inserts: a phone that logs fast must not hold the GUI up
// for long, so a large backlog goes in over several turns, with input, painting and timers between them.
constexpr qsizetype kMaxInsertPerTurn = qsizetype{32} * 1024;

// Shared between the threads that append and the GUI thread that shows.
struct ViewState {
  std::mutex mutex;
  QString pending;  // converted text not yet inserted, from pendingStart on
  qsizetype pendingStart = 0;
  bool carriedCr = false;  // a CR that ended the last text, held back in case the next one starts with LF
  bool flushQueued = false;
  bool showRequested = false;
  bool closed = false;    // the view has gone: a flush still queued must not make its window again
  bool guiStuck = false;  // the GUI took nothing for a while: appends stop waiting until it takes some
  std::condition_variable taken;  // the GUI has taken pending text
  CLineStamper stamper;           // off until the window's "Show timestamps"
  QPointer<OutputWindow> window;
  OutputViewSpec spec;
  Ui* ui = nullptr;
};

void ScheduleFlush(const std::shared_ptr<ViewState>& state);

void Flush(const std::shared_ptr<ViewState>& state) {
  QString text;
  bool show;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->closed) return;
    show = state->showRequested;
    state->showRequested = false;
    qsizetype left = state->pending.size() - state->pendingStart;
    if (left > kMaxInsertPerTurn) {
      qsizetype cut = kMaxInsertPerTurn;
      // Never between the two halves of a surrogate pair.
      if (state->pending.at(state->pendingStart + cut - 1).isHighSurrogate()) --cut;
      text = state->pending.mid(state->pendingStart, cut);
      state->pendingStart += cut;
      // Under a steady stream the text is never all taken at once: what was taken goes once it is the
      // larger part, or the string would keep every character ever appended.
      if (state->pendingStart > state->pending.size() / 2) {
        state->pending.remove(0, state->pendingStart);
        state->pendingStart = 0;
      }
      ScheduleFlush(state);  // the rest in the next turn; flushQueued stays set
    } else {
      text = state->pendingStart ? state->pending.mid(state->pendingStart) : std::move(state->pending);
      state->pending.clear();
      state->pendingStart = 0;
      state->flushQueued = false;
    }
    state->guiStuck = false;
  }
  state->taken.notify_all();
  if (!state->window) {
    state->window = new OutputWindow(state->spec, state->ui);
    // The stamps go in where the text arrives, so each line carries the time it came, not the time shown.
    std::weak_ptr<ViewState> weak = state;
    state->window->OnTimestampsChanged([weak](bool on) {
      if (auto s = weak.lock()) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->stamper.SetMode(on ? CLineStamper::Mode::WallClock : CLineStamper::Mode::Off);
      }
    });
  }
  if (show) {
    state->window->showNormal();
    state->window->raise();
    state->window->activateWindow();
  }
  if (!text.isEmpty()) state->window->InsertText(text);
}

// Queues one flush on the GUI thread.
void ScheduleFlush(const std::shared_ptr<ViewState>& state) {
  if (qApp)
    QMetaObject::invokeMethod(
        qApp, [state] { Flush(state); }, Qt::QueuedConnection);
}

class QtOutputView : public OutputView {
 public:
  QtOutputView(const OutputViewSpec& spec, Ui* ui) : state_(std::make_shared<ViewState>()) {
    state_->spec = spec;
    state_->ui = ui;
  }
  ~QtOutputView() override {
    // The window is deleted on the GUI thread; what was not shown yet goes with it.
    auto state = state_;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->closed = true;
      state->pending.clear();
      state->pendingStart = 0;
    }
    if (qApp)
      QMetaObject::invokeMethod(
          qApp, [state] { delete state->window.data(); }, Qt::QueuedConnection);
  }
  void Append(std::string bytes) override {
    // Converted here, on the caller's thread: the GUI thread only inserts, and each text is read as
    // UTF-8 or Latin-1 on its own, however the texts are later batched. The one thread that appends to a
    // view takes the lock for the stamps too, so they follow the text's own order.
    std::unique_lock<std::mutex> lock(state_->mutex);
    QString text = PhoneText(state_->stamper.Stamp(bytes));
    if (text.isEmpty()) return;
    // A CR LF split between two texts (a long piece cut by the phone) is one line end, as it is within one.
    if (state_->carriedCr && text.front() != '\n') state_->pending += '\r';
    state_->carriedCr = text.back() == '\r';
    if (state_->carriedCr) text.chop(1);
    state_->pending += text;
    Schedule();
    HoldBack(lock);
  }
  void Show() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->showRequested = true;
    Schedule();
  }

 private:
  // Called with the mutex held. Past the pending bound the appending thread waits for the GUI, which holds
  // a fast phone back at the socket. A GUI that takes nothing for a while may itself be waiting for this
  // thread (a monitor being stopped): then nothing waits until it takes text again, and what is pending is
  // kept to what the view could keep at all, the newest lines.
  void HoldBack(std::unique_lock<std::mutex>& lock) {
    auto left = [this] { return state_->pending.size() - state_->pendingStart; };
    if (left() <= kOutputViewMaxPending) return;
    // The GUI thread itself never waits for its own turn, nor anyone for a GUI that is not there.
    const bool waitForGui = qApp && QThread::currentThread() != qApp->thread();
    if (waitForGui && !state_->guiStuck && !state_->taken.wait_for(lock, std::chrono::milliseconds(250), [&] {
          return left() <= kOutputViewMaxPending || state_->closed;
        }))
      state_->guiStuck = true;
    if (left() <= kOutputViewMaxChars) return;
    qsizetype cut = state_->pending.indexOf('\n', state_->pending.size() - kOutputViewMaxChars);
    cut = std::max(state_->pendingStart, cut < 0 ? state_->pending.size() - kOutputViewMaxChars : cut + 1);
    if (cut > state_->pendingStart && state_->pending.at(cut - 1).isHighSurrogate()) --cut;
    state_->pending.remove(0, cut);
    state_->pendingStart = 0;
  }
  // Called with the mutex held: one flush per turn of the GUI's event loop, whatever arrives meanwhile.
  void Schedule() {
    if (state_->flushQueued) return;
    state_->flushQueued = true;
    ScheduleFlush(state_);
  }
  std::shared_ptr<ViewState> state_;
};

}  // namespace

std::shared_ptr<OutputView> CreateQtOutputView(const OutputViewSpec& spec, Ui* ui) {
  return std::make_shared<QtOutputView>(spec, ui);
}

}  // namespace quill
