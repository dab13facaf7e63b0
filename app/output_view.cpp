#include "app/output_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMetaObject>
#include <QPointer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextCursor>
#include <mutex>

#include "resources/dialog_template.h"

namespace quill {

QString PhoneText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError()) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  text.replace("\r\n", "\n");
  return text;
}

OutputWindow::OutputWindow(const OutputViewSpec& spec) : QWidget(nullptr, Qt::Window) {
  setWindowTitle(QString::fromStdString(spec.caption));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setObjectName(QString::fromStdString(spec.caption));
  move(spec.x, spec.y);
  resize(spec.editWidth, spec.editHeight);
  edit_ = new QPlainTextEdit(this);
  edit_->setGeometry(0, 0, spec.editWidth, spec.editHeight);
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setProperty("controlId", spec.controlId);
  edit_->setObjectName(QString("id%1").arg(spec.controlId));
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

// Shared between the threads that append and the GUI thread that shows.
struct ViewState {
  std::mutex mutex;
  std::string pending;
  bool flushQueued = false;
  bool showRequested = false;
  QPointer<OutputWindow> window;
  OutputViewSpec spec;
};

void Flush(const std::shared_ptr<ViewState>& state) {
  std::string text;
  bool show;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    text.swap(state->pending);
    show = state->showRequested;
    state->showRequested = false;
    state->flushQueued = false;
  }
  if (!state->window) state->window = new OutputWindow(state->spec);
  if (show) {
    state->window->showNormal();
    state->window->raise();
    state->window->activateWindow();
  }
  if (!text.empty()) state->window->InsertText(PhoneText(text));
}

class QtOutputView : public OutputView {
 public:
  explicit QtOutputView(const OutputViewSpec& spec) : state_(std::make_shared<ViewState>()) {
    state_->spec = spec;
  }
  ~QtOutputView() override {
    // The window is deleted on the GUI thread, after anything still queued for it.
    auto state = state_;
    if (qApp)
      QMetaObject::invokeMethod(
          qApp, [state] { delete state->window.data(); }, Qt::QueuedConnection);
  }
  void Append(std::string text) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
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
    auto state = state_;
    if (qApp)
      QMetaObject::invokeMethod(
          qApp, [state] { Flush(state); }, Qt::QueuedConnection);
  }
  std::shared_ptr<ViewState> state_;
};

}  // namespace

std::shared_ptr<OutputView> CreateQtOutputView(const OutputViewSpec& spec) {
  return std::make_shared<QtOutputView>(spec);
}

}  // namespace quill
