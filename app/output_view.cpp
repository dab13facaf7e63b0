#include "app/output_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMetaObject>
#include <QPointer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextCursor>
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
  bool closed = false;   // the view has gone: a flush still queued must not make its window again
  CLineStamper stamper;  // off until the window's "Show timestamps"
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
      ScheduleFlush(state);  // the rest in the next turn; flushQueued stays set
    } else {
      text = state->pendingStart ? state->pending.mid(state->pendingStart) : std::move(state->pending);
      state->pending.clear();
      state->pendingStart = 0;
      state->flushQueued = false;
    }
  }
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
    std::lock_guard<std::mutex> lock(state_->mutex);
    QString text = PhoneText(state_->stamper.Stamp(bytes));
    if (text.isEmpty()) return;
    // A CR LF split between two texts (a long piece cut by the phone) is one line end, as it is within one.
    if (state_->carriedCr && text.front() != '\n') state_->pending += '\r';
    state_->carriedCr = text.back() == '\r';
    if (state_->carriedCr) text.chop(1);
    state_->pending += text;
    Schedule();
  }
  void Show() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->showRequested = true;
    Schedule();
  }

 private:
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
