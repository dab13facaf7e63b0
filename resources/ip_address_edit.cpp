#include "resources/ip_address_edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace quill::gui {
namespace {

// Moves to the next field after three digits or a dot, as the platform's control does.
class OctetEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  QLineEdit* next = nullptr;
  QLineEdit* previous = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if ((e->text() == "." || e->key() == Qt::Key_Period) && next) {
      if (!text().isEmpty()) {
        next->setFocus();
        next->selectAll();
      }
      return;
    }
    if (e->key() == Qt::Key_Backspace && cursorPosition() == 0 && previous) {
      previous->setFocus();
      previous->end(false);
      return;
    }
    QLineEdit::keyPressEvent(e);
    if (next && text().size() == 3 && cursorPosition() == 3 && !e->text().isEmpty() && e->text()[0].isDigit()) {
      next->setFocus();
      next->selectAll();
    }
  }
};

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(0);
  OctetEdit* previous = nullptr;
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto* edit = new OctetEdit(this);
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignCenter);
    edit->setMaxLength(3);
    edit->setValidator(new QIntValidator(0, 255, edit));
    edit->setObjectName(QString("octet%1").arg(i));
    connect(edit, &QLineEdit::textChanged, this, &IpAddressEdit::FieldChanged);
    if (previous) {
      previous->next = edit;
      edit->previous = previous;
      auto* dot = new QLabel(".", this);
      dot->setBackgroundRole(QPalette::Base);
      layout->addWidget(dot);
    }
    layout->addWidget(edit, 1);
    fields_[i] = edit;
    previous = edit;
  }
  // The field draws a sunken frame like an edit control.
  setStyleSheet("quill--gui--IpAddressEdit { border: 1px solid palette(mid); }");
}

std::array<int, 4> IpAddressEdit::Octets() const {
  std::array<int, 4> out{};
  for (size_t i = 0; i < fields_.size(); ++i) {
    int v = fields_[i]->text().toInt();
    out[i] = v < 0 ? 0 : (v > 255 ? 255 : v);
  }
  return out;
}

uint32_t IpAddressEdit::Address() const {
  auto o = Octets();
  return (static_cast<uint32_t>(o[0]) << 24) | (static_cast<uint32_t>(o[1]) << 16) |
         (static_cast<uint32_t>(o[2]) << 8) | static_cast<uint32_t>(o[3]);
}

void IpAddressEdit::SetAddress(uint32_t address) {
  for (size_t i = 0; i < fields_.size(); ++i)
    fields_[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

bool IpAddressEdit::IsBlank() const {
  for (auto* f : fields_)
    if (!f->text().isEmpty()) return false;
  return true;
}

void IpAddressEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange)
    for (auto* f : fields_) f->setEnabled(isEnabled());
  QWidget::changeEvent(event);
}

}  // namespace quill::gui
