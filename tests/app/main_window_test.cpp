#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/main_window.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "tests/support/fake_ui.h"

namespace quill {
namespace {

struct Placement {
  int id;
  const char* text;
  int x, y, w, h;
};

// The visible controls of the template, in dialog units.
constexpr Placement kVisible[] = {
    {IDC_IP_ADDRESS, nullptr, 5, 27, 90, 15},
    {IDC_TEST, "Test", 115, 16, 70, 39},
    {IDC_UPDATE_PROGRAM, "     Step1\n Update Program", 14, 88, 70, 43},
    {IDC_UPDATE_BOOT, "   Step2\nUpdate Boot", 113, 88, 70, 43},
    {IDC_RESTORE_FACTORY, "     Step3\nRestore Factory", 212, 88, 70, 43},
    {IDC_EXIT, "Exit", 311, 88, 70, 43},
};

TEST(MainWindow, FirstLookHasTheVisibleControlsAtTheirTemplatePositions) {
  test::FakeUi ui;
  MainWindow w(ui);
  w.show();
  EXPECT_EQ(w.windowTitle(), "Updating Tool");
  EXPECT_EQ(w.size(), QSize(gui::DuToPxX(396), gui::DuToPxY(138)));
  for (const auto& p : kVisible) {
    QWidget* c = gui::FindControl(&w, p.id);
    ASSERT_NE(c, nullptr) << p.id;
    EXPECT_EQ(c->geometry(), gui::DuRect(p.x, p.y, p.w, p.h)) << p.id;
    EXPECT_TRUE(c->isVisible()) << p.id;
    if (p.text) {
      EXPECT_EQ(qobject_cast<QPushButton*>(c)->text().toStdString(), p.text);
    }
  }
  EXPECT_EQ(w.IpField()->Address(), 0xC0A80164u);
  EXPECT_FALSE(w.windowIcon().isNull());

  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  QPixmap shot = w.grab();
  EXPECT_TRUE(shot.save(QUILL_TEST_BINARY_DIR "/screenshots/main_window.png"));
}

TEST(MainWindow, ExitEscapeAndTheCloseBoxEndTheDialog) {
  test::FakeUi ui;
  {
    MainWindow w(ui);
    w.show();
    QTest::mouseClick(gui::Control<QPushButton>(&w, IDC_EXIT), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
  }
  {
    MainWindow w(ui);
    w.show();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
  }
  {
    MainWindow w(ui);
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
  }
}

TEST(IpAddressEdit, HoldsTheAddressFirstOctetMostSignificant) {
  gui::IpAddressEdit edit;
  edit.SetAddress(0x0A010203);
  EXPECT_EQ(edit.Octets(), (std::array<int, 4>{10, 1, 2, 3}));
  edit.Field(3)->setText("255");
  EXPECT_EQ(edit.Address(), 0x0A0102FFu);
  for (int i = 0; i < 4; ++i) edit.Field(i)->clear();
  EXPECT_TRUE(edit.IsBlank());
  EXPECT_EQ(edit.Address(), 0u);
}

}  // namespace
}  // namespace quill
