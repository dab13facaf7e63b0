// The command-line front end: `quilltool SUBCOMMAND ...` runs one tool over the same core, without a
// display. Each subcommand registers itself from its own file (cli/cmd_*.cpp), declaring its options once:
// the `--help` text, the usage errors, the manual page and the shell completion are all made from that one
// declaration, so they cannot disagree.
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

// What a value (of an option or a positional argument) is, for the shell's completion.
enum class ValueKind {
  Text,    // anything: no completion
  File,    // a file name
  Folder,  // a folder name
  Choice,  // one of Option::choices
};

// One option of a subcommand, declared once.
struct Option {
  std::string name;        // "--phone"
  std::string value = {};  // the value's name in help ("ADDRESS"); empty for a flag
  std::string help = {};   // one line
  ValueKind kind = ValueKind::Text;
  std::vector<std::string> choices = {};  // the values of a Choice
  std::string shortName = {};             // "-q"; empty when there is none
};

struct Subcommand {
  std::string name;
  std::string summary;  // one line for `quilltool --help`
  // The whole text of `quilltool NAME --help` for a subcommand that declares no options below; for one that
  // does, its description (what it does, in paragraphs), printed after the synopsis.
  std::string usage;
  std::vector<std::string> flags;         // options without a value (added to from `options`)
  std::vector<std::string> valueOptions;  // options that take a value (added to from `options`)
  // Returns the exit code: 0 only on success.
  std::function<int(const Args& args, TerminalUi& ui)> run;

  // The arguments after the name, as the synopsis shows them ("IN.hex... OUT.bin"). A subcommand whose
  // usage is a description (not a text beginning with "Usage:") gets its usage line and options list made
  // from this declaration; every subcommand gets the global options and exit codes added.
  std::string synopsis = {};
  std::vector<Option> options = {};
  // The words the first argument may be (`monitor debug|cdr`, the board variants of `build`), for the
  // completion; files are completed for the others unless positionalKind says otherwise.
  std::vector<std::string> words = {};
  ValueKind positionalKind = ValueKind::File;
  // How many arguments it takes; a run outside these bounds is a usage error naming the word.
  int minPositionals = 0;
  int maxPositionals = -1;  // -1: any number
  // Takes --json: prints one JSON object on stdout when it ends (outcome, message, bytes, seconds, paths).
  bool json = false;
  // Left out of `quilltool --help`, the manual and the completion.
  bool hidden = false;
};

// Whether its help is made from the declaration (synopsis, options) rather than given whole in `usage`
// (a text that begins with "Usage:").
bool HelpFromDeclaration(const Subcommand& command);

// Registers a subcommand; used through a static object in each cmd_*.cpp.
bool RegisterSubcommand(Subcommand command);
const std::map<std::string, Subcommand>& Subcommands();

// Exit codes, the same for every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // Ctrl-C (SIGINT); SIGTERM gives 143, SIGHUP 129

// The options every subcommand takes, before or after its name.
const std::vector<Option>& GlobalOptions();
// Every option a subcommand takes, in the order its help lists them: its own (with --json where it takes
// one), then --yes where declared; the global options are not among them.
std::vector<Option> OptionsOf(const Subcommand& command);

// Runs `quilltool NAME ARGS...`; prints usage errors to stderr.
int RunSubcommand(const std::string& name, const std::vector<std::string>& args, TerminalUi& ui);
std::string MainHelp();
// `quilltool NAME --help`.
std::string SubcommandHelp(const Subcommand& command);

// A usage error of a subcommand: "quilltool: TEXT" and where to read more, on stderr; returns kExitUsage.
int UsageError(const std::string& command, const std::string& text);
// A message of the tool on stderr, prefixed once by the program's name.
void ToolMessage(const std::string& text);

// Parses a decimal or 0x-prefixed integer argument fully; nothing when it is not one.
std::optional<long long> ParseIntegerArg(const std::string& text);

// The manual page (roff) and the shell completion scripts, made from the registry.
std::string ManualPage();
std::string BashCompletion();
std::string ZshCompletion();

}  // namespace quill::cli
