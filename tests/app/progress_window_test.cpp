#include "app/progress_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <functional>

#include "platform/progress_model.h"
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

// The operation behind the window holds the link: nothing the user does ends the window while it runs.
TEST(ProgressWindow, NoKeyAndNoCloseRequestEndsItWhileTheOperationRuns) {
  QWidget owner;
  owner.show();
  auto p = CreateProgressWindow(&owner);
  QWidget* dialog = ProgressDialog();
  ASSERT_NE(dialog, nullptr);
  struct Row {
    const char* name;
    std::function<void()> act;
  };
  const Row rows[] = {
      {"Escape", [&] { QTest::keyClick(dialog, Qt::Key_Escape); }},
      {"Return", [&] { QTest::keyClick(dialog, Qt::Key_Return); }},
      {"Enter", [&] { QTest::keyClick(dialog, Qt::Key_Enter); }},
      {"the close box", [&] { EXPECT_FALSE(dialog->close()); }},
      {"the window manager's close",
       [&] {
         QCloseEvent close;
         QApplication::sendEvent(dialog->windowHandle(), &close);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.act();
    QApplication::processEvents();
    EXPECT_EQ(ProgressDialog(), dialog);
    EXPECT_FALSE(owner.isEnabled());
  }
  p->Step();  // the window still works
  EXPECT_EQ(gui::Control<QLabel>(dialog, 1035)->text(), "1%");
  p->Close();
  EXPECT_EQ(ProgressDialog(), nullptr);
  EXPECT_TRUE(owner.isEnabled());
}

// What is on the screen when the operation blocks right after a step (a sector erase sleeps 16 s there,
// with no event dispatched): the bar at its new position and, painted with it, its percentage. A full bar
// once stood under " 0 %" for the whole erase.
TEST(ProgressWindow, TheScreenShowsTheBarsPercentageWhenTheOperationBlocksAfterAStep) {
  struct Row {
    const char* name;
    int first, end;  // the sectors erased, from end - 1 down to first
    const char* screenshot;
  };
  const Row rows[] = {
      {"one sector", 15, 16, nullptr},
      {"eight sectors", 0, 8, "progress_window_erase.png"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget owner;
    owner.show();
    auto p = CreateProgressWindow(&owner);
    QWidget* dialog = ProgressDialog();
    ASSERT_NE(dialog, nullptr);
    QApplication::processEvents();  // shown and painted, as it is by the time the first step comes
    auto* label = gui::Control<QLabel>(dialog, 1035);
    auto* bar = gui::Control<QProgressBar>(dialog, 1020);
    p->SetStep(1);
    p->SetRange(row.first, row.end);
    for (int sector = row.end - 1; sector >= row.first; --sector) {
      p->SetText("Erase sector " + std::to_string(sector));
      p->Step();
      // Here the operation blocks: what the screen shows now is what the user sees through the wait.
      const int percent = (bar->value() - bar->minimum()) * 100 / (bar->maximum() - bar->minimum());
      EXPECT_EQ(label->text().toStdString(), ProgressModel::LabelFor(percent)) << sector;
      const QImage screen =
          dialog->screen()->grabWindow(dialog->winId()).toImage().convertToFormat(QImage::Format_RGB32);
      const QImage state = dialog->grab().toImage().convertToFormat(QImage::Format_RGB32);
      EXPECT_TRUE(screen == state) << "the screen lags behind the window at sector " << sector;
      if (row.screenshot && sector == (row.first + row.end) / 2) {
        QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
        EXPECT_TRUE(screen.save(QString(QUILL_TEST_BINARY_DIR "/screenshots/") + row.screenshot));
      }
    }
    EXPECT_EQ(label->text(), "100%");
    p->Close();
  }
}

}  // namespace
}  // namespace quill
