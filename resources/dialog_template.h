// Dialog templates in Qt: controls placed at dialog-unit positions, as the system's templates give them.
// Dialog units are converted with the metrics of the templates' font, MS Sans Serif 8 at 96 dpi: a
// horizontal unit is a quarter of 6 pixels, a vertical unit an eighth of 13 pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quill::gui {

constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// MulDiv-style rounding, as the platform maps dialog rectangles.
constexpr int DuToPxX(int du) { return (du * kBaseUnitX + (du >= 0 ? 2 : -2)) / 4; }
constexpr int DuToPxY(int du) { return (du * kBaseUnitY + (du >= 0 ? 4 : -4)) / 8; }
QRect DuRect(int x, int y, int w, int h);
// The templates' font: "MS Sans Serif" 8 (the system substitutes a sans font that has CJK glyphs).
QFont TemplateFont();

// The control of a dialog with the given identifier (the property "controlId"), or null.
QWidget* FindControl(const QWidget* dialog, int id);
template <class T>
T* Control(const QWidget* dialog, int id) {
  return qobject_cast<T*>(FindControl(dialog, id));
}
// The identifier a control was created with; 0 for none.
int ControlId(const QWidget* control);

// Builds a dialog's controls at dialog-unit positions. Controls without an identifier (static labels and
// group boxes) pass 0. Texts are UTF-8.
class TemplateBuilder {
 public:
  explicit TemplateBuilder(QWidget* dialog) : dialog_(dialog) {}

  // Sizes the dialog's client area (fixed size).
  void SetClientSize(int w, int h);
  QPushButton* Button(int id, const char* text, int x, int y, int w, int h, bool defaultButton = false);
  QRadioButton* Radio(int id, const char* text, int x, int y, int w, int h);
  QCheckBox* Check(int id, const char* text, int x, int y, int w, int h);
  QLabel* Label(int id, const char* text, int x, int y, int w, int h);
  QGroupBox* Group(int id, const char* text, int x, int y, int w, int h);
  QLineEdit* Edit(int id, int x, int y, int w, int h);
  QComboBox* DropList(int id, int x, int y, int w, int h);
  // Places any widget at a dialog-unit rectangle and tags it with its identifier.
  template <class T>
  T* Place(T* widget, int id, int x, int y, int w, int h) {
    PlaceWidget(widget, id, x, y, w, h);
    return widget;
  }

 private:
  void PlaceWidget(QWidget* widget, int id, int x, int y, int w, int h);
  QWidget* dialog_;
};

// A radio group: the buttons in order; the value is the index of the checked button (-1 for none).
int CheckedIndex(const QButtonGroup* group);
void SetCheckedIndex(QButtonGroup* group, int index);

}  // namespace quill::gui
