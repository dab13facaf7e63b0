#include "filetools/file_convert_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "platform/settings_store.h"
#include "resources/dialog_template.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

struct ButtonCase {
  int id;
  const char* caption;
  int x, y, w, h;
};

const ButtonCase kButtons[] = {
    {1121, "Hex文件到.h文件...", 7, 7, 167, 14},
    {1119, "ADSP21XX数据文件到.h文件...", 8, 29, 166, 14},
    {1120, "二进制文件到.h文件...", 7, 51, 167, 14},
    {1127, "Wave file to .pcm converter ...", 7, 73, 167, 14},
    {1122, "音频文件编码...", 8, 95, 166, 14},
    {1123, "音频文件解码...", 7, 117, 166, 14},
    {1125, "Hex文件到二进制文件 ...", 7, 139, 97, 14},
    {1171, "合并HEX文件 ...", 111, 139, 62, 14},
    {1173, "转换调试信息文件 ...", 7, 161, 165, 13},
    {1177, "转换拨号规则文件 ...", 7, 182, 165, 13},
    {1178, "合并G729语音文件 ...", 7, 202, 165, 13},
    {1124, "Batch IVR ...", 7, 223, 165, 14},
    {1181, "Build VT20B", 194, 7, 67, 14},
    {1182, "Build VT20C", 194, 29, 67, 14},
    {1183, "Build VT20E", 194, 51, 67, 14},
    {1174, "Build VT20F", 194, 73, 67, 14},
    {1195, "Build VT20FB", 194, 95, 67, 13},
    {1175, "Build VT20G", 194, 116, 67, 14},
    {1180, "Build MERLE", 272, 7, 67, 14},
    {1179, "Build TERN_A", 272, 29, 67, 14},
    {1187, "Build TERN_A_4T", 272, 51, 67, 14},
    {1185, "Build BRISK_D", 272, 73, 67, 14},
    {1184, "Build ORLAN", 272, 95, 67, 14},
    {1176, "Build KX30D", 272, 116, 67, 14},
    {2, "退出", 289, 223, 50, 14},
};

class FileConvertDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  test::FakeUi ui_;
};

TEST_F(FileConvertDialogTest, ButtonsStandWhereTheTemplatePutsThem) {
  CFileConvertDlg dlg(nullptr, ui_);
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("文件转换"));
  EXPECT_EQ(dlg.size(), QSize(gui::DuToPxX(353), gui::DuToPxY(245)));
  EXPECT_EQ(dlg.findChildren<QPushButton*>().size(), static_cast<qsizetype>(std::size(kButtons)));
  for (const ButtonCase& b : kButtons) {
    SCOPED_TRACE(b.id);
    auto* button = gui::Control<QPushButton>(&dlg, b.id);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
    EXPECT_EQ(button->geometry(), gui::DuRect(b.x, b.y, b.w, b.h));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(button->isDefault());
  }

  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  EXPECT_TRUE(dlg.grab().save(QUILL_TEST_BINARY_DIR "/screenshots/file_convert_dialog.png"));
}

TEST_F(FileConvertDialogTest, InertButtonsDoNothingAndToolButtonsRunTheirTool) {
  CFileConvertDlg dlg(nullptr, ui_);
  dlg.show();
  for (int id : {1119, 1178}) {
    QTest::mouseClick(gui::Control<QPushButton>(&dlg, id), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
  }
  EXPECT_TRUE(ui_.fileDialogs.empty());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_FALSE(dlg.Tools().PressButton(1119));

  // HEX to binary: its save dialog (cancelled here), and the dialog stays open.
  QTest::mouseClick(gui::Control<QPushButton>(&dlg, 1125), Qt::LeftButton);
  ASSERT_EQ(ui_.fileDialogs.size(), 1u);
  EXPECT_EQ(ui_.fileDialogs[0].initialName, "demo.bin");
  EXPECT_TRUE(dlg.isVisible());

  // A Build button builds from drive C's work tree: here none, so each piece is reported.
  test::TempDir drive;
  ASSERT_TRUE(SettingsStore::Profile().WriteString("Paths", "DriveC", drive.Path()).Ok());
  QDir(QString::fromStdString(drive.Path())).mkpath("zediza323");
  QTest::mouseClick(gui::Control<QPushButton>(&dlg, 1176), Qt::LeftButton);
  ASSERT_EQ(ui_.messages.size(), 12u);
  for (const auto& m : ui_.messages) EXPECT_EQ(m.text.substr(0, m.text.find('\n')), "can not open hex file");
  EXPECT_TRUE(test::FileExists(drive.Path() + "/zediza323/KX30D_9.bin"));
}

TEST_F(FileConvertDialogTest, CodecMembersAreReadWhenItOpensAndNeverWrittenBack) {
  {
    CFileConvertDlg dlg(nullptr, ui_);
    EXPECT_EQ(dlg.Tools().Codec(), (CodecOptions{1, 1, 1, 0}));
    dlg.Tools().Codec().codecType = 2;
    dlg.show();
    QTest::mouseClick(gui::Control<QPushButton>(&dlg, 2), Qt::LeftButton);
  }
  EXPECT_FALSE(SettingsStore::Profile().Contains("Audio", "CodecType"));
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("UdpAudio", "NoAcm", 0).Ok());
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("UdpAudio", "UseHighRate", 0).Ok());
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("UdpAudio", "UseVAD", 0).Ok());
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("Audio", "CodecType", 6).Ok());
  CFileConvertDlg dlg(nullptr, ui_);
  EXPECT_EQ(dlg.Tools().Codec(), (CodecOptions{0, 0, 0, 6}));
}

TEST_F(FileConvertDialogTest, EnterEscAndExitCloseItAlike) {
  for (int way = 0; way < 4; ++way) {
    SCOPED_TRACE(way);
    CFileConvertDlg dlg(nullptr, ui_);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QSignalSpy finished(&dlg, &QDialog::finished);
    // Enter closes even while a tool button has the focus.
    gui::Control<QPushButton>(&dlg, 1121)->setFocus();
    switch (way) {
      case 0:
        QTest::keyClick(&dlg, Qt::Key_Return);
        break;
      case 1:
        QTest::keyClick(&dlg, Qt::Key_Enter);
        break;
      case 2:
        QTest::keyClick(&dlg, Qt::Key_Escape);
        break;
      case 3:
        QTest::mouseClick(gui::Control<QPushButton>(&dlg, 2), Qt::LeftButton);
        break;
    }
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.front().front().toInt(), 2);
    EXPECT_FALSE(dlg.isVisible());
  }
  EXPECT_TRUE(ui_.fileDialogs.empty());  // no tool ran on the way out
}

}  // namespace
}  // namespace quill
