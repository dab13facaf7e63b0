#include "filetools/file_convert_dialog.h"

#include <QKeyEvent>
#include <QPushButton>

#include "filetools/image_builder.h"
#include "resources/dialog_template.h"

namespace quill {
namespace {

namespace id = file_convert_id;

struct ButtonRow {
  int id;
  const char* caption;
  int x, y, w, h;
};

// The template, in dialog units.
constexpr ButtonRow kToolButtons[] = {
    {id::kHexToHeader, "Hex文件到.h文件...", 7, 7, 167, 14},
    {id::kAdspToHeader, "ADSP21XX数据文件到.h文件...", 8, 29, 166, 14},
    {id::kBinaryToHeader, "二进制文件到.h文件...", 7, 51, 167, 14},
    {id::kWaveToPcm, "Wave file to .pcm converter ...", 7, 73, 167, 14},
    {id::kAudioEncode, "音频文件编码...", 8, 95, 166, 14},
    {id::kAudioDecode, "音频文件解码...", 7, 117, 166, 14},
    {id::kHexToBinary, "Hex文件到二进制文件 ...", 7, 139, 97, 14},
    {id::kMergeHex, "合并HEX文件 ...", 111, 139, 62, 14},
    {id::kConvertDebug, "转换调试信息文件 ...", 7, 161, 165, 13},
    {id::kConvertMap, "转换拨号规则文件 ...", 7, 182, 165, 13},
    {id::kMergeG729, "合并G729语音文件 ...", 7, 202, 165, 13},
    {id::kBatchIvr, "Batch IVR ...", 7, 223, 165, 14},
};

// The Build buttons: two columns of six, in the order of the variant table.
constexpr int kBuildColumnX[] = {194, 272};
constexpr int kBuildRowY[] = {7, 29, 51, 73, 95, 116};
constexpr int kBuildWidth = 67;
constexpr int kBuildHeight = 14;

}  // namespace

CFileConvertDlg::CFileConvertDlg(QWidget* owner, Ui& ui) : QDialog(owner), tools_(ui) {
  setWindowTitle(QString::fromUtf8("文件转换"));
  setFont(gui::TemplateFont());
  setProperty("templateId", kTemplateId);
  BuildControls();
}

void CFileConvertDlg::BuildControls() {
  gui::TemplateBuilder t(this);
  t.SetClientSize(353, 245);
  for (const ButtonRow& b : kToolButtons) {
    QPushButton* button = t.Button(b.id, b.caption, b.x, b.y, b.w, b.h);
    // The two buttons without a tool are there and enabled, and do nothing.
    if (b.id == id::kAdspToHeader || b.id == id::kMergeG729) continue;
    connect(button, &QPushButton::clicked, this, [this, id = b.id] { tools_.PressButton(id); });
  }
  const auto& variants = BuildVariants();
  for (size_t i = 0; i < variants.size() && i < 12; ++i) {
    const BuildVariant& v = variants[i];
    int height = v.buttonId == 1195 ? 13 : kBuildHeight;  // "Build VT20FB" is one unit lower
    QPushButton* button =
        t.Button(v.buttonId, v.caption, kBuildColumnX[i / 6], kBuildRowY[i % 6], kBuildWidth, height);
    connect(button, &QPushButton::clicked, this, [this, id = v.buttonId] { tools_.PressButton(id); });
  }
  QPushButton* exit = t.Button(id::kExit, "退出", 289, 223, 50, 14);
  connect(exit, &QPushButton::clicked, this, [this] { done(id::kExit); });
}

void CFileConvertDlg::reject() {
  done(id::kExit);
}

void CFileConvertDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      done(id::kExit);
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

int RunFileConvertDialog(QWidget* owner, Ui& ui) {
  CFileConvertDlg dialog(owner, ui);
  return dialog.exec();
}

}  // namespace quill
