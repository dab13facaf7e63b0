// The phone settings dialog "话机设置". It opens with the factory profile, not with the stored values:
// only the serial number (the last two MAC bytes) and the six test values come from the store. Most of
// the profile is greyed; OK writes every field into section "PhoneSettings", so OK always resets the
// stored profile to the factory values apart from the editable fields. The dialog never touches an image.
#pragma once

#include <QDialog>
#include <QWidget>
#include <string>
#include <variant>
#include <vector>

#include "platform/ui.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace quill {

// Control identifiers of the template, in the order of the fields (the order OK checks them in).
enum PhoneSettingsControl : int {
  IDC_PS_OK = 1,
  IDC_PS_CANCEL = 2,
  IDC_PS_PASSWORD = 1101,
  IDC_PS_SERIAL,
  IDC_PS_SERIAL_SPIN,
  IDC_PS_PROTOCOL,
  IDC_PS_SUBVERSION,
  IDC_PS_MAC1,
  IDC_PS_MAC2,
  IDC_PS_MAC3,
  IDC_PS_MAC4,
  IDC_PS_MAC5,
  IDC_PS_MAC6,
  IDC_PS_DHCP,
  IDC_PS_OUTPUT,
  IDC_PS_PPPOE,
  IDC_PS_PPPOE_ID,
  IDC_PS_PPPOE_PIN,
  IDC_PS_LOCAL_IP,
  IDC_PS_SUBNET_MASK,
  IDC_PS_ROUTER_IP,
  IDC_PS_DNS_IP,
  IDC_PS_PPPOE_ID2,
  IDC_PS_TFTP_IP,
  IDC_PS_PROXY,
  IDC_PS_PROXY_IP,
  IDC_PS_RTP_PORT,
  IDC_PS_Q931_PORT,
  IDC_PS_RAS_PORT,
  IDC_PS_H245_PORT,
  IDC_PS_USE_GK,
  IDC_PS_GK_IP,
  IDC_PS_GK_ID,
  IDC_PS_SERVICE_PORT,
  IDC_PS_SERVICE_DNS,
  IDC_PS_NETWORK_RETRY,
  IDC_PS_REMOTE_ALIAS,
  IDC_PS_LOCAL_ALIAS,
  IDC_PS_FASTSTART,
  IDC_PS_USER_NAME,
  IDC_PS_NUMBER,
  IDC_PS_PIN,
  IDC_PS_H235,
  IDC_PS_AUTO_ANSWER,
  IDC_PS_ABBR_DIAL,
  IDC_PS_RING_NUMBER,
  IDC_PS_RING_TYPE,
  IDC_PS_DTMF,
  IDC_PS_FRAMES,
  IDC_PS_AUDIO_TYPE,
  IDC_PS_HIGH_RATE,
  IDC_PS_MIC_VOL,
  IDC_PS_SPK_VOL,
  IDC_PS_HANDSET_TONE,
  IDC_PS_HANDFREE_INPUT,
  IDC_PS_RING_VOL,
  IDC_PS_SPK_TONE,
  IDC_PS_VAD,
  IDC_PS_AGC,
  IDC_PS_AEC,
  IDC_PS_DIGIT_MAP,
  IDC_PS_TIMEOUT0,
  IDC_PS_TIMEOUT1,
  IDC_PS_TIMEOUT2,
  IDC_PS_TEST0,
  IDC_PS_TEST1,
  IDC_PS_TEST2,
  IDC_PS_TEST3,
  IDC_PS_TEST4,
  IDC_PS_TEST5,
};

class CPhoneSettingsDlg : public QDialog {
  Q_OBJECT
 public:
  CPhoneSettingsDlg(QWidget* owner, Ui& ui);

  // OK: takes and checks every value; on the first failing field shows the standard message, gives that
  // field the focus and stays open with nothing written. Otherwise writes the store and closes; when the
  // store cannot be written it says so (the store file and the reason) and stays open with the values.
  // Texts are stored in the phone's code page 936; their edits are limited in its bytes.
  void accept() override;

 private:
  using Value = std::variant<int, std::string>;
  struct TakenValue {
    std::string key;
    Value value;
  };

  void BuildTemplate();
  void OnInitDialog();
  void OnUseGatekeeper();
  void OnDhcp();
  void OnAudioType();
  void OnPppoe();
  void OnSerialChanged();
  // The values of every field in field order; false after a failing field was reported.
  bool TakeValues(std::vector<TakenValue>& out);
  bool Fail(QWidget* control, const std::string& message);

  Ui& ui_;
  int serialPosition_ = 0;  // the arrows' position: the last serial number that was a valid one
};

// Runs the dialog modally over owner; true when it was closed with OK (the store then holds its values).
bool RunPhoneSettingsDialog(QWidget* owner, Ui& ui);

}  // namespace quill
