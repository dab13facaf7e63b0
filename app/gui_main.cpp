#include "app/gui_main.h"

#include <QApplication>

#include "app/main_window.h"
#include "app/qt_ui.h"
#include "app/startup.h"

// The icons are compiled into a static library: their registration must be pulled in by name.
static void InitIconResources() { Q_INIT_RESOURCE(resources); }

namespace quill {
namespace {

class MainWindowRunner : public ModalWindow {
 public:
  MainWindowRunner(QtUi& ui, const GuiOptions& options) : ui_(ui), window_(ui) { (void)options; }
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
  GuiApplication(QtUi& ui, const GuiOptions& options) : Application(ui), qtUi_(ui), options_(options) {}

 protected:
  std::unique_ptr<ModalWindow> CreateMainWindow() override {
    return std::make_unique<MainWindowRunner>(qtUi_, options_);
  }

 private:
  QtUi& qtUi_;
  GuiOptions options_;
};

}  // namespace

int RunGui(const GuiOptions& options) {
  InitIconResources();
  QtUi ui;
  GuiApplication app(ui, options);
  app.InitInstance();
  return 0;
}

}  // namespace quill
