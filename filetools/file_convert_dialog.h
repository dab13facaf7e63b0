// The file-conversion dialog "文件转换": one button per file tool; each runs its tool to the end and
// returns to the dialog. The dialog has no default button: Enter and Esc close it as "退出" does.
#pragma once

#include <QDialog>

#include "filetools/file_convert_tools.h"

class QKeyEvent;

namespace quill {

class Ui;

class CFileConvertDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 131;
  // Loads the codec members from the store.
  CFileConvertDlg(QWidget* owner, Ui& ui);

  CFileConvertTools& Tools() { return tools_; }

  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();

  CFileConvertTools tools_;
};

// Runs the dialog modally; returns how it was closed (2, as "退出").
int RunFileConvertDialog(QWidget* owner, Ui& ui);

}  // namespace quill
