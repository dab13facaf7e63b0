#include "app/gui_main.h"

#include <QApplication>
#include <QMessageBox>

#include "app/demo_phone.h"
#include "app/main_window.h"
#include "app/qt_ui.h"
#include "app/startup.h"
#include "platform/launcher.h"
#include "resources/ip_address_edit.h"

// The icons are compiled into a static library: their registration must be pulled in by name.
static void InitIconResources() {
  Q_INIT_RESOURCE(resources);
}

namespace quill {
namespace {

class MainWindowRunner : public ModalWindow {
 public:
  MainWindowRunner(QtUi& ui, Launcher& launcher, const GuiOptions& options, DemoPhone* demo)
      : ui_(ui), window_(ui, launcher, MainWindowOptions{options.full}) {
    if (demo) window_.EnterDemoMode(demo->PhoneAddressValue(), demo->WorkFolder());
  }
  void RunModal() override {
    ui_.SetOwner(&window_);
    window_.exec();
    ui_.SetOwner(nullptr);
  }

 private:
  QtUi& ui_;
  MainWindow window_;
};

class GuiApplication : public Application {
 public:
  GuiApplication(QtUi& ui, Launcher& launcher, const GuiOptions& options, DemoPhone* demo)
      : Application(ui), qtUi_(ui), launcher_(launcher), options_(options), demo_(demo) {}

 protected:
  std::unique_ptr<ModalWindow> CreateMainWindow() override {
    return std::make_unique<MainWindowRunner>(qtUi_, launcher_, options_, demo_);
  }

 private:
  QtUi& qtUi_;
  Launcher& launcher_;
  GuiOptions options_;
  DemoPhone* demo_;
};

}  // namespace

int RunGui(const GuiOptions& options) {
  InitIconResources();
  StoreNoticeBoxes notices;
  QtUi ui;
  SystemLauncher launcher;
  std::unique_ptr<DemoPhone> demo;
  if (options.demo) {
    demo = std::make_unique<DemoPhone>();
    if (!demo->Start()) {
      QMessageBox::critical(nullptr, "Updating Tool",
                            QString::fromStdString("The demo phone could not start: " + demo->Error()));
      return 1;
    }
    if (const StoreResult stored = UseDemoStore(*demo); !stored) {
      QMessageBox::critical(nullptr, "Updating Tool", QString::fromStdString(stored.Message()));
      return 1;
    }
  }
  GuiApplication app(ui, launcher, options, demo.get());
  app.InitInstance();
  return 0;
}

}  // namespace quill
