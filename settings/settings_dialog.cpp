#include "settings/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>

#include "platform/settings_store.h"
#include "platform/text.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "settings/phone_settings.h"
#include "settings/phone_text.h"

namespace quill {
namespace {

constexpr const char* kProtocols[] = {"H323", "SIP", "MGCP"};
constexpr const char* kOutputLevels[] = {"不输出",   "输出信息",       "输出所有数据",
                                         "远程调试", "不检查程序型号", "允许使用Quilltool"};
constexpr const char* kProxyModes[] = {"不使用",       "使用",     "Citron",   "Koncept",
                                       "自动寻找路由", "自动连接", "FIC Proxy"};
constexpr const char* kRemoteAliases[] = {"H323 ID", "E.164"};
constexpr const char* kLocalAliases[] = {"Phone Number", "Full Number", "H323ID", "MAC", "Gateway"};
constexpr const char* kFaststartModes[] = {"不使用", "使用", "H245隧道"};
constexpr const char* kRingTypes[] = {"DTMF", "PCM"};
constexpr const char* kDtmfTypes[] = {"H245 String", "H245 Signal", "Q931 Keypad", "Rfc2833"};
constexpr const char* kAudioTypes[] = {"G711U", "G711A", "G7231", "G729", "G729A", "G729B", "G729AB"};

constexpr int kAudioG7231 = 2;  // the high rate is a G.723.1 setting; VAD applies from G.723.1 on

enum class Ctl { Text, Number, Serial, Check, List, Slider, Address };
enum class Start { Enabled, Greyed, ByRule };

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

// One field of the dialog: its control, the store key it is written to, its limit (bytes of a text in the
// phone's code page, range of a number or slider), the value it opens with and whether it opens enabled.
struct Field {
  int id;
  const char* key;  // null: the user name, written only as part of the composed identifier
  Ctl ctl;
  int min, max;
  uint32_t open;
  const char* openText;
  Start start;
  std::span<const char* const> items = {};
};

constexpr Field Text(int id, const char* key, int maxChars, const char* open, Start start) {
  return {id, key, Ctl::Text, 0, maxChars, 0, open, start};
}
constexpr Field Number(int id, const char* key, int min, int max, int open) {
  return {id, key, Ctl::Number, min, max, static_cast<uint32_t>(open), nullptr, Start::Greyed};
}
constexpr Field Check(int id, const char* key, bool on, Start start) {
  return {id, key, Ctl::Check, 0, 1, on ? 1u : 0u, nullptr, start};
}
constexpr Field List(int id, const char* key, std::span<const char* const> items, int open) {
  return {
      id,      key,           Ctl::List, 0, static_cast<int>(items.size()) - 1, static_cast<uint32_t>(open),
      nullptr, Start::Greyed, items};
}
constexpr Field Slider(int id, const char* key, int max, int open) {
  return {id, key, Ctl::Slider, 0, max, static_cast<uint32_t>(open), nullptr, Start::Enabled};
}
constexpr Field Address(int id, const char* key, uint32_t open, Start start) {
  return {id, key, Ctl::Address, 0, 0, open, nullptr, start};
}

// The factory profile, in field order: OK checks the fields in this order and stops at the first failure.
const Field kFields[] = {
    Text(IDC_PS_PASSWORD, "Password", 15, "8046", Start::Greyed),
    {IDC_PS_SERIAL, "Mac_L", Ctl::Serial, 0, 65535, 0, nullptr, Start::Enabled},
    List(IDC_PS_PROTOCOL, "Protocol", kProtocols, 0),
    Number(IDC_PS_SUBVERSION, "SubVersion", 0, 99, 15),
    Text(IDC_PS_MAC1, "Mac1", 4, "0x02", Start::Greyed),
    Text(IDC_PS_MAC2, "Mac2", 4, "0x1d", Start::Greyed),
    Text(IDC_PS_MAC3, "Mac3", 4, "0x7b", Start::Greyed),
    Text(IDC_PS_MAC4, "Mac4", 4, "0x0a", Start::Greyed),
    Text(IDC_PS_MAC5, "Mac5", 4, "0x00", Start::Greyed),
    Text(IDC_PS_MAC6, "Mac6", 4, "0x00", Start::Greyed),
    Check(IDC_PS_DHCP, "UseDHCP", false, Start::Enabled),
    {IDC_PS_OUTPUT, "Output", Ctl::List, 0, 5, 0, nullptr, Start::Enabled, kOutputLevels},
    Check(IDC_PS_PPPOE, "PPPoE", false, Start::Enabled),
    Text(IDC_PS_PPPOE_ID, "PPPoEID", 23, "", Start::ByRule),
    Text(IDC_PS_PPPOE_PIN, "PPPoEPin", 15, "", Start::ByRule),
    Address(IDC_PS_LOCAL_IP, "LocalIP", Ip(192, 168, 1, 100), Start::ByRule),
    Address(IDC_PS_SUBNET_MASK, "SubnetMask", Ip(255, 255, 255, 0), Start::ByRule),
    Address(IDC_PS_ROUTER_IP, "RouterIP", Ip(192, 168, 1, 1), Start::ByRule),
    Address(IDC_PS_DNS_IP, "DnsIP", Ip(192, 168, 1, 1), Start::ByRule),
    Text(IDC_PS_PPPOE_ID2, "PPPoEID2", 23, "", Start::Greyed),
    Address(IDC_PS_TFTP_IP, "TFTPIP", 0, Start::Greyed),
    List(IDC_PS_PROXY, "UseProxy", kProxyModes, 2),
    Address(IDC_PS_PROXY_IP, "ProxyIP", 0, Start::Greyed),
    Number(IDC_PS_RTP_PORT, "RtpPort", 0, 65535, 6000),
    Number(IDC_PS_Q931_PORT, "Q931Port", 0, 65535, 1730),
    Number(IDC_PS_RAS_PORT, "RasPort", 0, 65535, 1719),
    Number(IDC_PS_H245_PORT, "H245Port", 0, 65535, 1722),
    Check(IDC_PS_USE_GK, "UseGK", false, Start::Greyed),
    Address(IDC_PS_GK_IP, "GKIP", 0, Start::ByRule),
    Text(IDC_PS_GK_ID, "GKID", 24, "", Start::Greyed),
    Number(IDC_PS_SERVICE_PORT, "ServicePort", 0, 65535, 1710),
    Text(IDC_PS_SERVICE_DNS, "ServiceDns", 31, "", Start::Greyed),
    Number(IDC_PS_NETWORK_RETRY, "NetworkRetry", 0, 255, 15),
    List(IDC_PS_REMOTE_ALIAS, "RemoteAlias", kRemoteAliases, 1),
    List(IDC_PS_LOCAL_ALIAS, "LocalAlias", kLocalAliases, 2),
    List(IDC_PS_FASTSTART, "UseFaststart", kFaststartModes, 2),
    Text(IDC_PS_USER_NAME, nullptr, 16, "", Start::Greyed),
    Text(IDC_PS_NUMBER, "PhoneNumber", 15, "0", Start::ByRule),
    Text(IDC_PS_PIN, "Pin", 16, "", Start::Greyed),
    Check(IDC_PS_H235, "UseH235", true, Start::Greyed),
    Check(IDC_PS_AUTO_ANSWER, "UseAutoAnswer", false, Start::Greyed),
    Check(IDC_PS_ABBR_DIAL, "UseAbbrDialPlan", false, Start::Greyed),
    Number(IDC_PS_RING_NUMBER, "RingNumber", 0, 9, 6),
    List(IDC_PS_RING_TYPE, "RingType", kRingTypes, 1),
    List(IDC_PS_DTMF, "DTMFType", kDtmfTypes, 0),
    Number(IDC_PS_FRAMES, "G7231Frames", 0, 8, 2),
    List(IDC_PS_AUDIO_TYPE, "AudioType", kAudioTypes, 3),
    Check(IDC_PS_HIGH_RATE, "UseHighRate", true, Start::ByRule),
    Slider(IDC_PS_MIC_VOL, "MicVol", 15, 9),
    Slider(IDC_PS_SPK_VOL, "SpkVol", 31, 12),
    Slider(IDC_PS_HANDSET_TONE, "HandsetTone", 15, 15),
    Slider(IDC_PS_HANDFREE_INPUT, "HandfreeInput", 15, 7),
    Slider(IDC_PS_RING_VOL, "RingVol", 31, 12),
    Slider(IDC_PS_SPK_TONE, "SpkTone", 15, 15),
    Check(IDC_PS_VAD, "UseVAD", false, Start::ByRule),
    Check(IDC_PS_AGC, "UseAGC", false, Start::Greyed),
    Check(IDC_PS_AEC, "UseAEC", true, Start::Greyed),
    Check(IDC_PS_DIGIT_MAP, "UseDigitMap", false, Start::Greyed),
    Number(IDC_PS_TIMEOUT0, "TimeOut0", 0, 60, 60),
    Number(IDC_PS_TIMEOUT1, "TimeOut1", 0, 60, 60),
    Number(IDC_PS_TIMEOUT2, "TimeOut2", 0, 60, 15),
    {IDC_PS_TEST0, "Test0", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
    {IDC_PS_TEST1, "Test1", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
    {IDC_PS_TEST2, "Test2", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
    {IDC_PS_TEST3, "Test3", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
    {IDC_PS_TEST4, "Test4", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
    {IDC_PS_TEST5, "Test5", Ctl::Number, INT_MIN, INT_MAX, 0, nullptr, Start::Enabled},
};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// A number field's integer; the dialog keeps it in 32 bits, signed or not.
std::optional<long long> FieldInteger(const QString& text) {
  return ParseFieldInteger(text.trimmed().toStdString(), INT_MIN, UINT_MAX);
}

std::string MacText(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte & 0xFF);
  return text;
}

// A text edit's limit is in the phone's bytes (code page 936: two for a Chinese character), the width its
// field has in the settings image, not in characters. A keystroke or paste that would pass the limit, or
// that holds a character the phone cannot show, is refused as a character limit refuses one.
class PhoneTextLimit : public QValidator {
 public:
  PhoneTextLimit(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}
  State validate(QString& input, int&) const override {
    auto bytes = PhoneTextFromUtf8(input.toStdString());
    return bytes && bytes->size() <= static_cast<size_t>(maxBytes_) ? Acceptable : Invalid;
  }

 private:
  int maxBytes_;
};

// Up and down arrows attached to a number edit: each click steps the edit's number by one within the range
// and writes it back into the edit, whose change then runs the edit's own rule.
class UpDownArrows : public QWidget {
 public:
  UpDownArrows(QLineEdit* buddy, int min, int max, std::function<int()> position)
      : buddy_(buddy), min_(min), max_(max), position_(std::move(position)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int delta : {+1, -1}) {
      auto* b = new QToolButton(this);
      b->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setAutoRepeat(true);
      b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
      b->setObjectName(delta > 0 ? "up" : "down");
      connect(b, &QToolButton::clicked, this, [this, delta] { Step(delta); });
      layout->addWidget(b);
    }
  }

  void Step(int delta) {
    int next = std::clamp(position_() + delta, min_, max_);
    buddy_->setText(QString::number(next));
  }

 private:
  QLineEdit* buddy_;
  int min_, max_;
  std::function<int()> position_;
};

// A slider with the tick marks of the phone's level sliders: at both ends and at position 1.
class LevelSlider : public QSlider {
 public:
  LevelSlider() : QSlider(Qt::Horizontal) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QSlider::paintEvent(event);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    int span = groove.width() - handle.width();
    int left = groove.x() + handle.width() / 2;
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::WindowText : QPalette::Mid));
    for (int v : {minimum(), 1, maximum()}) {
      int x = left + QStyle::sliderPositionFromValue(minimum(), maximum(), v, span);
      p.drawLine(x, height() - 4, x, height() - 1);
    }
  }
};

// The six MAC byte edits share one sunken field, like an address control: six framed edits side by side
// would leave too little room for a "0x1d" each.
void MacBytes(gui::TemplateBuilder& t, int x, int y, int w, int h) {
  auto* frame = t.Place(new QFrame, 0, x, y, w, h);
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  frame->setAutoFillBackground(true);
  frame->setBackgroundRole(QPalette::Base);
  frame->setEnabled(false);  // the maker's part of the address is never edited here
  frame->lower();
  const QRect inner = frame->geometry().adjusted(2, 2, -2, -2);
  for (int i = 0; i < 6; ++i) {
    QLineEdit* e = t.Edit(IDC_PS_MAC1 + i, x, y, w, h);
    e->setFrame(false);
    e->setAlignment(Qt::AlignCenter);
    int left = inner.left() + inner.width() * i / 6;
    int right = inner.left() + inner.width() * (i + 1) / 6;
    e->setGeometry(left, inner.top(), right - left, inner.height());
  }
}

// The grid: three label-and-control columns, eighteen rows, in dialog units.
constexpr int kColumnX[3] = {7, 178, 349};
constexpr int kLabelWidth = 70;
constexpr int kControlX = 72;  // from the column's left
constexpr int kControlWidth = 92;
constexpr int kRowHeight = 12;
constexpr int RowY(int row) {
  return 6 + (row - 1) * 18;
}

}  // namespace

CPhoneSettingsDlg::CPhoneSettingsDlg(QWidget* owner, Ui& ui) : QDialog(owner), ui_(ui) {
  setObjectName("PhoneSettingsDialog");
  setWindowTitle(QString::fromUtf8("话机设置"));
  setFont(gui::TemplateFont());
  BuildTemplate();
  OnInitDialog();
}

void CPhoneSettingsDlg::BuildTemplate() {
  gui::TemplateBuilder t(this);
  t.SetClientSize(518, 337);

  auto x = [](int col) { return kColumnX[col - 1]; };
  auto label = [&](int col, int row, const char* text, int dx = 0, int w = kLabelWidth) {
    t.Label(0, text, x(col) + dx, RowY(row), w, kRowHeight);
  };
  auto edit = [&](int col, int row, const char* text, int id) {
    label(col, row, text);
    return t.Edit(id, x(col) + kControlX, RowY(row), kControlWidth, kRowHeight);
  };
  auto list = [&](int col, int row, const char* text, int id) {
    label(col, row, text);
    return t.DropList(id, x(col) + kControlX, RowY(row), kControlWidth, 80);
  };
  auto address = [&](int col, int row, const char* text, int id) {
    label(col, row, text);
    return t.Place(new gui::IpAddressEdit, id, x(col) + kControlX, RowY(row), kControlWidth, kRowHeight);
  };
  auto check = [&](int col, int row, const char* text, int id, int dx = 0,
                   int w = kLabelWidth + kControlWidth) {
    return t.Check(id, text, x(col) + dx, RowY(row) + 1, w, kRowHeight - 2);
  };
  auto slider = [&](int col, int row, const char* text, int id) {
    label(col, row, text);
    return t.Place(new LevelSlider, id, x(col) + kControlX, RowY(row) - 1, kControlWidth, kRowHeight + 3);
  };
  // A row of small edits filling the control area from dx on.
  auto smallEdits = [&](int col, int row, int dx, int firstId, int count) {
    constexpr int kGap = 2;
    int width = (kLabelWidth + kControlWidth - dx - (count - 1) * kGap) / count;
    int left = x(col) + kLabelWidth + kControlWidth - (width * count + kGap * (count - 1));
    for (int i = 0; i < count; ++i)
      t.Edit(firstId + i, left + i * (width + kGap), RowY(row), width, kRowHeight);
  };

  // Row 1: the serial number shares the middle column with the protocol list.
  edit(1, 1, "密码", IDC_PS_PASSWORD);
  label(2, 1, "序号", 0, 24);
  auto* serial = t.Edit(IDC_PS_SERIAL, x(2) + 26, RowY(1), 40, kRowHeight);
  t.Place(new UpDownArrows(serial, 0, 65535, [this] { return serialPosition_; }), IDC_PS_SERIAL_SPIN,
          x(2) + 66, RowY(1), 10, kRowHeight);
  label(2, 1, "协议", 88, 20);
  t.DropList(IDC_PS_PROTOCOL, x(2) + 110, RowY(1), kLabelWidth + kControlWidth - 110, 60);
  edit(3, 1, "子版本号", IDC_PS_SUBVERSION);

  label(1, 2, "本机MAC", 0, 31);
  MacBytes(t, x(1) + 32, RowY(2), kLabelWidth + kControlWidth - 32, kRowHeight);
  check(2, 2, "使用DHCP", IDC_PS_DHCP);
  list(3, 2, "调试级别", IDC_PS_OUTPUT);

  check(1, 3, "PPPOE", IDC_PS_PPPOE);
  edit(2, 3, "PPPOE账户", IDC_PS_PPPOE_ID);
  edit(3, 3, "PPPOE密码", IDC_PS_PPPOE_PIN);

  address(1, 4, "本机IP地址", IDC_PS_LOCAL_IP);
  address(2, 4, "子网掩码", IDC_PS_SUBNET_MASK);
  address(3, 4, "路由IP地址", IDC_PS_ROUTER_IP);

  address(1, 5, "Dns IP地址", IDC_PS_DNS_IP);
  edit(2, 5, "PPPOE账户2", IDC_PS_PPPOE_ID2);
  address(3, 5, "TFTP", IDC_PS_TFTP_IP);

  list(1, 6, "使用代理服务器", IDC_PS_PROXY);
  address(2, 6, "代理服务器IP地址", IDC_PS_PROXY_IP);
  edit(3, 6, "RTP udp端口", IDC_PS_RTP_PORT);

  edit(1, 7, "Q931 tcp端口", IDC_PS_Q931_PORT);
  edit(2, 7, "RAS udp端口", IDC_PS_RAS_PORT);
  edit(3, 7, "H245 tcp端口", IDC_PS_H245_PORT);

  check(1, 8, "使用运营商服务", IDC_PS_USE_GK);
  address(2, 8, "关守IP地址", IDC_PS_GK_IP);
  edit(3, 8, "关守ID", IDC_PS_GK_ID);

  edit(1, 9, "Service端口", IDC_PS_SERVICE_PORT);
  edit(2, 9, "Service DNS", IDC_PS_SERVICE_DNS);
  edit(3, 9, "网络重传间隔", IDC_PS_NETWORK_RETRY);

  list(1, 10, "远端别名", IDC_PS_REMOTE_ALIAS);
  list(2, 10, "本地别名", IDC_PS_LOCAL_ALIAS);
  list(3, 10, "快速启动", IDC_PS_FASTSTART);

  edit(1, 11, "用户名", IDC_PS_USER_NAME);
  edit(2, 11, "号码", IDC_PS_NUMBER);
  edit(3, 11, "密码", IDC_PS_PIN);

  check(1, 12, "Use H235", IDC_PS_H235);
  check(2, 12, "自动应答", IDC_PS_AUTO_ANSWER);
  check(3, 12, "缩位拨号", IDC_PS_ABBR_DIAL);

  edit(1, 13, "振铃次数", IDC_PS_RING_NUMBER);
  list(2, 13, "振铃音类型", IDC_PS_RING_TYPE);
  list(3, 13, "DTMF发送方式", IDC_PS_DTMF);

  edit(1, 14, "缺省帧数", IDC_PS_FRAMES);
  list(2, 14, "音频编码方式", IDC_PS_AUDIO_TYPE);
  check(3, 14, "g.723.1使用高码率", IDC_PS_HIGH_RATE);

  slider(1, 15, "话筒输入", IDC_PS_MIC_VOL);
  slider(2, 15, "听筒输出", IDC_PS_SPK_VOL);
  slider(3, 15, "听筒拨号音音量", IDC_PS_HANDSET_TONE);

  slider(1, 16, "免提输入", IDC_PS_HANDFREE_INPUT);
  slider(2, 16, "喇叭输出", IDC_PS_RING_VOL);
  slider(3, 16, "扬声器拨号音音量", IDC_PS_SPK_TONE);

  check(1, 17, "g.723.1和g.729使用VAD", IDC_PS_VAD);
  check(2, 17, "AGC", IDC_PS_AGC);
  check(3, 17, "AEC", IDC_PS_AEC);

  check(1, 18, "规则呼叫", IDC_PS_DIGIT_MAP, 0, 44);
  label(1, 18, "拨号时长", 46, 32);
  smallEdits(1, 18, 80, IDC_PS_TIMEOUT0, 3);
  label(2, 18, "Test", 0, 20);
  smallEdits(2, 18, 22, IDC_PS_TEST0, 6);
  auto* ok = t.Button(IDC_PS_OK, "确定", x(3) + 50, RowY(18) - 1, 54, kRowHeight + 2, true);
  auto* cancel = t.Button(IDC_PS_CANCEL, "取消", x(3) + 108, RowY(18) - 1, 54, kRowHeight + 2);
  connect(ok, &QPushButton::clicked, this, &CPhoneSettingsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CPhoneSettingsDlg::reject);
}

void CPhoneSettingsDlg::OnInitDialog() {
  for (const Field& f : kFields) {
    QWidget* c = gui::FindControl(this, f.id);
    switch (f.ctl) {
      case Ctl::Text: {
        auto* e = static_cast<QLineEdit*>(c);
        e->setMaxLength(f.max);  // no character takes less than a byte
        e->setValidator(new PhoneTextLimit(f.max, e));
        e->setText(QString::fromUtf8(f.openText));
        break;
      }
      case Ctl::Number:
        static_cast<QLineEdit*>(c)->setText(QString::number(static_cast<int>(f.open)));
        break;
      case Ctl::Serial:
        break;
      case Ctl::Check:
        static_cast<QCheckBox*>(c)->setChecked(f.open != 0);
        break;
      case Ctl::List: {
        auto* box = static_cast<QComboBox*>(c);
        for (const char* item : f.items) box->addItem(QString::fromUtf8(item));
        box->setCurrentIndex(static_cast<int>(f.open));
        break;
      }
      case Ctl::Slider: {
        auto* s = static_cast<QSlider*>(c);
        s->setRange(f.min, f.max);
        s->setValue(static_cast<int>(f.open));
        break;
      }
      case Ctl::Address:
        static_cast<gui::IpAddressEdit*>(c)->SetAddress(f.open);
        break;
    }
    if (f.start == Start::Greyed) c->setEnabled(false);
  }

  // Only the serial number and the test values come from the store; MAC bytes 5 and 6 follow the serial
  // number as soon as its rule runs below.
  auto* mac5 = gui::Control<QLineEdit>(this, IDC_PS_MAC5);
  auto* mac6 = gui::Control<QLineEdit>(this, IDC_PS_MAC6);
  mac5->setText(Q(ReadPhoneText("Mac5", "0x00")));
  mac6->setText(Q(ReadPhoneText("Mac6", "0x00")));
  const int serial = ReadPhoneInt("Mac_L", 0);
  if (serial >= 0 && serial <= 65535) serialPosition_ = serial;
  gui::Control<QLineEdit>(this, IDC_PS_SERIAL)->setText(QString::number(serial));
  for (int i = 0; i < 6; ++i) {
    std::string key = "Test" + std::to_string(i);
    gui::Control<QLineEdit>(this, IDC_PS_TEST0 + i)->setText(QString::number(ReadPhoneInt(key, 0)));
  }

  connect(gui::Control<QCheckBox>(this, IDC_PS_USE_GK), &QCheckBox::toggled, this,
          &CPhoneSettingsDlg::OnUseGatekeeper);
  connect(gui::Control<QCheckBox>(this, IDC_PS_DHCP), &QCheckBox::toggled, this, &CPhoneSettingsDlg::OnDhcp);
  connect(gui::Control<QComboBox>(this, IDC_PS_AUDIO_TYPE), &QComboBox::currentIndexChanged, this,
          &CPhoneSettingsDlg::OnAudioType);
  connect(gui::Control<QCheckBox>(this, IDC_PS_PPPOE), &QCheckBox::toggled, this,
          &CPhoneSettingsDlg::OnPppoe);
  connect(gui::Control<QLineEdit>(this, IDC_PS_SERIAL), &QLineEdit::textChanged, this,
          &CPhoneSettingsDlg::OnSerialChanged);

  OnUseGatekeeper();
  OnDhcp();
  OnAudioType();
  OnPppoe();
  OnSerialChanged();
}

void CPhoneSettingsDlg::OnUseGatekeeper() {
  bool on = gui::Control<QCheckBox>(this, IDC_PS_USE_GK)->isChecked();
  gui::FindControl(this, IDC_PS_GK_IP)->setEnabled(on);
  gui::FindControl(this, IDC_PS_NUMBER)->setEnabled(on);
}

void CPhoneSettingsDlg::OnDhcp() {
  bool manual = !gui::Control<QCheckBox>(this, IDC_PS_DHCP)->isChecked();
  for (int id : {IDC_PS_LOCAL_IP, IDC_PS_ROUTER_IP, IDC_PS_DNS_IP, IDC_PS_SUBNET_MASK})
    gui::FindControl(this, id)->setEnabled(manual);
}

void CPhoneSettingsDlg::OnAudioType() {
  int codec = gui::Control<QComboBox>(this, IDC_PS_AUDIO_TYPE)->currentIndex();
  gui::FindControl(this, IDC_PS_VAD)->setEnabled(codec > 1);
  gui::FindControl(this, IDC_PS_HIGH_RATE)->setEnabled(codec == kAudioG7231);
}

void CPhoneSettingsDlg::OnPppoe() {
  bool on = gui::Control<QCheckBox>(this, IDC_PS_PPPOE)->isChecked();
  gui::FindControl(this, IDC_PS_PPPOE_ID)->setEnabled(on);
  gui::FindControl(this, IDC_PS_PPPOE_PIN)->setEnabled(on);
}

void CPhoneSettingsDlg::OnSerialChanged() {
  // The arrows keep their position while the text is no serial number; the MAC bytes follow the position.
  auto n = FieldInteger(gui::Control<QLineEdit>(this, IDC_PS_SERIAL)->text());
  if (n && *n >= 0 && *n <= 65535) serialPosition_ = static_cast<int>(*n);
  gui::Control<QLineEdit>(this, IDC_PS_MAC5)->setText(Q(MacText(serialPosition_ / 256)));
  gui::Control<QLineEdit>(this, IDC_PS_MAC6)->setText(Q(MacText(serialPosition_ % 256)));
}

bool CPhoneSettingsDlg::Fail(QWidget* control, const std::string& message) {
  ui_.Message(message);
  control->setFocus();
  if (auto* e = qobject_cast<QLineEdit*>(control)) e->selectAll();
  return false;
}

bool CPhoneSettingsDlg::TakeValues(std::vector<TakenValue>& out) {
  std::string userName, number;
  for (const Field& f : kFields) {
    QWidget* c = gui::FindControl(this, f.id);
    Value value;
    switch (f.ctl) {
      case Ctl::Text: {
        // Stored as the phone's bytes, as the texts imported from a phone are: the image carries them as
        // they are. Only a program can have put a longer text in the edit; it is cut between characters.
        auto bytes = PhoneTextFromUtf8(static_cast<QLineEdit*>(c)->text().toStdString());
        if (!bytes) return Fail(c, "The phone can not show every character of this text.");
        bytes->resize(PhoneTextCut(*bytes, static_cast<size_t>(f.max)));
        value = std::move(*bytes);
        break;
      }
      case Ctl::Number: {
        auto n = FieldInteger(static_cast<QLineEdit*>(c)->text());
        if (!n || *n > INT_MAX) return Fail(c, kEnterIntegerMessage);
        if (*n < f.min || *n > f.max) return Fail(c, RangeMessage(f.min, f.max));
        value = static_cast<int>(*n);
        break;
      }
      case Ctl::Serial: {
        auto n = FieldInteger(static_cast<QLineEdit*>(c)->text());
        if (!n || *n < 0) return Fail(c, kEnterPositiveIntegerMessage);
        if (*n > f.max) return Fail(c, RangeMessage(f.min, f.max));
        value = static_cast<int>(*n);
        break;
      }
      case Ctl::Check:
        value = static_cast<QCheckBox*>(c)->isChecked() ? 1 : 0;
        break;
      case Ctl::List:
        value = static_cast<QComboBox*>(c)->currentIndex();
        break;
      case Ctl::Slider:
        value = static_cast<QSlider*>(c)->value();
        break;
      case Ctl::Address:
        value = static_cast<int>(static_cast<gui::IpAddressEdit*>(c)->Address());
        break;
    }
    if (f.id == IDC_PS_USER_NAME) userName = std::get<std::string>(value);
    if (f.id == IDC_PS_NUMBER) number = std::get<std::string>(value);
    if (f.key) out.push_back({f.key, std::move(value)});
  }
  // The phone registers under one identifier for both the H.323 side and the service account.
  std::string identifier = userName + "@" + number;
  out.push_back({"H323ID", identifier});
  out.push_back({"Account", identifier});
  return true;
}

void CPhoneSettingsDlg::accept() {
  std::vector<TakenValue> values;
  if (!TakeValues(values)) return;
  SettingsStore::Batch batch;
  for (const auto& v : values) {
    if (const int* i = std::get_if<int>(&v.value))
      batch.WriteInt(kPhoneSettingsSection, v.key, *i);
    else
      batch.WriteString(kPhoneSettingsSection, v.key, std::get<std::string>(v.value));
  }
  // Values that did not reach the store would not reach the phone either: the next build reads the store.
  // The dialog stays open with what the user typed, so OK can be pressed again once the store is mended.
  if (StoreResult saved = batch.Commit(); !saved) {
    ui_.Message(saved.Message());
    return;
  }
  QDialog::accept();
}

bool RunPhoneSettingsDialog(QWidget* owner, Ui& ui) {
  CPhoneSettingsDlg dialog(owner, ui);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace quill
