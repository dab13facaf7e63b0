// The dialog "Generate Http Files": chooses the three output headers, the source pages and the options of
// section "GenHttp", and runs the generation.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "webgen/http_generator.h"

class QCheckBox;
class QLineEdit;

namespace quill::webgen {

// Control identifiers of the template.
enum GenerateHttpControl : int {
  IDC_GEN_EXIT = 2,
  IDC_MSG_FILE_BUTTON = 1301,
  IDC_MSG_FILE = 1302,
  IDC_INFO_FILE_BUTTON = 1303,
  IDC_INFO_FILE = 1304,
  IDC_COMMON_FILE_BUTTON = 1305,
  IDC_COMMON_FILE = 1306,
  IDC_PAGE_NUM = 1307,
  IDC_BROWSE_SOURCE = 1308,
  IDC_LANGUAGE = 1309,
  IDC_REPLACE = 1310,
  IDC_MULTIPART = 1311,
  IDC_WRITE_TEMP_HTML = 1312,
  IDC_TEMP_HTML_BUTTON = 1313,
  IDC_TEMP_HTML_FILE = 1314,
  IDC_GENERATE = 1315,
};

class GenerateHttpDialog : public QDialog {
  Q_OBJECT
 public:
  GenerateHttpDialog(Ui& ui, QWidget* parent = nullptr);

  // The pages picked so far, in page order.
  const std::vector<std::string>& SourcePages() const { return pages_; }
  // The options as the controls show them.
  GenHttpOptions OptionsFromControls() const;

  void OnBrowseSource();
  void OnGenerate();

 private:
  void BuildControls();
  void ShowOptions(const GenHttpOptions& options);
  // A save-file chooser for one path field; a confirmed path goes into the field and the store at once.
  void ChooseOutput(QLineEdit* field, const char* key, const char* defaultExt, const char* filter);
  // The number in the page count field.
  int PageCount() const;

  Ui& ui_;
  std::vector<std::string> pages_;
  QLineEdit* msgFile_ = nullptr;
  QLineEdit* infoFile_ = nullptr;
  QLineEdit* commonFile_ = nullptr;
  QLineEdit* pageNum_ = nullptr;
  QLineEdit* tempHtmlFile_ = nullptr;
  QCheckBox* language_ = nullptr;
  QCheckBox* replace_ = nullptr;
  QCheckBox* multipart_ = nullptr;
  QCheckBox* writeTempHtml_ = nullptr;
};

// Runs the dialog modally over owner. "退出" (and the close box) leave without saving the options.
void RunGenerateHttpDialog(QWidget* owner, Ui& ui);

}  // namespace quill::webgen
