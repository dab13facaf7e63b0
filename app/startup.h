// Process start-up and tear-down, in the system's order: locale, control look, settings-store key, the
// socket layer check ("Winsock 2.0 failed"), the seven process-wide events, the main window run modally,
// then the same pieces released.
#pragma once

#include <memory>

#include "platform/pwlib_process.h"
#include "platform/ui.h"

namespace quill {

// The main window as start-up sees it: constructed, run modally, destroyed after tear-down.
class ModalWindow {
 public:
  virtual ~ModalWindow() = default;
  virtual void RunModal() = 0;
};

class Application {
 public:
  explicit Application(Ui& ui) : ui_(ui) {}
  virtual ~Application() = default;

  // The framework's initialisation step: runs everything and returns false, so the process then ends.
  bool InitInstance();
  const PWLibProcess& Process() const { return process_; }

 protected:
  virtual void Enable3dControls() {}
  virtual bool StartSockets();
  virtual void StopSockets();
  virtual std::unique_ptr<ModalWindow> CreateMainWindow() = 0;

  Ui& ui_;

 private:
  PWLibProcess process_;  // exists for the whole process, before any facility of the library is used
};

}  // namespace quill
