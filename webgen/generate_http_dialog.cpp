#include "webgen/generate_http_dialog.h"

#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/settings_store.h"
#include "platform/text.h"
#include "resources/dialog_template.h"

namespace quill::webgen {
namespace {

constexpr const char* kHeaderFilter = "C Header files (*.h)|*.h|All files (*.*)|*.*||";
constexpr const char* kHtmlFilter = "Html files (*.htm)|*.htm|All files (*.*)|*.*||";
// Each page asks for one chooser, so the count is kept within what a person would click through.
constexpr int kMostPages = 999;

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

}  // namespace

GenerateHttpDialog::GenerateHttpDialog(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setObjectName("GenerateHttpDialog");
  setWindowTitle("Generate Http Files");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(gui::TemplateFont());
  BuildControls();
  ShowOptions(LoadGenHttpOptions());
}

void GenerateHttpDialog::BuildControls() {
  gui::TemplateBuilder t(this);
  t.SetClientSize(251, 211);

  auto* msgButton = t.Button(IDC_MSG_FILE_BUTTON, "页面.h文件...", 10, 12, 76, 14);
  msgFile_ = t.Edit(IDC_MSG_FILE, 92, 12, 150, 14);
  auto* infoButton = t.Button(IDC_INFO_FILE_BUTTON, "替换选项.h文件...", 10, 32, 76, 14);
  infoFile_ = t.Edit(IDC_INFO_FILE, 92, 32, 150, 14);
  auto* commonButton = t.Button(IDC_COMMON_FILE_BUTTON, "公用.h文件...", 10, 52, 76, 14);
  commonFile_ = t.Edit(IDC_COMMON_FILE, 92, 52, 150, 14);

  t.Label(0, "页面数：", 10, 81, 34, 10);
  pageNum_ = t.Edit(IDC_PAGE_NUM, 46, 78, 36, 14);
  pageNum_->setValidator(new QIntValidator(0, kMostPages, pageNum_));
  auto* browse = t.Button(IDC_BROWSE_SOURCE, "浏览源.htm文件...", 92, 78, 76, 14);

  language_ = t.Check(IDC_LANGUAGE, "中文页面", 10, 104, 76, 12);
  replace_ = t.Check(IDC_REPLACE, "替换选项", 92, 104, 76, 12);
  multipart_ = t.Check(IDC_MULTIPART, "分块页面", 10, 120, 76, 12);
  writeTempHtml_ = t.Check(IDC_WRITE_TEMP_HTML, "写临时.htm文件", 92, 120, 90, 12);

  auto* tempButton = t.Button(IDC_TEMP_HTML_BUTTON, "临时.htm 文件...", 10, 144, 76, 14);
  tempHtmlFile_ = t.Edit(IDC_TEMP_HTML_FILE, 92, 144, 150, 14);

  auto* generate = t.Button(IDC_GENERATE, "开始产生", 56, 180, 60, 18, true);
  auto* exit = t.Button(IDC_GEN_EXIT, "退出", 136, 180, 60, 18);

  connect(msgButton, &QPushButton::clicked, this,
          [this] { ChooseOutput(msgFile_, "MsgFile", "*.h", kHeaderFilter); });
  connect(infoButton, &QPushButton::clicked, this,
          [this] { ChooseOutput(infoFile_, "InfoFile", "*.h", kHeaderFilter); });
  connect(commonButton, &QPushButton::clicked, this,
          [this] { ChooseOutput(commonFile_, "CommonFile", "*.h", kHeaderFilter); });
  connect(tempButton, &QPushButton::clicked, this,
          [this] { ChooseOutput(tempHtmlFile_, "TempHtmlFile", "*.htm", kHtmlFilter); });
  connect(browse, &QPushButton::clicked, this, &GenerateHttpDialog::OnBrowseSource);
  connect(generate, &QPushButton::clicked, this, &GenerateHttpDialog::OnGenerate);
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void GenerateHttpDialog::ShowOptions(const GenHttpOptions& o) {
  msgFile_->setText(Q(o.msgFile));
  infoFile_->setText(Q(o.infoFile));
  commonFile_->setText(Q(o.commonFile));
  tempHtmlFile_->setText(Q(o.tempHtmlFile));
  pageNum_->setText(QString::number(o.pageNum));
  language_->setChecked(o.chinese);
  replace_->setChecked(o.replace);
  multipart_->setChecked(o.multipart);
  writeTempHtml_->setChecked(o.writeTempHtml);
}

GenHttpOptions GenerateHttpDialog::OptionsFromControls() const {
  GenHttpOptions o;
  o.msgFile = S(msgFile_->text());
  o.infoFile = S(infoFile_->text());
  o.commonFile = S(commonFile_->text());
  o.tempHtmlFile = S(tempHtmlFile_->text());
  o.pageNum = PageCount();
  o.chinese = language_->isChecked();
  o.replace = replace_->isChecked();
  o.multipart = multipart_->isChecked();
  o.writeTempHtml = writeTempHtml_->isChecked();
  return o;
}

void GenerateHttpDialog::ChooseOutput(QLineEdit* field, const char* key, const char* defaultExt,
                                      const char* filter) {
  FileDialogSpec spec;
  spec.mode = FileDialogSpec::Mode::Save;
  spec.defaultExt = defaultExt;
  spec.initialName = S(field->text());
  spec.filter = filter;
  std::optional<std::string> path = ui_.FileDialog(spec);
  if (!path) return;
  field->setText(Q(*path));
  // The field holds the path the generation uses; a store that cannot remember it is said.
  if (const StoreResult stored = SettingsStore::Profile().WriteString(kGenHttpSection, key, *path); !stored)
    ui_.Message(stored.Message());
}

int GenerateHttpDialog::PageCount() const {
  // An empty field is no page.
  return static_cast<int>(ParseFieldInteger(S(pageNum_->text()), INT_MIN, INT_MAX).value_or(0));
}

void GenerateHttpDialog::OnBrowseSource() {
  const int count = PageCount();
  pages_.clear();
  FileDialogSpec spec;
  spec.mode = FileDialogSpec::Mode::Open;
  spec.defaultExt = "*.htm";
  spec.filter = kHtmlFilter;
  for (int i = 0; i < count && i < kMostPages; ++i) {
    std::optional<std::string> path = ui_.FileDialog(spec);
    if (!path) {
      pages_.clear();
      return;
    }
    pages_.push_back(std::move(*path));
  }
}

void GenerateHttpDialog::OnGenerate() {
  const GenHttpOptions options = OptionsFromControls();
  // The generation takes its options from the dialog, not from the store: options the store could not
  // keep are said, and the files are made all the same.
  if (const StoreResult saved = SaveGenHttpOptions(options); !saved) ui_.Message(saved.Message());
  GenerateHttpFiles(options, pages_, ui_);
}

void RunGenerateHttpDialog(QWidget* owner, Ui& ui) {
  GenerateHttpDialog dialog(ui, owner);
  dialog.exec();
}

}  // namespace quill::webgen
