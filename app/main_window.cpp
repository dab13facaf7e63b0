#include "app/main_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "app/fleet_window.h"
#include "app/udp_audio.h"
#include "debugmon/monitor_thread.h"
#include "filetools/audio_tools.h"
#include "filetools/file_convert_dialog.h"
#include "link/maintenance_commands.h"
#include "link/maintenance_link.h"
#include "platform/paths.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/dialog_template.h"
#include "resources/ip_address_edit.h"
#include "resources/string_table.h"
#include "webgen/generate_http_dialog.h"

namespace quill {

const int kPageRadioIds[16] = {1021, 1022, 1023, 1024, 1028, 1030, 1034, 1036,
                               1042, 1045, 1048, 1051, 1054, 1057, 1060, 1063};
const int kChipRadioIds[5] = {1011, 1025, 1058, 1040, 1061};

namespace {

constexpr int kPlainHeight = 138;
constexpr int kFullHeight = 366;
constexpr int kCodecG7231Length = 558816;  // SDRAM length to export with G.723.1
constexpr int kCodecG729Length = 519092;   // and with G.729

// The compiler run of the "测试" button, as the firmware work tree expects it.
constexpr const char* kCompilerCommand[] = {"C:\\FSI\\BIN\\C51.EXE", "C:\\ZEDIZA323\\G729\\MAIN.C",
                                            "OBJECT(C:\\ZEDIZA323\\G729\\MAIN.OBJ)",
                                            "PIN(C:\\FSI\\INC;C:\\ZEDIZA323\\INC)"};

// Every "X:\..." path inside an argument goes through the drive map; the rest stays as written.
std::string MapPathsIn(const std::string& argument) {
  std::string out;
  size_t i = 0;
  while (i < argument.size()) {
    bool drive = i + 2 < argument.size() && std::isalpha(static_cast<unsigned char>(argument[i])) &&
                 argument[i + 1] == ':' && argument[i + 2] == '\\' &&
                 (i == 0 || argument[i - 1] == '(' || argument[i - 1] == ';');
    if (!drive) {
      out += argument[i++];
      continue;
    }
    size_t end = argument.find_first_of(";)", i);
    if (end == std::string::npos) end = argument.size();
    out += MapWindowsPath(argument.substr(i, end - i));
    i = end;
  }
  return out;
}

}  // namespace

std::vector<std::string> CompilerCommandLine() {
  std::vector<std::string> line;
  for (const char* part : kCompilerCommand) line.push_back(MapPathsIn(part));
  return line;
}

void LaunchWebSetup(Launcher& launcher, const std::string& dottedAddress) {
  launcher.Start("xdg-open", {"http://" + dottedAddress + "/"});
}

void LaunchTelnetSetup(Launcher& launcher, const std::string& dottedAddress) {
  launcher.Start("x-terminal-emulator", {"-e", "telnet", dottedAddress});
}

MainWindow::MainWindow(Ui& ui, Launcher& launcher, MainWindowOptions options, QWidget* parent)
    : QDialog(parent),
      ui_(ui),
      launcher_(launcher),
      link_(std::make_unique<CMaintenanceLink>(ui)),
      commands_(std::make_unique<CMaintenanceCommands>(ui, *link_, *this)) {
  setObjectName("MainWindow");
  setWindowTitle("Updating Tool");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(gui::TemplateFont());
  QIcon icon;
  icon.addFile(":/quill/icon32.png");
  icon.addFile(":/quill/icon128.png");
  setWindowIcon(icon);
  BuildVisibleControls();
  BuildHiddenControls();
  // Enter presses the focused push button, as in the platform's dialogs; elsewhere it presses the
  // template's default button ("话机设置"), which Qt leaves alone while it is hidden (the plain look).
  for (auto* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  auto* toggle = new QShortcut(QKeySequence("Ctrl+Shift+F"), this);
  connect(toggle, &QShortcut::activated, this, [this] { SetFullLook(!full_); });
  OnOpen();
  SetFullLook(options.full);
}

MainWindow::~MainWindow() {
  // Whatever is still running ends with the window: no thread outlives its owner.
  StopUdpDebug();
  CCdrDebugThread::Stop(cdr_);
  commands_.reset();
  link_.reset();
}

QPushButton* MainWindow::Button(int id) const {
  return gui::Control<QPushButton>(this, id);
}

void MainWindow::BuildVisibleControls() {
  gui::TemplateBuilder t(this);
  t.Group(0, "Phone IP Address", 0, 9, 104, 44);
  ipField_ = t.Place(new gui::IpAddressEdit, IDC_IP_ADDRESS, 5, 27, 90, 15);
  // The field's change notifications are answered with nothing: the value is read when a command runs.
  auto bind = [this](QAbstractButton* b, int id) {
    connect(b, &QAbstractButton::clicked, this, [this, id] { RunCommand(id); });
  };
  bind(t.Button(IDC_TEST, "Test", 115, 16, 70, 39), IDC_TEST);
  bind(t.Button(IDC_UPDATE_PROGRAM, "     Step1\n Update Program", 14, 88, 70, 43), IDC_UPDATE_PROGRAM);
  bind(t.Button(IDC_UPDATE_BOOT, "   Step2\nUpdate Boot", 113, 88, 70, 43), IDC_UPDATE_BOOT);
  bind(t.Button(IDC_RESTORE_FACTORY, "     Step3\nRestore Factory", 212, 88, 70, 43), IDC_RESTORE_FACTORY);
  bind(t.Button(IDC_EXIT, "Exit", 311, 88, 70, 43), IDC_EXIT);
}

void MainWindow::BuildHiddenControls() {
  // The template keeps these hidden; the full look shows them below the plain window, in the template's
  // groups. The flag says whether the template also disables the control.
  gui::TemplateBuilder t(this);
  auto hide = [this](QWidget* w, bool disabled) {
    hidden_[w] = disabled;
    return w;
  };
  auto bind = [this](QAbstractButton* b, int id) {
    connect(b, &QAbstractButton::clicked, this, [this, id] { RunCommand(id); });
    return b;
  };

  hide(t.Group(0, "PFlash Page", 0, 142, 196, 68), false);
  pageGroup_ = new QButtonGroup(this);
  for (int p = 0; p < 16; ++p) {
    std::string text = "Page " + std::to_string(p);
    auto* r = t.Radio(kPageRadioIds[p], text.c_str(), 6 + (p % 4) * 47, 153 + (p / 4) * 13, 44, 12);
    pageGroup_->addButton(r, p);
    hide(r, false);
  }
  hide(t.Group(0, "PFlash型号", 200, 142, 196, 68), true);
  chipGroup_ = new QButtonGroup(this);
  const char* chips[5] = {"AM29LV008B", "AM29LV002T", "AM29F040", "AM29LV004T", "AM29LV008T"};
  for (int c = 0; c < 5; ++c) {
    auto* r = t.Radio(kChipRadioIds[c], chips[c], 206 + (c / 3) * 95, 153 + (c % 3) * 15, 88, 12);
    chipGroup_->addButton(r, c);
    hide(r, true);
  }

  hide(t.Group(0, "音频编码设置", 0, 212, 196, 96), false);
  codecList_ = t.DropList(IDC_CODEC_LIST, 6, 223, 184, 80);
  hide(codecList_, true);
  connect(codecList_, &QComboBox::currentIndexChanged, this, [this](int) { OnCodecChange(); });
  struct Check {
    int id;
    const char* text;
    int x, y;
    QCheckBox** field;
  };
  const Check checks[] = {
      {IDC_REALTIME, "实时解码播放", 6, 240, &realtime_},
      {IDC_REALTIME_OUT, "实时编码发送", 6, 254, &realtimeOut_},
      {IDC_SAVE_FILE, "收到的数据存文件", 6, 268, &saveFile_},
      {IDC_NO_ACM, "不使用windows acm驱动", 82, 240, &noAcm_},
      {IDC_USE_VAD, "g.729和g.723.1使用VAD", 82, 254, &useVad_},
      {IDC_USE_HIGH_RATE, "g.723.1使用高码率", 82, 268, &useHighRate_},
  };
  for (const auto& c : checks) {
    *c.field = t.Check(c.id, c.text, c.x, c.y, c.x < 80 ? 74 : 110, 12);
    hide(*c.field, true);
  }
  connect(noAcm_, &QCheckBox::clicked, this, [this] { OnCodecChange(); });
  hide(bind(t.Button(IDC_UDP_AUDIO, "开始音频Udp", 6, 287, 80, 14), IDC_UDP_AUDIO), true);

  hide(t.Group(0, "通讯方式", 200, 212, 96, 36), true);
  linkGroup_ = new QButtonGroup(this);
  auto* serial = t.Radio(IDC_LINK_SERIAL, "串口", 206, 226, 40, 12);
  auto* tcpip = t.Radio(IDC_LINK_TCPIP, "TCP/IP", 248, 226, 44, 12);
  linkGroup_->addButton(serial, 0);
  linkGroup_->addButton(tcpip, 1);
  hide(serial, true);
  hide(tcpip, true);
  connect(serial, &QRadioButton::clicked, this, [this] { OnLinkChange(); });
  connect(tcpip, &QRadioButton::clicked, this, [this] { OnLinkChange(); });

  hide(t.Group(0, "串口选择", 300, 212, 96, 36), true);
  portGroup_ = new QButtonGroup(this);
  auto* com1 = t.Radio(IDC_COM1, "COM&1", 306, 226, 40, 12);
  auto* com2 = t.Radio(IDC_COM2, "COM&2", 348, 226, 44, 12);
  portGroup_->addButton(com1, 0);
  portGroup_->addButton(com2, 1);
  // The device each port opens on this machine (the COM port map; `quilltool ports` lists and maps them).
  com1->setToolTip(QString::fromStdString(ComPortDevice("COM1")));
  com2->setToolTip(QString::fromStdString(ComPortDevice("COM2")));
  hide(com1, false);
  hide(com2, false);

  hide(t.Label(0, "升级 IP地址:", 200, 254, 60, 10), true);
  hide(t.Label(IDC_LABEL_1236, "", 264, 254, 60, 10), false);
  hide(t.Label(0, "导出Sdram长度： ", 200, 268, 70, 10), true);
  sdramLength_ = t.Edit(IDC_SDRAM_LENGTH, 272, 266, 60, 12);
  hide(sdramLength_, true);
  auto* picture = t.Label(0, "", 350, 250, 40, 40);
  picture->setPixmap(QIcon(":/quill/icon128.png").pixmap(32, 32));
  hide(picture, true);

  struct Command {
    int id;
    const char* text;
    bool disabled;
  };
  const Command buttons[] = {
      {IDC_PHONE_SETTINGS, "话机设置", false},
      {IDC_LOAD_SDRAM, "载入Sdram", true},
      {IDC_SAVE_SDRAM, "导出Sdram", true},
      {IDC_DEBUG, "开始调试", true},
      {IDC_FILE_TOOLS, "转换文件", true},
      {IDC_COMPILER, "测试", true},
      {IDC_CDR, "开始CDR", true},
      {IDC_UPDATE_DIGIT_MAP, "更新呼叫规则", true},
      {IDC_UPDATE_HOLD, "更新提示音", true},
      {IDC_UPDATE_ALTERNATE, "更新附加设置", true},
      {IDC_GENERATE_HTTP, "产生HTTP文件", true},
      {IDC_STEP4, "   第四步\n调整用户参数", true},
  };
  for (size_t i = 0; i < std::size(buttons); ++i) {
    const auto& b = buttons[i];
    int x = static_cast<int>(i % 6) * 66, y = 314 + static_cast<int>(i / 6) * 26;
    auto* button = t.Button(b.id, b.text, x, y, 62, 22, b.id == IDC_PHONE_SETTINGS);
    bind(button, b.id);
    hide(button, b.disabled);
  }
}

void MainWindow::SetFullLook(bool full) {
  full_ = full;
  gui::TemplateBuilder(this).SetClientSize(396, full ? kFullHeight : kPlainHeight);
  for (auto& [widget, disabled] : hidden_) {
    widget->setVisible(full);
    // In the plain look the template's disabled controls stay disabled; the full look makes every
    // control usable, then the enabling rules below decide.
    if (disabled) widget->setEnabled(full);
  }
  if (full) {
    OnCodecChange();
    OnLinkChange();
    if (DebugRunning()) SetDebugLook(true);
    if (udpAudioRunning_) {
      codecList_->setEnabled(false);
      ipField_->setEnabled(false);
    }
  }
}

void MainWindow::OnOpen() {
  // Page 0 and chip type 4 always; the IP field always opens with 192.168.1.100.
  values_ = LoadToolOptions();
  codecList_->blockSignals(true);
  codecList_->clear();
  for (int i = 0; i < kCodecTypeCount; ++i) codecList_->addItem(QString::fromUtf8(CodecTypeName(i)));
  codecList_->blockSignals(false);
  CopyValuesToControls();
  OnCodecChange();
  OnLinkChange();
  workingDirectory_ = QDir::currentPath().toStdString();
}

bool MainWindow::CopyControlsToValues(bool validate) {
  values_.ipField = ipField_->Address();
  values_.codecType = codecList_->currentIndex() < 0 ? 0 : codecList_->currentIndex();
  values_.serialPortIndex = gui::CheckedIndex(portGroup_) == 1 ? 1 : 0;
  values_.saveFile = saveFile_->isChecked();
  values_.realtime = realtime_->isChecked();
  values_.noAcm = noAcm_->isChecked();
  values_.realtimeOut = realtimeOut_->isChecked();
  values_.flashPage = std::max(0, gui::CheckedIndex(pageGroup_));
  values_.chipType = std::max(0, gui::CheckedIndex(chipGroup_));
  values_.linkType = gui::CheckedIndex(linkGroup_) == 0 ? 0 : 1;
  values_.useHighRate = useHighRate_->isChecked();
  values_.useVad = useVad_->isChecked();
  const std::optional<long long> length = ParseFieldInteger(sdramLength_->text().trimmed().toStdString());
  if (!length || !SdramLengthInRange(*length)) {
    if (!validate) return false;
    ui_.Message(length ? RangeMessage(0, kMaxSdramLength) : std::string(kEnterIntegerMessage));
    sdramLength_->setFocus();
    sdramLength_->selectAll();
    return false;
  }
  values_.sdramLength = static_cast<int>(*length);
  return true;
}

void MainWindow::CopyValuesToControls() {
  ipField_->SetAddress(values_.ipField);
  codecList_->blockSignals(true);
  codecList_->setCurrentIndex(
      values_.codecType >= 0 && values_.codecType < kCodecTypeCount ? values_.codecType : -1);
  codecList_->blockSignals(false);
  gui::SetCheckedIndex(portGroup_, values_.serialPortIndex);
  saveFile_->setChecked(values_.saveFile != 0);
  realtime_->setChecked(values_.realtime != 0);
  noAcm_->setChecked(values_.noAcm != 0);
  realtimeOut_->setChecked(values_.realtimeOut != 0);
  gui::SetCheckedIndex(pageGroup_, values_.flashPage);
  gui::SetCheckedIndex(chipGroup_, values_.chipType);
  sdramLength_->setText(QString::number(values_.sdramLength));
  gui::SetCheckedIndex(linkGroup_, values_.linkType == 0 ? 0 : 1);
  useHighRate_->setChecked(values_.useHighRate != 0);
  useVad_->setChecked(values_.useVad != 0);
}

CommandValues MainWindow::SaveToolOptions() {
  // A bad SDRAM length is said and left as stored; every other value is stored, and the command goes on
  // with the address in the field (only the SDRAM export needs the length).
  const bool lengthValid = CopyControlsToValues(true);
  const StoreResult stored = WriteToolOptions(values_, lengthValid);
  if (!stored) ui_.Message(stored.Message());
  return CommandValuesOf(values_, lengthValid, stored.Ok());
}

uint32_t MainWindow::IpFieldAddress() const {
  return ipField_->Address();
}

void MainWindow::EnterDemoMode(uint32_t phone, std::string workFolder) {
  values_.ipField = phone;
  ipField_->SetAddress(phone);
  workingDirectory_ = std::move(workFolder);
  link_->RestrictToLoopback(phone);
}

void MainWindow::OnCodecChange() {
  CopyControlsToValues(false);
  const bool noAcm = values_.noAcm != 0;
  const int codec = values_.codecType;
  useVad_->setEnabled((codec == kCodecG729 || codec == kCodecG7231) && noAcm);
  useHighRate_->setEnabled(codec == kCodecG7231 && noAcm);
  if (codec == kCodecG7231) values_.sdramLength = kCodecG7231Length;
  if (codec == kCodecG729) values_.sdramLength = kCodecG729Length;
  CopyValuesToControls();
}

void MainWindow::OnLinkChange() {
  CopyControlsToValues(false);
  const bool serial = values_.linkType == 0;
  for (auto* b : portGroup_->buttons()) b->setEnabled(serial);
}

void MainWindow::RunCommand(int id) {
  switch (id) {
    case IDC_UPDATE_PROGRAM:
      commands_->UpdateProgram();
      return;
    case IDC_UPDATE_BOOT:
      commands_->UpdateFlashPage();
      return;
    case IDC_RESTORE_FACTORY:
      commands_->ShowFactoryRestore();
      return;
    case IDC_TEST:
      commands_->TestConnection();
      return;
    case IDC_PHONE_SETTINGS:
      commands_->EditAndPushSettings();
      return;
    case IDC_UPDATE_RING:
      commands_->UpdateRing();
      return;
    case IDC_UPDATE_DIGIT_MAP:
      commands_->UpdateDigitMap();
      return;
    case IDC_UPDATE_HOLD:
      commands_->UpdateHoldAnnouncement();
      return;
    case IDC_UPDATE_ALTERNATE:
      commands_->UpdateAlternateSettings();
      return;
    case IDC_LOAD_SDRAM:
      commands_->LoadSdram();
      return;
    case IDC_SAVE_SDRAM:
      commands_->SaveSdram();
      return;
    case IDC_EXIT:
      OnClose();
      return;
    case IDC_DEBUG:
      OnDebugToggle();
      return;
    case IDC_CDR:
      OnCdrToggle();
      return;
    case IDC_UDP_AUDIO:
      OnUdpAudio();
      return;
    case IDC_FILE_TOOLS:
      OnFileTools();
      return;
    case IDC_GENERATE_HTTP:
      OnGenerateHttp();
      return;
    case IDC_COMPILER:
      OnCompilerRun();
      return;
    case IDC_STEP4:
      OnStep4Menu();
      return;
    case IDM_WEB_SETUP:
      OnWebSetup();
      return;
    case IDM_TELNET_SETUP:
      OnTelnetSetup();
      return;
    case IDC_CODEC_LIST:
    case IDC_NO_ACM:
      OnCodecChange();
      return;
    case IDC_LINK_SERIAL:
    case IDC_LINK_TCPIP:
      OnLinkChange();
      return;
    default:
      return;  // 1236 and any other identifier: nothing
  }
}

bool MainWindow::DebugRunning() const {
  return udpDebug_.has_value() || link_->SerialLinkHeld();
}
bool MainWindow::CdrRunning() const {
  return cdr_.has_value();
}

void MainWindow::SetDebugLook(bool running) {
  Button(IDC_DEBUG)->setText(QString::fromStdString(LoadString(running ? IDS_STOP_DEBUG : IDS_START_DEBUG)));
  for (int id : {IDC_UPDATE_BOOT, IDC_LOAD_SDRAM, IDC_SAVE_SDRAM, IDC_LINK_SERIAL, IDC_LINK_TCPIP,
                 IDC_UDP_AUDIO, IDC_PHONE_SETTINGS})
    if (QWidget* w = gui::FindControl(this, id)) w->setEnabled(!running);
}

void MainWindow::StopUdpDebug() {
  CUdpDebugThread::Stop(udpDebug_);
}

void MainWindow::OnDebugToggle() {
  SaveToolOptions();
  if (values_.linkType == 1) {
    if (udpDebug_) {
      StopUdpDebug();
      SetDebugLook(false);
    } else {
      CUdpDebugThread::Start(udpDebug_, ui_);
      SetDebugLook(true);
    }
    return;
  }
  if (link_->SerialLinkHeld()) {
    link_->StopSerialLink();
    SetDebugLook(false);
  } else if (link_->StartSerialLink(values_.PortName())) {
    link_->ShowSerialOutput();
    SetDebugLook(true);
  }
}

void MainWindow::OnCdrToggle() {
  if (cdr_) {
    CCdrDebugThread::Stop(cdr_);
    Button(IDC_CDR)->setText("Start CDR");
  } else {
    CCdrDebugThread::Start(cdr_, ui_);
    Button(IDC_CDR)->setText("Stop CDR");
  }
}

void MainWindow::OnUdpAudio() {
  if (udpAudioRunning_) {
    OnUdpAudioStop();
    return;
  }
  SaveToolOptions();
  std::string saveFileName;
  if (values_.saveFile) {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Save;
    spec.defaultExt = "*.dat";
    spec.filter = "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
    spec.initialName = SettingsStore::Profile().GetString("UdpAudio", "DstName", "udpaudio.dat");
    auto chosen = ui_.FileDialog(spec);
    if (!chosen) return;
    if (const StoreResult remembered = SettingsStore::Profile().WriteString("UdpAudio", "DstName", *chosen);
        !remembered)
      ui_.Message(remembered.Message());
    saveFileName = *chosen;
  }
  // An engine that cannot start says why itself; the window then stays as it was.
  if (AudioEngine().StartUdpAudio(UdpAudioOptionsOf(values_, saveFileName)) != 1) return;
  udpAudioRunning_ = true;
  Button(IDC_UDP_AUDIO)->setText(QString::fromStdString(LoadString(IDS_STOP_UDP_AUDIO)));
  codecList_->setEnabled(false);
  ipField_->setEnabled(false);
}

void MainWindow::OnUdpAudioStop() {
  AudioEngine().StopUdpAudio();
  udpAudioRunning_ = false;
  Button(IDC_UDP_AUDIO)->setText(QString::fromStdString(LoadString(IDS_START_UDP_AUDIO)));
  codecList_->setEnabled(true);
  ipField_->setEnabled(true);
}

void MainWindow::OnFileTools() {
  SaveToolOptions();
  RunFileConvertDialog(this, ui_);
}

void MainWindow::OnGenerateHttp() {
  SaveToolOptions();
  webgen::RunGenerateHttpDialog(this, ui_);
}

void MainWindow::OnCompilerRun() {
  auto line = CompilerCommandLine();
  std::string program = line.front();
  line.erase(line.begin());
  launcher_.Start(program, line);  // its result is not checked
}

std::string MainWindow::IpFieldDotted() const {
  return DottedAddress(ipField_->Address());
}

void MainWindow::OnStep4Menu() {
  QMenu menu(this);
  menu.setObjectName("Step4Menu");
  QAction* web = menu.addAction(QString::fromUtf8("通过网页设置"));
  QAction* telnet = menu.addAction(QString::fromUtf8("通过telnet设置"));
  web->setData(IDM_WEB_SETUP);
  telnet->setData(IDM_TELNET_SETUP);
  connect(web, &QAction::triggered, this, [this] { RunCommand(IDM_WEB_SETUP); });
  connect(telnet, &QAction::triggered, this, [this] { RunCommand(IDM_TELNET_SETUP); });
  QPushButton* button = Button(IDC_STEP4);
  QPoint corner = button->mapToGlobal(QPoint(button->width(), button->height()));
  menu.exec(corner - QPoint(30, 30));
}

void MainWindow::OnWebSetup() {
  if (link_->TargetAllowed(IpFieldAddress())) LaunchWebSetup(launcher_, IpFieldDotted());
}

void MainWindow::OnTelnetSetup() {
  if (link_->TargetAllowed(IpFieldAddress())) LaunchTelnetSetup(launcher_, IpFieldDotted());
}

void MainWindow::OnClose() {
  if (closing_) return;
  closing_ = true;
  if (udpAudioRunning_) OnUdpAudioStop();
  if (udpDebug_ || link_->SerialLinkHeld()) {
    SaveToolOptions();
    StopUdpDebug();
    link_->StopSerialLink();
  }
  // A running CDR monitor is left to end with the process.
  done(QDialog::Rejected);
}

void MainWindow::reject() {
  OnClose();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* all = menu.addAction(full_ ? "Hide the template's hidden controls\tCtrl+Shift+F"
                                      : "Show every control\tCtrl+Shift+F");
  QAction* ring = menu.addAction("Update ring...");
  ring->setEnabled(!DebugRunning());
  QAction* fleet = menu.addAction("Fleet: many phones...");
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == all) SetFullLook(!full_);
  if (chosen == ring) RunCommand(IDC_UPDATE_RING);
  if (chosen == fleet) {
    // Modeless, over the same engine as `quilltool fleet`; the main window stays as it is.
    auto* window = new FleetWindow(ui_, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
  }
}

}  // namespace quill
