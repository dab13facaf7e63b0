// The IP-address control: four octet fields separated by dots. Its value is one 32-bit integer whose most
// significant byte is the first octet (192.168.1.100 is 0xC0A80164), the control's own format.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;

namespace quill::gui {

class IpAddressEdit : public QWidget {
  Q_OBJECT
 public:
  explicit IpAddressEdit(QWidget* parent = nullptr);

  uint32_t Address() const;
  void SetAddress(uint32_t address);
  // The four octets as shown; an empty field counts as 0.
  std::array<int, 4> Octets() const;
  bool IsBlank() const;
  QLineEdit* Field(int i) const { return fields_[static_cast<size_t>(i)]; }

 signals:
  void FieldChanged();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  std::array<QLineEdit*, 4> fields_{};
};

}  // namespace quill::gui
