#include "webgen/generate_http_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/settings_store.h"
#include "resources/dialog_template.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill::webgen {
namespace {

using test::FakeUi;
using test::TempDir;

class GenerateHttpDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  QLineEdit* Edit(GenerateHttpDialog& d, int id) { return gui::Control<QLineEdit>(&d, id); }
  QCheckBox* Check(GenerateHttpDialog& d, int id) { return gui::Control<QCheckBox>(&d, id); }
  void Click(GenerateHttpDialog& d, int id) {
    QTest::mouseClick(gui::Control<QPushButton>(&d, id), Qt::LeftButton);
  }
  SettingsStore& Store() { return SettingsStore::Profile(); }
  FakeUi ui;
};

TEST_F(GenerateHttpDialogTest, HasItsControlsOnTheTemplateAndShowsTheStoredOptions) {
  ASSERT_TRUE(Store().WriteString("GenHttp", "MsgFile", "/m/page.h").Ok());
  ASSERT_TRUE(Store().WriteString("GenHttp", "TempHtmlFile", "/m/t.htm").Ok());
  ASSERT_TRUE(Store().WriteInt("GenHttp", "PageNum", 3).Ok());
  ASSERT_TRUE(Store().WriteInt("GenHttp", "Language", 1).Ok());
  GenerateHttpDialog d(ui);
  d.show();
  EXPECT_EQ(d.windowTitle(), "Generate Http Files");
  EXPECT_EQ(d.size(), QSize(gui::DuToPxX(251), gui::DuToPxY(211)));

  struct Caption {
    int id;
    const char* text;
  };
  const Caption captions[] = {
      {IDC_MSG_FILE_BUTTON, "页面.h文件..."},
      {IDC_INFO_FILE_BUTTON, "替换选项.h文件..."},
      {IDC_COMMON_FILE_BUTTON, "公用.h文件..."},
      {IDC_BROWSE_SOURCE, "浏览源.htm文件..."},
      {IDC_TEMP_HTML_BUTTON, "临时.htm 文件..."},
      {IDC_GENERATE, "开始产生"},
      {IDC_GEN_EXIT, "退出"},
  };
  for (const Caption& c : captions) {
    auto* b = gui::Control<QPushButton>(&d, c.id);
    ASSERT_NE(b, nullptr) << c.id;
    EXPECT_EQ(b->text().toStdString(), c.text);
    EXPECT_TRUE(d.rect().contains(b->geometry())) << c.text;
  }
  const Caption checks[] = {{IDC_LANGUAGE, "中文页面"},
                            {IDC_REPLACE, "替换选项"},
                            {IDC_MULTIPART, "分块页面"},
                            {IDC_WRITE_TEMP_HTML, "写临时.htm文件"}};
  for (const Caption& c : checks) {
    ASSERT_NE(Check(d, c.id), nullptr) << c.id;
    EXPECT_EQ(Check(d, c.id)->text().toStdString(), c.text);
  }
  bool pageCountLabel = false;
  for (QLabel* l : d.findChildren<QLabel*>()) pageCountLabel |= l->text() == QString::fromUtf8("页面数：");
  EXPECT_TRUE(pageCountLabel);

  EXPECT_EQ(Edit(d, IDC_MSG_FILE)->text(), "/m/page.h");
  EXPECT_EQ(Edit(d, IDC_INFO_FILE)->text(), "");
  EXPECT_EQ(Edit(d, IDC_TEMP_HTML_FILE)->text(), "/m/t.htm");
  EXPECT_EQ(Edit(d, IDC_PAGE_NUM)->text(), "3");
  EXPECT_TRUE(Check(d, IDC_LANGUAGE)->isChecked());
  EXPECT_TRUE(Check(d, IDC_REPLACE)->isChecked());  // default on
  EXPECT_FALSE(Check(d, IDC_MULTIPART)->isChecked());
  EXPECT_FALSE(Check(d, IDC_WRITE_TEMP_HTML)->isChecked());

  QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
  EXPECT_TRUE(d.grab().save(QUILL_TEST_BINARY_DIR "/screenshots/generate_http_dialog.png"));
}

TEST_F(GenerateHttpDialogTest, AChosenPathIsStoredAtOnce) {
  struct Row {
    int button;
    int field;
    const char* key;
    const char* ext;
    const char* filter;
  };
  const Row rows[] = {
      {IDC_MSG_FILE_BUTTON, IDC_MSG_FILE, "MsgFile", "*.h", "C Header files (*.h)|*.h|All files (*.*)|*.*||"},
      {IDC_INFO_FILE_BUTTON, IDC_INFO_FILE, "InfoFile", "*.h",
       "C Header files (*.h)|*.h|All files (*.*)|*.*||"},
      {IDC_COMMON_FILE_BUTTON, IDC_COMMON_FILE, "CommonFile", "*.h",
       "C Header files (*.h)|*.h|All files (*.*)|*.*||"},
      {IDC_TEMP_HTML_BUTTON, IDC_TEMP_HTML_FILE, "TempHtmlFile", "*.htm",
       "Html files (*.htm)|*.htm|All files (*.*)|*.*||"},
  };
  GenerateHttpDialog d(ui);
  d.show();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.key);
    Edit(d, r.field)->setText("/old/name");
    ui.AnswerFile(std::string("/new/") + r.key);
    Click(d, r.button);
    ASSERT_FALSE(ui.fileDialogs.empty());
    const FileDialogSpec& spec = ui.fileDialogs.back();
    EXPECT_EQ(spec.mode, FileDialogSpec::Mode::Save);
    EXPECT_EQ(spec.defaultExt, r.ext);
    EXPECT_EQ(spec.filter, r.filter);
    EXPECT_EQ(spec.initialName, "/old/name");
    EXPECT_EQ(Edit(d, r.field)->text().toStdString(), std::string("/new/") + r.key);
    EXPECT_EQ(Store().GetString("GenHttp", r.key, ""), std::string("/new/") + r.key);

    ui.AnswerFile(std::nullopt);  // cancelled: field and store stay
    Click(d, r.button);
    EXPECT_EQ(Edit(d, r.field)->text().toStdString(), std::string("/new/") + r.key);
    EXPECT_EQ(Store().GetString("GenHttp", r.key, ""), std::string("/new/") + r.key);
  }
  EXPECT_FALSE(Store().Contains("GenHttp", "Replace"));  // nothing else was written
}

TEST_F(GenerateHttpDialogTest, PicksPageNumSourcesAndACancelClearsTheList) {
  GenerateHttpDialog d(ui);
  d.show();
  Edit(d, IDC_PAGE_NUM)->setText("2");
  ui.AnswerFile("/p/a.htm");
  ui.AnswerFile("/p/b.htm");
  Click(d, IDC_BROWSE_SOURCE);
  EXPECT_EQ(d.SourcePages(), (std::vector<std::string>{"/p/a.htm", "/p/b.htm"}));
  ASSERT_EQ(ui.fileDialogs.size(), 2u);
  EXPECT_EQ(ui.fileDialogs[0].mode, FileDialogSpec::Mode::Open);
  EXPECT_EQ(ui.fileDialogs[0].defaultExt, "*.htm");
  EXPECT_EQ(ui.fileDialogs[0].filter, "Html files (*.htm)|*.htm|All files (*.*)|*.*||");

  // Five pages, the third chooser cancelled: the list is empty and no fourth chooser shows.
  ui.fileDialogs.clear();
  Edit(d, IDC_PAGE_NUM)->setText("5");
  ui.AnswerFile("/p/a.htm");
  ui.AnswerFile("/p/b.htm");
  ui.AnswerFile(std::nullopt);
  ui.AnswerFile("/p/d.htm");
  Click(d, IDC_BROWSE_SOURCE);
  EXPECT_TRUE(d.SourcePages().empty());
  EXPECT_EQ(ui.fileDialogs.size(), 3u);

  // Generating then creates the three files empty.
  TempDir dir;
  Edit(d, IDC_MSG_FILE)->setText(QString::fromStdString(dir.File("page.h")));
  Edit(d, IDC_INFO_FILE)->setText(QString::fromStdString(dir.File("info.h")));
  Edit(d, IDC_COMMON_FILE)->setText(QString::fromStdString(dir.File("common.h")));
  Click(d, IDC_GENERATE);
  EXPECT_TRUE(ui.messages.empty());
  for (const char* name : {"page.h", "info.h", "common.h"}) {
    EXPECT_TRUE(test::FileExists(dir.File(name))) << name;
    EXPECT_EQ(test::ReadFile(dir.File(name)), "") << name;
  }
}

TEST_F(GenerateHttpDialogTest, GeneratingStoresAllOptionsAndExitStoresNone) {
  TempDir dir;
  test::WriteFile(dir.File("a.htm"), "<input name=ip>");
  {
    GenerateHttpDialog d(ui);
    d.show();
    Edit(d, IDC_MSG_FILE)->setText(QString::fromStdString(dir.File("page.h")));
    Edit(d, IDC_INFO_FILE)->setText(QString::fromStdString(dir.File("info.h")));
    Edit(d, IDC_COMMON_FILE)->setText(QString::fromStdString(dir.File("common.h")));
    Edit(d, IDC_TEMP_HTML_FILE)->setText(QString::fromStdString(dir.File("t.htm")));
    Edit(d, IDC_PAGE_NUM)->setText("1");
    Check(d, IDC_LANGUAGE)->setChecked(true);
    Check(d, IDC_MULTIPART)->setChecked(true);
    Check(d, IDC_WRITE_TEMP_HTML)->setChecked(true);
    ui.AnswerFile(dir.File("a.htm"));
    Click(d, IDC_BROWSE_SOURCE);
    Click(d, IDC_GENERATE);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(test::ReadFile(dir.File("info.h")).find("{  0,   0,  15,  21,   0}"), std::string::npos);
    EXPECT_NE(test::ReadFile(dir.File("page.h")).find("0x3c, 0x49"), std::string::npos);  // hexadecimal
    EXPECT_TRUE(test::FileExists(dir.File("temp_page_0.htm")));
  }
  GenHttpOptions stored = LoadGenHttpOptions();
  EXPECT_EQ(stored.msgFile, dir.File("page.h"));
  EXPECT_EQ(stored.infoFile, dir.File("info.h"));
  EXPECT_EQ(stored.commonFile, dir.File("common.h"));
  EXPECT_EQ(stored.tempHtmlFile, dir.File("t.htm"));
  EXPECT_EQ(stored.pageNum, 1);
  EXPECT_TRUE(stored.chinese && stored.replace && stored.multipart && stored.writeTempHtml);

  GenerateHttpDialog d(ui);
  d.show();
  Check(d, IDC_REPLACE)->setChecked(false);
  Edit(d, IDC_PAGE_NUM)->setText("7");
  Edit(d, IDC_MSG_FILE)->setText("/elsewhere.h");
  Click(d, IDC_GEN_EXIT);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Rejected);
  stored = LoadGenHttpOptions();
  EXPECT_TRUE(stored.replace);
  EXPECT_EQ(stored.pageNum, 1);
  EXPECT_EQ(stored.msgFile, dir.File("page.h"));
}

TEST_F(GenerateHttpDialogTest, RunsModallyOverItsOwnerUntilExit) {
  QWidget owner;
  owner.show();
  QString title;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    // The dialog exists before its loop runs, so it is found here whatever the machine's load.
    auto* dialog = owner.findChild<GenerateHttpDialog*>();
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    modal = QApplication::activeModalWidget() == dialog;
    QTest::mouseClick(gui::Control<QPushButton>(dialog, IDC_GEN_EXIT), Qt::LeftButton);
  });
  RunGenerateHttpDialog(&owner, ui);
  EXPECT_EQ(title, "Generate Http Files");
  EXPECT_TRUE(modal);
}

}  // namespace
}  // namespace quill::webgen
