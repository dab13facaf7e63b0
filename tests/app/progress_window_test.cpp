#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>

#include "app/progress_window.h"
#include "resources/dialog_template.h"
#include "resources/string_table.h"

namespace quill {
namespace {

QWidget* ProgressDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "ProgressWindow" && w->isVisible()) return w;
  return nullptr;
}

TEST(ProgressWindow, DisablesAnEnabledOwnerAndShowsThePercentages) {
  SetThreadLocale(kLocaleEnglishUS);
  QWidget owner;
  owner.show();
  auto p = CreateProgressWindow(&owner);
  EXPECT_FALSE(owner.isEnabled());
  QWidget* dialog = ProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Wait...");
  auto* label = gui::Control<QLabel>(dialog, 1035);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), " 0 %");
  p->SetRange(0, 8);
  p->SetStep(1);
  p->SetText("Loading data 0");
  QStringList labels;
  for (int i = 0; i < 8; ++i) {
    p->Step();
    labels << label->text();
  }
  EXPECT_EQ(labels.join(' '), "12% 25% 37% 50% 62% 75% 87% 100%");
  EXPECT_EQ(gui::Control<QLabel>(dialog, 1032)->text(), "Loading data 0");
  EXPECT_EQ(gui::Control<QProgressBar>(dialog, 1020)->value(), 8);
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  dialog->grab().save(QUILL_TEST_BINARY_DIR "/screenshots/progress_window.png");
  p->Close();
  EXPECT_TRUE(owner.isEnabled());
  EXPECT_EQ(ProgressDialog(), nullptr);
}

TEST(ProgressWindow, ReenablesTheOwnerOnlyIfItDisabledIt) {
  QWidget owner;
  owner.setEnabled(false);
  {
    auto p = CreateProgressWindow(&owner);
    p->Close();
  }
  EXPECT_FALSE(owner.isEnabled());
}

}  // namespace
}  // namespace quill
