#include "cli/subcommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "app/start_options.h"
#include "platform/application.h"
#include "platform/debug_log.h"
#include "platform/text.h"

namespace quill::cli {
namespace {

std::map<std::string, Subcommand>& Registry() {
  static std::map<std::string, Subcommand> registry;
  return registry;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

const Option kJson{"--json", "",
                   "print one JSON object on stdout at the end: outcome, message, bytes, seconds, paths"};

// The global options found among a subcommand's arguments (they may come after its name too).
struct GlobalChoices {
  StartOptions start;
  bool quiet = false;
  bool verbose = false;
};

// Takes the global options out of args, up to a "--"; a problem is a usage error's text.
std::string TakeGlobalOptions(std::vector<std::string>& args, GlobalChoices& out) {
  std::vector<std::string> rest;
  bool ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ended || a == "--") {
      ended = true;
      rest.push_back(a);
    } else if (a == "-q" || a == "--quiet") {
      out.quiet = true;
    } else if (a == "-v" || a == "--verbose") {
      out.verbose = true;
    } else if (a == "--debug-log") {
      out.start.debugLog = std::string();
    } else if (a.rfind("--debug-log=", 0) == 0) {
      out.start.debugLog = a.substr(12);
    } else if (a == "--store") {
      if (i + 1 >= args.size()) return "option --store needs a value";
      out.start.store = args[++i];
    } else if (a.rfind("--store=", 0) == 0) {
      out.start.store = a.substr(8);
    } else {
      rest.push_back(a);
    }
  }
  args = std::move(rest);
  return {};
}

std::string Join(const std::vector<std::string>& words, const std::string& separator) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : separator) + w;
  return out;
}

// "  -q, --quiet        help": one line per option, the help in a column.
std::string OptionLines(const std::vector<Option>& options) {
  std::vector<std::string> heads;
  size_t width = 0;
  for (const Option& o : options) {
    std::string head = o.shortName.empty() ? o.name : o.shortName + ", " + o.name;
    if (!o.value.empty()) head += (o.value[0] == '[' ? "" : " ") + o.value;
    width = std::max(width, head.size());
    heads.push_back(std::move(head));
  }
  width = std::min<size_t>(width, 24);
  std::string out;
  for (size_t i = 0; i < options.size(); ++i) {
    out += "  " + heads[i];
    out += heads[i].size() < width ? std::string(width - heads[i].size() + 2, ' ') : std::string("  ");
    out += options[i].help + "\n";
  }
  return out;
}

std::string ExitCodeLines() {
  return "Exit status:\n"
         "  0    success\n"
         "  1    failure (said on stderr, naming the file or device)\n"
         "  2    usage error (the wrong word named on stderr)\n"
         "  130  interrupted (Ctrl-C; 143 for SIGTERM, 129 for SIGHUP): files being written are left as "
         "they were\n";
}

// The run's one JSON object. message: what it said last, or after a failure what it said first (the
// cause; what follows is its consequence). bytes: the size of the files it wrote, or, when it wrote none, of
// the files it read (sent); 0 when it failed, since then it replaced nothing.
void PrintJson(int code, const TerminalUi& ui, double seconds) {
  const char* outcome = code == kExitOk ? "ok" : code == kExitUsage ? "usage" : "failed";
  long long outputs = 0, inputs = 0;
  bool wroteAny = false;
  std::string paths;
  // Inputs first and outputs last, as on the command line, whatever order the tool asked in.
  std::vector<TerminalUi::AnsweredFile> files = ui.AnsweredFiles();
  std::stable_partition(files.begin(), files.end(), [](const auto& f) { return !f.output; });
  for (const auto& f : files) {
    paths += (paths.empty() ? "" : ", ") + JsonString(f.path);
    struct stat st {};
    const bool regular = ::stat(f.path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (f.output) wroteAny = true;
    if (regular) (f.output ? outputs : inputs) += st.st_size;
  }
  const long long bytes = code != kExitOk ? 0 : wroteAny ? outputs : inputs;
  std::printf(
      "{\"outcome\": \"%s\", \"exit\": %d, \"message\": %s, \"bytes\": %lld, \"seconds\": %.3f, "
      "\"paths\": [%s]}\n",
      outcome, code, JsonString(code == kExitOk ? LastMessage() : FirstMessage()).c_str(), bytes, seconds,
      paths.c_str());
  std::fflush(stdout);
}

int CheckAndRun(const Subcommand& cmd, std::vector<std::string> args, TerminalUi& ui) {
  GlobalChoices global;
  if (std::string problem = TakeGlobalOptions(args, global); !problem.empty())
    return UsageError(cmd.name, problem);
  std::vector<std::string> values = cmd.valueOptions;
  std::vector<std::string> flags = cmd.flags;
  const std::vector<Option> options = OptionsOf(cmd);
  for (const Option& o : options) {
    if (o.value.empty()) {
      flags.push_back(o.name);
      if (!o.shortName.empty()) flags.push_back(o.shortName);
    } else {
      values.push_back(o.name);
    }
  }
  Args parsed(args, values);
  if (parsed.Has("--help") || parsed.Has("-h")) {
    std::fputs(SubcommandHelp(cmd).c_str(), stdout);
    return kExitOk;
  }
  if (!parsed.Error().empty()) return UsageError(cmd.name, parsed.Error());
  if (auto unknown = parsed.Unknown(flags); !unknown.empty())
    return UsageError(cmd.name, "unknown option '" + unknown.front() + "'");
  for (const Option& o : options) {
    if (o.kind != ValueKind::Choice) continue;
    if (auto v = parsed.Value(o.name); v && !Contains(o.choices, *v))
      return UsageError(cmd.name, o.name + " takes " + Join(o.choices, " or ") + ", not '" + *v + "'");
  }
  const auto& positionals = parsed.Positionals();
  if (!cmd.words.empty() && !positionals.empty() && !Contains(cmd.words, positionals[0]))
    return UsageError(cmd.name,
                      "unknown word '" + positionals[0] + "' (one of: " + Join(cmd.words, " ") + ")");
  if (cmd.maxPositionals >= 0 && positionals.size() > static_cast<size_t>(cmd.maxPositionals))
    return UsageError(cmd.name,
                      "unexpected argument '" + positionals[static_cast<size_t>(cmd.maxPositionals)] + "'");
  if (positionals.size() < static_cast<size_t>(std::max(cmd.minPositionals, 0)))
    return UsageError(cmd.name, "missing argument");

  if (global.start.debugLog || !global.start.store.empty()) {
    if (const auto problem = ApplyStartOptions(global.start)) {
      ToolMessage(problem->message);
      return problem->exitCode;
    }
  }
  if (global.verbose && !global.start.debugLog) DebugLog::ToStderr();
  if (global.quiet) ui.SetQuiet(true);
  if (parsed.Has("--yes") || parsed.Has("-y")) ui.SetAnswerYes(true);
  return cmd.run(parsed, ui);
}

}  // namespace

Args::Args(std::vector<std::string> raw, std::vector<std::string> valueOptions)
    : valueOptions_(std::move(valueOptions)) {
  bool optionsEnded = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& a = raw[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
      positionals_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = a, value;
    bool hasValue = false;
    auto eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    if (Contains(valueOptions_, name)) {
      if (!hasValue) {
        if (i + 1 >= raw.size()) {
          error_ = "option " + name + " needs a value";
          continue;
        }
        value = raw[++i];
      }
      values_[name] = value;
    } else {
      flags_.push_back(hasValue ? a : name);
    }
  }
}

bool Args::Has(const std::string& flag) const {
  return Contains(flags_, flag);
}

std::optional<std::string> Args::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> Args::Unknown(const std::vector<std::string>& flags) const {
  std::vector<std::string> out;
  for (const auto& f : flags_)
    if (!Contains(flags, f) && f != "--help" && f != "-h") out.push_back(f);
  return out;
}

bool RegisterSubcommand(Subcommand command) {
  std::string name = command.name;
  return Registry().emplace(std::move(name), std::move(command)).second;
}

const std::map<std::string, Subcommand>& Subcommands() {
  return Registry();
}

const std::vector<Option>& GlobalOptions() {
  static const std::vector<Option> options = {
      {"--store", "DIR", "keep the settings store under DIR instead of ~/.config", ValueKind::Folder},
      {"--debug-log", "[=FILE]",
       "the transports' diagnostic lines to FILE (default: stderr), as QUILL_DEBUG_LOG", ValueKind::File},
      {"--quiet", "", "no progress, no messages but errors", ValueKind::Text, {}, "-q"},
      {"--verbose", "", "the transports' diagnostic lines on stderr", ValueKind::Text, {}, "-v"},
      {"--help", "", "describe the subcommand", ValueKind::Text, {}, "-h"},
  };
  return options;
}

std::vector<Option> OptionsOf(const Subcommand& command) {
  std::vector<Option> out = command.options;
  // A subcommand that declares none still names the options it takes, for the completion.
  for (const auto& f : command.flags) out.push_back({f, "", ""});
  for (const auto& v : command.valueOptions) out.push_back({v, "VALUE", ""});
  if (command.json) out.push_back(kJson);
  return out;
}

std::optional<long long> ParseIntegerArg(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || !end || *end != '\0') return std::nullopt;
  return v;
}

void ToolMessage(const std::string& text) {
  RecordMessage(text);
  std::fprintf(stderr, "%s: %s\n", ApplicationName().c_str(), text.c_str());
}

int UsageError(const std::string& command, const std::string& text) {
  RecordMessage(text);
  const std::string app = ApplicationName();
  std::string usage;
  auto it = Subcommands().find(command);
  if (it != Subcommands().end() && HelpFromDeclaration(it->second))
    usage = "Usage: " + app + " " + command + (it->second.synopsis.empty() ? "" : " " + it->second.synopsis) +
            "\n";
  std::fprintf(stderr, "%s: %s: %s\n%s(see %s %s --help)\n", app.c_str(), command.c_str(), text.c_str(),
               usage.c_str(), app.c_str(), command.c_str());
  return kExitUsage;
}

bool HelpFromDeclaration(const Subcommand& command) {
  return command.usage.rfind("Usage:", 0) != 0;
}

std::string SubcommandHelp(const Subcommand& cmd) {
  std::string text;
  if (!HelpFromDeclaration(cmd)) {
    text = cmd.usage;
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (cmd.json) text += OptionLines({kJson});
  } else {
    text = "Usage: quilltool " + cmd.name + (cmd.synopsis.empty() ? "" : " " + cmd.synopsis) + "\n" +
           cmd.summary + ".\n";
    if (!cmd.usage.empty()) text += "\n" + cmd.usage;
    if (!text.empty() && text.back() != '\n') text += '\n';
    const std::vector<Option> options = OptionsOf(cmd);
    if (!options.empty()) text += "\nOptions:\n" + OptionLines(options);
  }
  text += "\nGlobal options (before or after the subcommand):\n" + OptionLines(GlobalOptions());
  return text + "\n" + ExitCodeLines();
}

std::string MainHelp() {
  std::ostringstream out;
  const std::string app = ApplicationName();
  out << "QuillTool: maintenance and firmware-development tool for VT2088 IP phones.\n\n"
      << "Usage:\n"
      << "  " << app << "                    start the GUI (\"Updating Tool\")\n"
      << "  " << app << " --demo             start the GUI against the built-in phone simulator\n"
      << "  " << app << " --full             start the GUI showing every control of the window\n"
      << "  " << app << " SUBCOMMAND ...     run one tool without a display\n"
      << "  " << app << " SUBCOMMAND --help  describe one subcommand\n\n"
      << "Options for every mode (a subcommand takes them after its name too):\n"
      << OptionLines(GlobalOptions()) << "  --version                 print the version\n\n"
      << "Subcommands:\n";
  size_t width = 0;
  for (const auto& [name, cmd] : Subcommands())
    if (!cmd.hidden) width = std::max(width, name.size());
  for (const auto& [name, cmd] : Subcommands())
    if (!cmd.hidden) out << "  " << name << std::string(width - name.size() + 3, ' ') << cmd.summary << "\n";
  out << "\n" << ExitCodeLines();
  return out.str();
}

int RunSubcommand(const std::string& name, const std::vector<std::string>& args, TerminalUi& ui) {
  auto it = Subcommands().find(name);
  if (it == Subcommands().end()) {
    const std::string app = ApplicationName();
    RecordMessage("unknown subcommand '" + name + "'");
    std::fprintf(stderr, "%s: unknown subcommand '%s' (see %s --help)\n", app.c_str(), name.c_str(),
                 app.c_str());
    return kExitUsage;
  }
  const Subcommand& cmd = it->second;
  bool json = false;
  if (cmd.json) {
    for (const auto& a : args) {
      if (a == "--") break;
      json = json || a == "--json";
    }
  }
  RecordMessage({});
  const auto start = std::chrono::steady_clock::now();
  const int code = CheckAndRun(cmd, args, ui);
  if (json)
    PrintJson(code, ui, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return code;
}

}  // namespace quill::cli
