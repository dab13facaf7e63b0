#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "tests/support/fake_ui.h"

namespace quill {
namespace {

class RecordingApplication : public Application {
 public:
  RecordingApplication(Ui& ui, bool socketsWork) : Application(ui), socketsWork_(socketsWork) {}
  std::vector<std::string> steps;

 protected:
  void Enable3dControls() override {
    steps.push_back(std::string("3d locale=") + std::to_string(GetThreadLocale()));
  }
  bool StartSockets() override {
    steps.push_back("sockets key=" + SettingsStore::RegistryKey());
    return socketsWork_;
  }
  void StopSockets() override {
    steps.push_back(std::string("free events=") + (ProcessEventsExist() ? "yes" : "no"));
  }
  std::unique_ptr<ModalWindow> CreateMainWindow() override {
    steps.push_back("create");
    struct Window : ModalWindow {
      explicit Window(std::vector<std::string>& s) : steps(s) {}
      ~Window() override { steps.push_back("destroy"); }
      void RunModal() override {
        // Every event exists while the window runs.
        const auto& e = Events();
        bool all = e.serialLinkEnded && e.serialLinkReady && e.serialAck && e.udpDebugEnded && e.cdrEnded &&
                   e.tcpLinkEnded && e.tcpAck;
        steps.push_back(std::string("run events=") + (all ? "all" : "missing"));
      }
      std::vector<std::string>& steps;
    };
    return std::make_unique<Window>(steps);
  }

 private:
  bool socketsWork_;
};

TEST(Startup, RunsInTheSystemsOrderAndReturnsFalse) {
  SetThreadLocale(kLocaleChinesePRC);
  SettingsStore::SetRegistryKey("");
  test::FakeUi ui;
  RecordingApplication app(ui, true);
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.steps, (std::vector<std::string>{"3d locale=1033", "sockets key=Quillmark Communications",
                                                 "create", "run events=all", "free events=no", "destroy"}));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(ProcessEventsExist());
}

TEST(Startup, ASocketLayerFailureShowsTheMessageAndCreatesNoEventAndNoWindow) {
  test::FakeUi ui;
  RecordingApplication app(ui, false);
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.steps, (std::vector<std::string>{"3d locale=1033", "sockets key=Quillmark Communications"}));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Winsock 2.0 failed");
  EXPECT_EQ(ui.messages[0].caption, ApplicationName());
  EXPECT_EQ(ui.messages[0].buttons, MbButtons::Ok);
  EXPECT_EQ(ui.messages[0].icon, MbIcon::Exclamation);
  EXPECT_FALSE(ProcessEventsExist());
}

TEST(Startup, TheProcessObjectExistsWithTheApplication) {
  test::FakeUi ui;
  RecordingApplication app(ui, true);
  EXPECT_STREQ(app.Process().GetClass(), "PWLibProcess");
}

}  // namespace
}  // namespace quill
