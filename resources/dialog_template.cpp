#include "resources/dialog_template.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVariant>

namespace quill::gui {
namespace {
constexpr const char* kIdProperty = "controlId";
}

QRect DuRect(int x, int y, int w, int h) {
  int left = DuToPxX(x), top = DuToPxY(y);
  return QRect(left, top, DuToPxX(x + w) - left, DuToPxY(y + h) - top);
}

QFont TemplateFont() {
  QFont font("MS Sans Serif");
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QWidget* FindControl(const QWidget* dialog, int id) {
  if (!dialog || id == 0) return nullptr;
  const auto children = dialog->findChildren<QWidget*>();
  for (QWidget* w : children)
    if (w->property(kIdProperty).toInt() == id) return w;
  return nullptr;
}

int ControlId(const QWidget* control) { return control ? control->property(kIdProperty).toInt() : 0; }

void TemplateBuilder::SetClientSize(int w, int h) { dialog_->setFixedSize(DuToPxX(w), DuToPxY(h)); }

void TemplateBuilder::PlaceWidget(QWidget* widget, int id, int x, int y, int w, int h) {
  widget->setParent(dialog_);
  widget->setGeometry(DuRect(x, y, w, h));
  widget->setFont(dialog_->font());
  if (id != 0) {
    widget->setProperty(kIdProperty, id);
    widget->setObjectName(QString("id%1").arg(id));
  }
}

QPushButton* TemplateBuilder::Button(int id, const char* text, int x, int y, int w, int h, bool defaultButton) {
  auto* b = Place(new QPushButton(QString::fromUtf8(text)), id, x, y, w, h);
  b->setAutoDefault(false);
  b->setDefault(defaultButton);
  return b;
}

QRadioButton* TemplateBuilder::Radio(int id, const char* text, int x, int y, int w, int h) {
  return Place(new QRadioButton(QString::fromUtf8(text)), id, x, y, w, h);
}

QCheckBox* TemplateBuilder::Check(int id, const char* text, int x, int y, int w, int h) {
  return Place(new QCheckBox(QString::fromUtf8(text)), id, x, y, w, h);
}

QLabel* TemplateBuilder::Label(int id, const char* text, int x, int y, int w, int h) {
  return Place(new QLabel(QString::fromUtf8(text)), id, x, y, w, h);
}

QGroupBox* TemplateBuilder::Group(int id, const char* text, int x, int y, int w, int h) {
  auto* g = Place(new QGroupBox(QString::fromUtf8(text)), id, x, y, w, h);
  g->lower();  // a group box frames the controls placed over it
  return g;
}

QLineEdit* TemplateBuilder::Edit(int id, int x, int y, int w, int h) { return Place(new QLineEdit, id, x, y, w, h); }

QComboBox* TemplateBuilder::DropList(int id, int x, int y, int w, int h) {
  // A drop-down list's template height includes its open list; the closed box is one line high.
  auto* c = Place(new QComboBox, id, x, y, w, h);
  c->setGeometry(DuRect(x, y, w, 12));
  return c;
}

int CheckedIndex(const QButtonGroup* group) {
  const auto buttons = group->buttons();
  for (int i = 0; i < buttons.size(); ++i)
    if (buttons[i]->isChecked()) return i;
  return -1;
}

void SetCheckedIndex(QButtonGroup* group, int index) {
  const auto buttons = group->buttons();
  if (index >= 0 && index < buttons.size()) buttons[index]->setChecked(true);
}

}  // namespace quill::gui
