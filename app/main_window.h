// The main window "Updating Tool" (dialog resource 102): the phone's IP address and the buttons of the
// upgrade procedure, and a larger set of further controls that the template keeps hidden. Every button
// runs one command on the user-interface thread. The window is also the maintenance commands' host: it
// holds the values they use and stores the tool options before each of them.
#pragma once

#include <QDialog>
#include <QPointer>
#include <map>
#include <memory>
#include <optional>

#include "app/tool_options.h"
#include "link/command_host.h"
#include "platform/launcher.h"
#include "platform/ui.h"
#include "platform/window_thread.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace quill::gui {
class IpAddressEdit;
}

namespace quill {

class CMaintenanceCommands;
class CMaintenanceLink;

// Control and menu identifiers of the template.
enum MainControl : int {
  IDC_EXIT = 2,
  IDC_TEST = 6,
  IDC_UDP_AUDIO = 1001,
  IDC_COM1 = 1003,
  IDC_COM2 = 1005,
  IDC_LOAD_SDRAM = 1008,
  IDC_SAVE_SDRAM = 1009,
  IDC_IP_ADDRESS = 1010,
  IDC_CHIP_FIRST = 1011,
  IDC_CODEC_LIST = 1012,
  IDC_SAVE_FILE = 1013,
  IDC_REALTIME = 1014,
  IDC_UPDATE_RING = 1016,  // no control carries it
  IDC_NO_ACM = 1017,
  IDC_REALTIME_OUT = 1019,
  IDC_PAGE_FIRST = 1021,
  IDC_SDRAM_LENGTH = 1026,
  IDC_DEBUG = 1031,
  IDC_CDR = 1033,
  IDC_COMPILER = 1037,
  IDC_PHONE_SETTINGS = 1038,
  IDC_FILE_TOOLS = 1043,
  IDC_LINK_SERIAL = 1046,
  IDC_LINK_TCPIP = 1049,
  IDC_UPDATE_BOOT = 1052,
  IDC_UPDATE_PROGRAM = 1055,
  IDC_UPDATE_DIGIT_MAP = 1065,
  IDC_UPDATE_HOLD = 1067,
  IDC_UPDATE_ALTERNATE = 1069,
  IDC_GENERATE_HTTP = 1071,
  IDC_USE_VAD = 1115,
  IDC_USE_HIGH_RATE = 1116,
  IDC_LABEL_1236 = 1236,
  IDC_RESTORE_FACTORY = 1238,
  IDC_STEP4 = 1239,
  IDM_WEB_SETUP = 32771,
  IDM_TELNET_SETUP = 32772,
};

// The page radio buttons' identifiers, page 0 to 15, and the chip type radios', type 0 to 4.
extern const int kPageRadioIds[16];
extern const int kChipRadioIds[5];

struct MainWindowOptions {
  bool full = false;  // show the template's hidden controls too (enabled unless a rule says otherwise)
};

class MainWindow : public QDialog, public CommandHost {
  Q_OBJECT
 public:
  MainWindow(Ui& ui, Launcher& launcher, MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  gui::IpAddressEdit* IpField() const { return ipField_; }
  const ToolOptions& Values() const { return values_; }
  CMaintenanceLink& Link() { return *link_; }
  CMaintenanceCommands& Commands() { return *commands_; }
  bool FullLook() const { return full_; }
  void SetFullLook(bool full);
  // The working directory kept when the window opened; the flash page update takes "Page0.hex" from it.
  void SetWorkingDirectory(std::string folder) { workingDirectory_ = std::move(folder); }

  // Runs the command of an identifier as the control or menu item would.
  void RunCommand(int id);

  // Demo mode, before the window is shown: the IP field and the values behind it hold the built-in phone's
  // address, the flash page file comes from the demo's folder, and every phone outside 127.0.0.0/8 is
  // refused for as long as the window runs.
  void EnterDemoMode(uint32_t phone, std::string workFolder);

  // CommandHost
  CommandValues SaveToolOptions() override;
  uint32_t IpFieldAddress() const override;
  std::string WorkingDirectory() const override { return workingDirectory_; }

  bool UdpAudioRunning() const { return udpAudioRunning_; }
  bool DebugRunning() const;
  bool CdrRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildVisibleControls();
  void BuildHiddenControls();
  void OnOpen();
  // The data exchange: controls into values (false when a value fails its check; with validate the user
  // is told and the field takes the focus), and values into controls.
  bool CopyControlsToValues(bool validate);
  void CopyValuesToControls();

  void OnCodecChange();
  void OnLinkChange();
  void OnDebugToggle();
  void OnCdrToggle();
  void OnUdpAudio();
  void OnUdpAudioStop();
  void OnFileTools();
  void OnGenerateHttp();
  void OnCompilerRun();
  void OnStep4Menu();
  void OnWebSetup();
  void OnTelnetSetup();
  void OnClose();
  void SetDebugLook(bool running);
  void StopUdpDebug();
  std::string IpFieldDotted() const;
  QPushButton* Button(int id) const;

  Ui& ui_;
  Launcher& launcher_;
  bool full_ = false;
  bool closing_ = false;
  ToolOptions values_;
  std::string workingDirectory_;
  bool udpAudioRunning_ = false;
  std::unique_ptr<CMaintenanceLink> link_;
  std::unique_ptr<CMaintenanceCommands> commands_;
  std::optional<ThreadHandle> udpDebug_;
  std::optional<ThreadHandle> cdr_;

  gui::IpAddressEdit* ipField_ = nullptr;
  QButtonGroup* linkGroup_ = nullptr;
  QButtonGroup* portGroup_ = nullptr;
  QButtonGroup* pageGroup_ = nullptr;
  QButtonGroup* chipGroup_ = nullptr;
  QComboBox* codecList_ = nullptr;
  QCheckBox* realtime_ = nullptr;
  QCheckBox* realtimeOut_ = nullptr;
  QCheckBox* saveFile_ = nullptr;
  QCheckBox* noAcm_ = nullptr;
  QCheckBox* useVad_ = nullptr;
  QCheckBox* useHighRate_ = nullptr;
  QLineEdit* sdramLength_ = nullptr;
  // The hidden controls and whether the template disables them, for the plain and the full look.
  std::map<QWidget*, bool> hidden_;
};

// Where the commands of the window land on this machine.
std::vector<std::string> CompilerCommandLine();
void LaunchWebSetup(Launcher& launcher, const std::string& dottedAddress);
void LaunchTelnetSetup(Launcher& launcher, const std::string& dottedAddress);

}  // namespace quill
