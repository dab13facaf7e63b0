#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/process_events.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

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

// The one process object is the current one for exactly as long as the application lives.
TEST(Startup, TheProcessObjectIsCurrentForTheApplicationsLifetime) {
  test::FakeUi ui;
  {
    RecordingApplication app(ui, true);
    EXPECT_EQ(PProcess::Current(), &app.Process());
  }
  EXPECT_EQ(PProcess::Current(), nullptr);
}

// quilltool without a subcommand where no window can open: one line on how to run a command instead, and
// the usage exit code, not an abort inside Qt. A platform that needs no display still starts the window (here
// it goes as far as loading the GUI module, which a lone copy of the executable does not have beside it).
TEST(Startup, WithoutADisplayTheWindowlessRunSaysHowToRunACommand) {
  struct Row {
    const char* environment;
    int exitCode;
    const char* error;
  };
  const std::string noDisplay =
      "quilltool: no display found for the window; run a subcommand instead (see quilltool --help)\n";
  const Row rows[] = {
      {"", 2, noDisplay.c_str()},
      {"QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-0", 2, noDisplay.c_str()},
      {"QT_QPA_PLATFORM='wayland;xcb:nomitshm' DISPLAY=", 2, noDisplay.c_str()},
      {"QT_QPA_PLATFORM=offscreen", 1, "quilltool: cannot load the GUI: "},
      {"QT_QPA_PLATFORM='xcb;minimal'", 1, "quilltool: cannot load the GUI: "},
  };
  test::TempDir dir;
  const std::string tool = dir.File("quilltool");
  ASSERT_EQ(std::system(("cp '" QUILL_TEST_BINARY_DIR "/quilltool' '" + tool + "'").c_str()), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.environment);
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(row.environment) + " '" + tool +
        "' --store '" + dir.File("store") + "' >'" + dir.File("out") + "' 2>'" + dir.File("err") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.exitCode);
    const std::string error = test::ReadFile(dir.File("err"));
    if (row.exitCode == 2)
      EXPECT_EQ(error, row.error);
    else
      EXPECT_EQ(error.rfind(row.error, 0), 0u) << error;
    EXPECT_EQ(test::ReadFile(dir.File("out")), "");
  }
}

}  // namespace
}  // namespace quill
