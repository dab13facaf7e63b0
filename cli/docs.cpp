// The manual page and the shell completion, made from the command registry at build time, so that they
// name the options `--help` names and no others.
#include <algorithm>
#include <string>
#include <vector>

#include "app/start_options.h"
#include "cli/subcommand.h"

namespace quill::cli {
namespace {

// roff: a backslash printed as such, a minus as a minus (not a hyphen), and no line taken for a request.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

// Built by appending: gcc 12 at -O3 takes "literal" + std::string&& for an overlapping copy (-Wrestrict).
std::string OptionHead(const Option& o) {
  std::string head = "\\fB";
  if (!o.shortName.empty()) head.append(Roff(o.shortName)).append("\\fR, \\fB");
  head.append(Roff(o.name)).append("\\fR");
  if (!o.value.empty())
    head.append(o.value[0] == '[' ? "" : " ").append("\\fI").append(Roff(o.value)).append("\\fR");
  return head;
}

std::string OptionItems(const std::vector<Option>& options) {
  std::string out;
  for (const Option& o : options)
    out += ".TP\n" + OptionHead(o) + "\n" + Roff(o.help.empty() ? "see above" : o.help) + "\n";
  return out;
}

// Paragraphs of a description, one .PP each; indented lines (a list) kept as they are.
std::string Paragraphs(const std::string& text) {
  std::string out = ".PP\n";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (line.empty())
      out += ".PP\n";
    else if (line[0] == ' ')
      out += ".br\n" + Roff(line) + "\n";
    else
      out += Roff(line) + "\n";
    pos = end + 1;
  }
  return out;
}

std::vector<const Subcommand*> Shown() {
  std::vector<const Subcommand*> out;
  for (const auto& [name, cmd] : Subcommands())
    if (!cmd.hidden) out.push_back(&cmd);
  return out;
}

// Shell words are the registry's own (option names, board variants): no quoting needed, but checked.
std::string ShellWords(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words)
    if (w.find_first_of(" '\"$`\\;|&<>()") == std::string::npos) out += (out.empty() ? "" : " ") + w;
  return out;
}

std::vector<std::string> OptionNames(const std::vector<Option>& options) {
  std::vector<std::string> out;
  for (const Option& o : options) {
    if (!o.shortName.empty()) out.push_back(o.shortName);
    out.push_back(o.name);
  }
  return out;
}

// The completion of an option's value, as a bash statement.
std::string BashValue(const Option& o) {
  switch (o.kind) {
    case ValueKind::File:
      return "COMPREPLY=($(compgen -f -- \"$cur\"))";
    case ValueKind::Folder:
      return "COMPREPLY=($(compgen -d -- \"$cur\"))";
    case ValueKind::Choice:
      return "COMPREPLY=($(compgen -W \"" + ShellWords(o.choices) + "\" -- \"$cur\"))";
    case ValueKind::Text:
      break;
  }
  return "COMPREPLY=()";
}

std::string ZshQuote(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else if (c == '[' || c == ']')
      out += std::string("\\") + c;
    else
      out += c;
  }
  return out;
}

std::string ZshValue(ValueKind kind, const std::vector<std::string>& choices, const std::string& what) {
  switch (kind) {
    case ValueKind::File:
      return ":" + what + ":_files";
    case ValueKind::Folder:
      return ":" + what + ":_files -/";
    case ValueKind::Choice:
      return ":" + what + ":(" + ShellWords(choices) + ")";
    case ValueKind::Text:
      break;
  }
  return ":" + what + ": ";
}

std::string ZshOptionSpecs(const std::vector<Option>& options) {
  std::string out;
  for (const Option& o : options) {
    if (o.name == "--debug-log") {
      out += "      '--debug-log=-[" + ZshQuote(o.help) + "]::file:_files' \\\n";
      continue;
    }
    const std::string value = o.value.empty() ? "" : ZshValue(o.kind, o.choices, "value");
    const std::string help = std::string("[").append(ZshQuote(o.help)).append("]");
    if (!o.shortName.empty())
      out += "      '(" + o.shortName + " " + o.name + ")'{" + o.shortName + "," + o.name + "}'" + help +
             value + "' \\\n";
    else
      out += "      '" + o.name + help + value + "' \\\n";
  }
  return out;
}

}  // namespace

std::string ManualPage() {
  std::string page;
  page += ".TH QUILLTOOL 1 \"\" \"quilltool " + std::string(ToolVersion()) + "\" \"User Commands\"\n";
  page += ".SH NAME\nquilltool \\- maintenance and firmware\\-development tool for VT2088 IP phones\n";
  page +=
      ".SH SYNOPSIS\n.B quilltool\n[\\fIOPTIONS\\fR] [\\fB\\-\\-demo\\fR] [\\fB\\-\\-full\\fR]\n.br\n"
      ".B quilltool\n[\\fIOPTIONS\\fR] \\fISUBCOMMAND\\fR [\\fIARGUMENTS\\fR] [\\fIOPTIONS\\fR]\n";
  page +=
      ".SH DESCRIPTION\n"
      "Upgrades and configures IP phones built on the VT2088 chip over Ethernet (the phone's maintenance "
      "loader on TCP port 8739) or an RS\\-232 cable, shows their debug and call\\-detail\\-record output "
      "(UDP ports 8225 and 8227), and converts firmware development files.\n"
      ".PP\nWithout a subcommand it opens the window \"Updating Tool\". With one, it runs that tool without "
      "a display. Inputs come first and the output last; the phone is always named with "
      "\\fB\\-\\-phone\\fR and a serial port with \\fB\\-\\-port COM1\\fR|\\fBCOM2\\fR. Messages go to "
      "standard error, prefixed by \\fBquilltool:\\fR; a message about a file or a device names it on "
      "the line after the system's text.\n";
  page +=
      ".SH OPTIONS\nThese options come before the subcommand, or after it.\n" + OptionItems(GlobalOptions());
  page +=
      ".TP\n\\fB\\-\\-version\\fR\nprint the version\n"
      ".TP\n\\fB\\-\\-demo\\fR\nstart the window against the built\\-in phone simulator on loopback\n"
      ".TP\n\\fB\\-\\-full\\fR\nstart the window showing every control\n";
  page += ".SH SUBCOMMANDS\n";
  for (const Subcommand* cmd : Shown()) {
    if (!HelpFromDeclaration(*cmd)) {
      page += ".SS " + Roff(cmd->name) + "\n" + Roff(cmd->summary) + ".\n.PP\n.nf\n" + Roff(cmd->usage) +
              (cmd->usage.empty() || cmd->usage.back() == '\n' ? "" : "\n") + ".fi\n";
      if (cmd->json) page += OptionItems({OptionsOf(*cmd).back()});
    } else {
      page += ".SS \"" + Roff(cmd->name + (cmd->synopsis.empty() ? "" : " " + cmd->synopsis)) + "\"\n" +
              Roff(cmd->summary) + ".\n";
      if (!cmd->usage.empty()) page += Paragraphs(cmd->usage);
      page += OptionItems(OptionsOf(*cmd));
    }
  }
  page +=
      ".SH EXIT STATUS\n"
      ".TP\n0\nsuccess\n"
      ".TP\n1\nfailure, said on standard error naming the file or device\n"
      ".TP\n2\nusage error, naming the wrong word\n"
      ".TP\n130\ninterrupted (Ctrl\\-C; 143 for SIGTERM, 129 for SIGHUP); the files being written are "
      "left as they were\n";
  page +=
      ".SH ENVIRONMENT\n"
      ".TP\n\\fBQUILL_DEBUG_LOG\\fR\n\\fBstderr\\fR or a file: where the transports' diagnostic lines "
      "go, as \\fB\\-\\-debug\\-log\\fR\n"
      ".TP\n\\fBHOME\\fR\nthe folder that stands for drive C: (and the others) until the drive map says "
      "otherwise\n"
      ".TP\n\\fBXDG_CONFIG_HOME\\fR\nthe folder of the settings store (default \\fI~/.config\\fR) "
      "unless \\fB\\-\\-store\\fR names one\n"
      ".TP\n\\fBDISPLAY\\fR, \\fBWAYLAND_DISPLAY\\fR, \\fBQT_QPA_PLATFORM\\fR\nwhether the window can "
      "open; without a display only the subcommands run\n";
  page +=
      ".SH FILES\n"
      ".TP\n\\fI~/.config/Quillmark Communications/quilltool.conf\\fR\nthe settings store, named after the "
      "program (in \\fB$XDG_CONFIG_HOME\\fR when it is set; "
      "\\fIDIR/Quillmark Communications/quilltool.conf\\fR with \\fB\\-\\-store\\fR \\fIDIR\\fR): the "
      "tool options, the phone settings (section PhoneSettings), the last file of each tool, the drive "
      "map and the COM port map; \\fBquilltool options\\fR prints it\n"
      ".TP\nthe drive map\nsection \\fBPaths\\fR, keys \\fBDriveC\\fR, \\fBDriveD\\fR, ...: the folder that "
      "stands for each Windows drive in the fixed paths of the firmware tools (c:\\ezediza323\\e, "
      "c:\\eviziduv\\ep_voice\\e)\n"
      ".TP\nthe COM port map\nsection \\fBRs232\\fR, keys \\fBCOM1Device\\fR and \\fBCOM2Device\\fR "
      "(default \\fI/dev/ttyS0\\fR and \\fI/dev/ttyS1\\fR): the serial device behind COM1 and COM2\n";
  page += ".SH SEE ALSO\n\\fBquilltool SUBCOMMAND \\-\\-help\\fR\n";
  return page;
}

std::string BashCompletion() {
  const std::vector<Option>& global = GlobalOptions();
  std::string globalWords = ShellWords(OptionNames(global));
  std::string names;
  for (const Subcommand* cmd : Shown()) names += (names.empty() ? "" : " ") + cmd->name;
  std::string s =
      "# bash completion for quilltool, made from its command registry.\n"
      "_quilltool() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local global=\"" +
      globalWords +
      "\"\n"
      "  local cmd='' at=0 i\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in\n"
      "      --store) ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *) cmd=${COMP_WORDS[i]}; at=$i; break ;;\n"
      "    esac\n"
      "  done\n"
      "  case $prev in\n"
      "    --store) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
      "  esac\n"
      "  if [[ -z $cmd ]]; then\n"
      "    if [[ $cur == -* ]]; then\n"
      "      COMPREPLY=($(compgen -W \"$global --version --demo --full\" -- \"$cur\"))\n"
      "    else\n"
      "      COMPREPLY=($(compgen -W \"" +
      names +
      "\" -- \"$cur\"))\n"
      "    fi\n"
      "    return\n"
      "  fi\n"
      "  local opts='' values='' words='' kind=file\n"
      "  case $cmd in\n";
  for (const Subcommand* cmd : Shown()) {
    const std::vector<Option> options = OptionsOf(*cmd);
    std::vector<std::string> valued;
    std::string cases;
    for (const Option& o : options) {
      if (o.value.empty()) continue;
      valued.push_back(o.name);
      cases += "        " + o.name + ") " + BashValue(o) + "; return ;;\n";
    }
    const char* kind = cmd->positionalKind == ValueKind::File     ? "file"
                       : cmd->positionalKind == ValueKind::Folder ? "folder"
                                                                  : "none";
    s += "    " + cmd->name +
         ")\n"
         "      opts=\"" +
         ShellWords(OptionNames(options)) +
         "\"\n"
         "      values=\"" +
         ShellWords(valued) +
         "\"\n"
         "      words=\"" +
         ShellWords(cmd->words) +
         "\"\n"
         "      kind=" +
         kind + "\n";
    if (!cases.empty()) s += "      case $prev in\n" + cases + "      esac\n";
    s += "      ;;\n";
  }
  s += "    *) return ;;\n"
       "  esac\n"
       "  if [[ $cur == -* ]]; then\n"
       "    COMPREPLY=($(compgen -W \"$opts $global\" -- \"$cur\"))\n"
       "    return\n"
       "  fi\n"
       "  # The arguments before this one, without the options and their values.\n"
       "  local n=0\n"
       "  for ((i = at + 1; i < COMP_CWORD; i++)); do\n"
       "    case \" $values --store \" in\n"
       "      *\" ${COMP_WORDS[i]} \"*) ((i++)); continue ;;\n"
       "    esac\n"
       "    [[ ${COMP_WORDS[i]} == -* ]] || ((n++))\n"
       "  done\n"
       "  if [[ $n -eq 0 && -n $words ]]; then\n"
       "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
       "  elif [[ $kind == file ]]; then\n"
       "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
       "  elif [[ $kind == folder ]]; then\n"
       "    COMPREPLY=($(compgen -d -- \"$cur\"))\n"
       "  fi\n"
       "}\n"
       "complete -o filenames -F _quilltool quilltool\n";
  return s;
}

std::string ZshCompletion() {
  std::string s =
      "#compdef quilltool\n"
      "# zsh completion for quilltool, made from its command registry.\n"
      "_quilltool() {\n"
      "  local -a subcommands\n"
      "  subcommands=(\n";
  for (const Subcommand* cmd : Shown()) s += "    '" + cmd->name + ":" + ZshQuote(cmd->summary) + "'\n";
  s += "  )\n"
       "  if [[ $words[CURRENT-1] == --store ]]; then\n"
       "    _files -/\n"
       "    return\n"
       "  fi\n"
       "  # The subcommand: the first word that is no global option (nor the value of --store).\n"
       "  local i=2\n"
       "  while (( i < CURRENT )); do\n"
       "    case $words[i] in\n"
       "      --store) (( i += 2 )) ;;\n"
       "      -*) (( i++ )) ;;\n"
       "      *) break ;;\n"
       "    esac\n"
       "  done\n"
       "  if (( i >= CURRENT )); then\n"
       "    if [[ $PREFIX == -* ]]; then\n"
       "      compadd -- " +
       ShellWords(OptionNames(GlobalOptions())) +
       " --version --demo --full\n"
       "    else\n"
       "      _describe 'subcommand' subcommands\n"
       "    fi\n"
       "    return\n"
       "  fi\n"
       "  # The subcommand's own words, as _arguments expects them.\n"
       "  local cmd=$words[i]\n"
       "  words=(\"${(@)words[i,-1]}\")\n"
       "  (( CURRENT -= i - 1 ))\n"
       "  case $cmd in\n";
  for (const Subcommand* cmd : Shown()) {
    s += "    " + cmd->name + ")\n      _arguments -s \\\n" + ZshOptionSpecs(OptionsOf(*cmd)) +
         ZshOptionSpecs(GlobalOptions());
    if (!cmd->words.empty()) s += "      '1:word:(" + ShellWords(cmd->words) + ")' \\\n";
    s += "      '*" + ZshValue(cmd->positionalKind, {}, "argument") + "'\n      ;;\n";
  }
  s += "  esac\n"
       "}\n"
       "_quilltool \"$@\"\n";
  return s;
}

}  // namespace quill::cli
