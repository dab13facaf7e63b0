// The Qt implementation of the Ui seam: message boxes, file dialogs, the wait cursor, the progress window
// and the output views of the GUI.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/ui.h"

namespace quill {

class QtUi : public Ui {
 public:
  explicit QtUi(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  QWidget* Owner() const { return owner_; }

  MbResult MessageBox(std::string_view text, std::string_view caption, MbButtons buttons,
                      MbIcon icon) override;
  std::optional<std::string> FileDialog(const FileDialogSpec& spec) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  std::shared_ptr<OutputView> CreateOutputView(const OutputViewSpec& spec) override;
  bool RunSettingsDialog() override;

 private:
  QPointer<QWidget> owner_;
};

// While one exists, the settings store's notices (a store file that could not be read, kept aside) are
// shown in a message box instead of going to stderr.
class StoreNoticeBoxes {
 public:
  StoreNoticeBoxes();
  ~StoreNoticeBoxes();
  StoreNoticeBoxes(const StoreNoticeBoxes&) = delete;
  StoreNoticeBoxes& operator=(const StoreNoticeBoxes&) = delete;
};

// The Qt form of a system filter string: "Binary files (*.bin);;All files (*)".
QString QtFilter(std::string_view systemFilter);

}  // namespace quill
