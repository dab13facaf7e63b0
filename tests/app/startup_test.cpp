#include "app/startup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
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

// What one run of a program said and how it ended.
struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

Outcome RunShell(const std::string& command, const test::TempDir& dir) {
  Outcome o;
  const int status =
      std::system((command + " >'" + dir.File("out") + "' 2>'" + dir.File("err") + "'").c_str());
  if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
  o.out = test::ReadFile(dir.File("out"));
  o.err = test::ReadFile(dir.File("err"));
  return o;
}

// quilltool without a subcommand where no window can open: one line on how to run a command instead, and
// the usage exit code, not an abort inside Qt. A platform that needs no display still starts the window (here
// it goes as far as looking for the window's executable, which a lone copy of quilltool does not have beside
// it).
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
      {"QT_QPA_PLATFORM=offscreen", 1, "quilltool: cannot start the window: No such file or directory"},
      {"QT_QPA_PLATFORM='xcb;minimal'", 1, "quilltool: cannot start the window: No such file or directory"},
  };
  test::TempDir dir;
  const std::string tool = dir.File("quilltool");
  ASSERT_EQ(std::system(("cp '" QUILL_TEST_BINARY_DIR "/quilltool' '" + tool + "'").c_str()), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.environment);
    const Outcome o =
        RunShell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(row.environment) +
                     " '" + tool + "' --store '" + dir.File("store") + "'",
                 dir);
    EXPECT_EQ(o.exitCode, row.exitCode);
    if (row.exitCode == 2)
      EXPECT_EQ(o.err, row.error);
    else
      EXPECT_EQ(o.err.rfind(row.error, 0), 0u) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

// The window is quilltool-gui started in quilltool's place, found beside it in the build tree and in
// lib/quilltool/ when installed, with the same arguments, and running on the one core beside it. Its store
// folder here is a file, so it stops at the message that says so (no main window, nothing on the network).
TEST(Startup, WithoutASubcommandQuilltoolBecomesTheWindow) {
  test::TempDir dir;
  test::WriteFile(dir.File("a-file"), "");
  const std::string prefix = dir.File("installed");
  ASSERT_EQ(std::system(("'" QUILL_CMAKE_COMMAND "' --install '" QUILL_TEST_BINARY_DIR "' --prefix '" +
                         prefix + "' >/dev/null")
                            .c_str()),
            0);
  struct Row {
    std::string tool, window, core;
  };
  const Row rows[] = {
      {QUILL_TEST_BINARY_DIR "/quilltool", QUILL_TEST_BINARY_DIR "/quilltool-gui",
       QUILL_TEST_BINARY_DIR "/libquilltool-core.so"},
      {prefix + "/bin/quilltool", prefix + "/lib/quilltool/quilltool-gui",
       prefix + "/lib/quilltool/libquilltool-core.so"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tool);
    const std::string store = dir.File("a-file");
    std::vector<std::string> args = {row.tool, "--store", store};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string offscreen = "QT_QPA_PLATFORM=offscreen", runtime = "XDG_RUNTIME_DIR=" + dir.Path();
    char* envp[] = {offscreen.data(), runtime.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, row.tool.c_str(), &actions, nullptr, argv.data(), envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The window's executable with the core and QtWidgets mapped, or the child's end; within a bound.
    const std::string proc = "/proc/" + std::to_string(pid);
    bool running = false;
    int status = 0;
    for (int i = 0; i < 2000 && !running && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
      std::string exe(4096, '\0');
      const ssize_t n = ::readlink((proc + "/exe").c_str(), exe.data(), exe.size());
      const std::string maps = test::ReadFile(proc + "/maps");
      running = n > 0 && exe.substr(0, static_cast<size_t>(n)) == row.window &&
                maps.find(row.core) != std::string::npos && maps.find("libQt6Widgets") != std::string::npos;
      if (running) {
        std::string cmdline = test::ReadFile(proc + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        EXPECT_EQ(cmdline, row.tool + " --store " + store + " ");
      } else {
        ::usleep(10000);
      }
    }
    if (running) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(running) << test::ReadFile(dir.File("err"));
  }
}

// A store folder that cannot be one is said at the start, before the command does anything, and the run
// fails; the command line maps no QtWidgets.
TEST(Startup, TheCommandLineChecksTheStoreFolderAndLoadsNoWidgets) {
  test::TempDir dir;
  test::WriteFile(dir.File("a-file"), "");
  const std::string tool = QUILL_TEST_BINARY_DIR "/quilltool";
  for (const std::string& store : {dir.File("a-file"), dir.File("a-file/store")}) {
    SCOPED_TRACE(store);
    const Outcome o = RunShell("'" + tool + "' --store '" + store + "' options", dir);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "quilltool: " + SettingsStore::CheckLocation(store).Message() + "\n");
    EXPECT_EQ(o.out, "");
  }
  const Outcome o =
      RunShell("LD_DEBUG=files '" + tool + "' --store '" + dir.File("store") + "' options", dir);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_NE(o.err.find("libquilltool-core.so"), std::string::npos);  // the loader's lines are there
  EXPECT_EQ(o.err.find("Widgets"), std::string::npos);
}

// One copy of the core: neither executable defines a function or an object that the core defines.
TEST(Startup, TheExecutablesHoldNoCopyOfTheCore) {
  auto definitions = [](const std::string& command) {
    std::set<std::string> names;
    FILE* nm = ::popen(command.c_str(), "r");
    char line[4096];
    while (nm && std::fgets(line, sizeof line, nm)) {
      char type = 0;
      char name[4000] = {};
      // Strong definitions of C++ names; a weak one (an inline function, a template) may be anywhere.
      if (std::sscanf(line, "%*s %c %3999s", &type, name) == 2 && std::strchr("TDBR", type) &&
          std::strncmp(name, "_Z", 2) == 0)
        names.insert(name);
    }
    if (nm) ::pclose(nm);
    return names;
  };
  const auto core = definitions("nm -D --defined-only '" QUILL_TEST_BINARY_DIR "/libquilltool-core.so'");
  ASSERT_GT(core.size(), 100u);
  for (const char* program : {"quilltool", "quilltool-gui"}) {
    SCOPED_TRACE(program);
    const auto own =
        definitions("nm --defined-only '" QUILL_TEST_BINARY_DIR "/" + std::string(program) + "'");
    ASSERT_FALSE(own.empty());
    std::vector<std::string> both;
    std::set_intersection(own.begin(), own.end(), core.begin(), core.end(), std::back_inserter(both));
    EXPECT_EQ(both, std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace quill
