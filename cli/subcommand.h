// The command-line front end: `quilltool SUBCOMMAND ...` runs one tool over the same core, without a
// display. Each subcommand registers itself from its own file (cli/cmd_*.cpp).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_ui.h"

namespace quill::cli {

// Arguments after the subcommand name: "--name value", "--name=value", "--flag", and positionals.
// A "--" ends the options.
class Args {
 public:
  Args(std::vector<std::string> raw, std::vector<std::string> valueOptions);
  bool Has(const std::string& flag) const;
  std::optional<std::string> Value(const std::string& name) const;
  const std::vector<std::string>& Positionals() const { return positionals_; }
  // The options given that are neither among flags nor among the value options; empty when all are known.
  std::vector<std::string> Unknown(const std::vector<std::string>& flags) const;
  const std::string& Error() const { return error_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> flags_;
  std::vector<std::string> positionals_;
  std::vector<std::string> valueOptions_;
  std::string error_;
};

struct Subcommand {
  std::string name;
  std::string summary;  // one line for `quilltool --help`
  std::string usage;    // the text of `quilltool NAME --help`
  std::vector<std::string> flags;         // options without a value
  std::vector<std::string> valueOptions;  // options that take a value
  // Returns the exit code: 0 only on success.
  std::function<int(const Args& args, TerminalUi& ui)> run;
};

// Registers a subcommand; used through a static object in each cmd_*.cpp.
bool RegisterSubcommand(Subcommand command);
const std::map<std::string, Subcommand>& Subcommands();

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Runs `quilltool NAME ARGS...`; prints usage errors to stderr.
int RunSubcommand(const std::string& name, const std::vector<std::string>& args, TerminalUi& ui);
std::string MainHelp();

// Parses a decimal or 0x-prefixed integer argument fully; nothing when it is not one.
std::optional<long long> ParseIntegerArg(const std::string& text);

}  // namespace quill::cli
