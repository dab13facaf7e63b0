#include "cli/subcommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/application.h"

namespace quill::cli {
namespace {

std::map<std::string, Subcommand>& Registry() {
  static std::map<std::string, Subcommand> registry;
  return registry;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
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

bool Args::Has(const std::string& flag) const { return Contains(flags_, flag); }

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

const std::map<std::string, Subcommand>& Subcommands() { return Registry(); }

std::optional<long long> ParseIntegerArg(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || !end || *end != '\0') return std::nullopt;
  return v;
}

std::string MainHelp() {
  std::ostringstream out;
  std::string app = ApplicationName();
  out << "QuillTool: maintenance and firmware-development tool for VT2088 IP phones.\n\n"
      << "Usage:\n"
      << "  " << app << "                    start the GUI (\"Updating Tool\")\n"
      << "  " << app << " --demo             start the GUI against the built-in phone simulator\n"
      << "  " << app << " --full             start the GUI showing every control of the window\n"
      << "  " << app << " SUBCOMMAND ...     run one tool without a display\n"
      << "  " << app << " SUBCOMMAND --help  describe one subcommand\n\n"
      << "Options for every mode:\n"
      << "  --debug-log[=FILE]   write the transports' diagnostic lines to FILE (default: stderr);\n"
      << "                       the environment variable QUILL_DEBUG_LOG does the same\n"
      << "  --store DIR          keep the settings store under DIR instead of ~/.config\n"
      << "  --version            print the version\n"
      << "  --help               print this text\n\n"
      << "Subcommands:\n";
  size_t width = 0;
  for (const auto& [name, cmd] : Subcommands()) width = std::max(width, name.size());
  for (const auto& [name, cmd] : Subcommands())
    out << "  " << name << std::string(width - name.size() + 3, ' ') << cmd.summary << "\n";
  return out.str();
}

int RunSubcommand(const std::string& name, const std::vector<std::string>& args, TerminalUi& ui) {
  auto it = Subcommands().find(name);
  if (it == Subcommands().end()) {
    std::fprintf(stderr, "%s: unknown subcommand '%s' (see %s --help)\n", ApplicationName().c_str(),
                 name.c_str(), ApplicationName().c_str());
    return kExitUsage;
  }
  const Subcommand& cmd = it->second;
  Args parsed(args, cmd.valueOptions);
  if (parsed.Has("--help") || parsed.Has("-h")) {
    std::fputs(cmd.usage.c_str(), stdout);
    if (!cmd.usage.empty() && cmd.usage.back() != '\n') std::fputc('\n', stdout);
    return kExitOk;
  }
  std::vector<std::string> known = cmd.flags;
  if (!parsed.Error().empty()) {
    std::fprintf(stderr, "%s %s: %s\n", ApplicationName().c_str(), name.c_str(), parsed.Error().c_str());
    return kExitUsage;
  }
  auto unknown = parsed.Unknown(known);
  if (!unknown.empty()) {
    std::fprintf(stderr, "%s %s: unknown option %s\n%s", ApplicationName().c_str(), name.c_str(),
                 unknown.front().c_str(), cmd.usage.c_str());
    return kExitUsage;
  }
  if (parsed.Has("--yes")) ui.SetAnswerYes(true);
  return cmd.run(parsed, ui);
}

}  // namespace quill::cli
