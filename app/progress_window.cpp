#include "app/progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "platform/progress_model.h"
#include "resources/dialog_template.h"
#include "resources/string_table.h"

namespace quill {
namespace {

constexpr int kStatusId = 1032;
constexpr int kPercentId = 1035;
constexpr int kBarId = 1020;

// The window has no buttons and cannot be cancelled: the operation behind it holds the link and the
// user-interface thread, and only it may end the window. Escape (which a dialog takes as cancel), Enter
// and every close request, from the title bar or the window manager, are refused.
class ProgressDialog : public QDialog {
 public:
  explicit ProgressDialog(QWidget* owner)
      : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {}
  void reject() override {}
  void accept() override {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
  void keyPressEvent(QKeyEvent* event) override { event->accept(); }
};

class QtProgressWindow : public ProgressWindow {
 public:
  explicit QtProgressWindow(QWidget* owner) : owner_(owner) {
    if (owner_ && owner_->isEnabled()) {
      owner_->setEnabled(false);
      disabledOwner_ = true;
    }
    dialog_ = new ProgressDialog(owner_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog_->setObjectName("ProgressWindow");
    dialog_->setFont(gui::TemplateFont());
    dialog_->setWindowTitle(QString::fromStdString(LoadString(IDS_WAIT)));
    gui::TemplateBuilder t(dialog_);
    t.SetClientSize(186, 66);
    status_ = t.Label(kStatusId, "", 14, 7, 158, 11);
    percent_ = t.Label(kPercentId, " 0 %", 80, 22, 30, 9);
    percent_->setAlignment(Qt::AlignCenter);
    bar_ = t.Place(new QProgressBar, kBarId, 16, 36, 154, 13);
    bar_->setTextVisible(false);
    ApplyRange();
    dialog_->show();
  }

  ~QtProgressWindow() override { Close(); }

  void SetText(std::string_view text) override {
    if (!status_) return;
    QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (line == status_->text()) return;
    status_->setText(line);
    // The caller may block the thread next (a block's answer wait): the line must be on the screen first.
    status_->repaint();
  }
  void SetRange(int lower, int upper) override {
    model_.SetRange(lower, upper);
    ApplyRange();
  }
  void SetStep(int step) override { model_.SetStep(step); }
  void Step() override {
    // Pending events run first, so the windows repaint while the operation holds the thread.
    QApplication::processEvents();
    bool changed = model_.Step();
    if (!bar_) return;
    int64_t pos = model_.Position();
    bar_->setValue(static_cast<int>(pos > model_.Upper() ? model_.Upper() : pos));
    if (changed) percent_->setText(QString::fromStdString(model_.Label()));
    // The bar paints itself at once when its value changes, the label only at the next turn of the event
    // loop, which a blocking wait after the step (a 16 s sector erase) holds off: the window would show the
    // new bar under the old percentage. Both are painted now, together.
    dialog_->repaint();
  }
  void Close() override {
    if (disabledOwner_ && owner_) owner_->setEnabled(true);
    disabledOwner_ = false;
    if (dialog_) {
      dialog_->hide();
      delete dialog_;
      dialog_ = nullptr;
    }
  }

 private:
  void ApplyRange() {
    if (!bar_) return;
    bar_->setRange(model_.Lower(), model_.Upper() > model_.Lower() ? model_.Upper() : model_.Lower() + 1);
    bar_->setValue(model_.Lower());
  }

  QPointer<QWidget> owner_;
  bool disabledOwner_ = false;
  QPointer<QDialog> dialog_;
  QPointer<QLabel> status_;
  QPointer<QLabel> percent_;
  QPointer<QProgressBar> bar_;
  ProgressModel model_;
};

}  // namespace

std::unique_ptr<ProgressWindow> CreateProgressWindow(QWidget* owner) {
  return std::make_unique<QtProgressWindow>(owner);
}

}  // namespace quill
