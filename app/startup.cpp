#include "app/startup.h"

#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "transport/winsock.h"

namespace quill {

bool Application::StartSockets() { return InitWinSock2(); }
void Application::StopSockets() { FreeWinSock2(); }

bool Application::InitInstance() {
  SetThreadLocale(kLocaleEnglishUS);
  Enable3dControls();
  SettingsStore::SetRegistryKey("Quillmark Communications");
  if (!StartSockets()) {
    ui_.Message("Winsock 2.0 failed");
    return false;
  }
  if (!CreateProcessEvents()) {
    // The events are the threads' only way to report that they ended: without them nothing can run.
    StopSockets();
    return false;
  }
  std::unique_ptr<ModalWindow> window = CreateMainWindow();
  if (window) window->RunModal();
  CloseProcessEvents();
  StopSockets();
  window.reset();
  return false;
}

}  // namespace quill
