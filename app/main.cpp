// quilltool: with a subcommand, the command line, which never loads QtWidgets; with none, the window, which
// is the executable quilltool-gui beside the core (app/main_gui.cpp) started in this process's place.
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/start_options.h"
#include "cli/cli_main.h"
#include "cli/subcommand.h"
#include "platform/application.h"

namespace {

constexpr const char* kWindowProgram = "quilltool-gui";

// Beside this executable in a build tree; in lib/quilltool/ beside bin/ when installed. The window gets
// the same arguments, argv[0] included, so it names the store and its captions as this program does.
int StartWindow(char** argv) {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  std::string folder = n > 0 ? self.substr(0, static_cast<size_t>(n)) : std::string(argv[0]);
  folder = folder.substr(0, folder.rfind('/') + 1);
  const std::string places[] = {folder + kWindowProgram, folder + "../lib/quilltool/" + kWindowProgram};
  int error = ENOENT;
  for (const std::string& path : places) {
    ::execv(path.c_str(), argv);
    if (errno != ENOENT || error == ENOENT) error = errno;  // a file that is there but fails says most
  }
  std::fprintf(stderr, "%s: cannot start the window: %s (looked for %s and %s)\n",
               quill::ApplicationName().c_str(), std::strerror(error), places[0].c_str(), places[1].c_str());
  return quill::cli::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  quill::StartOptions options;
  if (const auto done = quill::ReadStartOptions(argc, argv, quill::cli::MainHelp, options)) return *done;
  if (options.next >= argc) {
    if (!quill::DisplayAvailable()) {
      std::fputs(quill::NoDisplayLine().c_str(), stderr);
      return quill::cli::kExitUsage;
    }
    return StartWindow(argv);
  }
  if (const auto problem = quill::ApplyStartOptions(options)) {
    std::fprintf(stderr, "%s: %s\n", quill::ApplicationName().c_str(), problem->message.c_str());
    return problem->exitCode;
  }
  // No QCoreApplication: the command line uses no event loop, and building one costs a short command as
  // much as its work. Of what it set up, the command line keeps the locale the environment names (numbers,
  // dates and system messages follow it, as they do in the window).
  std::setlocale(LC_ALL, "");
  const int i = options.next;
  std::vector<std::string> rest(argv + i + 1, argv + argc);
  if (options.quiet) rest.insert(rest.begin(), "--quiet");  // the command line's, wherever it was given
  return quill::cli::RunCli(argv[i], rest);
}
