// `quilltool completion bash|zsh` and `quilltool manual`: the shell completion and the manual page, made
// from the command registry. The build runs them to make the installed files.
#include <cstdio>

#include "cli/subcommand.h"

namespace quill::cli {
namespace {

int Completion(const Args& args, TerminalUi&) {
  const std::string shell = args.Positionals().at(0);
  std::fputs((shell == "zsh" ? ZshCompletion() : BashCompletion()).c_str(), stdout);
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

int Manual(const Args&, TerminalUi&) {
  std::fputs(ManualPage().c_str(), stdout);
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const bool registered = [] {
  Subcommand completion{"completion",
                        "print the shell completion script for bash or zsh",
                        "Load it in the running shell with: source <(quilltool completion bash)\n"
                        "The package installs both where the shells look for them.\n",
                        {},
                        {},
                        Completion};
  completion.synopsis = "bash|zsh";
  completion.words = {"bash", "zsh"};
  completion.positionalKind = ValueKind::Text;
  completion.minPositionals = 1;
  completion.maxPositionals = 1;
  Subcommand manual{"manual",
                    "print the manual page quilltool(1) in roff",
                    "Read it with: quilltool manual | man -l -\n",
                    {},
                    {},
                    Manual};
  manual.positionalKind = ValueKind::Text;
  manual.maxPositionals = 0;
  return RegisterSubcommand(std::move(completion)) && RegisterSubcommand(std::move(manual));
}();

}  // namespace
}  // namespace quill::cli
