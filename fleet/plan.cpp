#include "fleet/plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "platform/file_io.h"
#include "settings/settings_image.h"
#include "settings/settings_text_file.h"

namespace quill::fleet {
namespace {

// The single-phone subcommand behind each fleet command.
struct CommandShape {
  std::string name;
  std::string child;
  bool wantsFile;
  std::vector<std::string> passOptions;  // the fleet's options handed on unchanged
  std::vector<std::string> fixed;        // always given to the child
};

const std::vector<CommandShape>& Shapes() {
  static const std::vector<CommandShape> shapes = {
      {"ping", "ping", false, {}, {}},
      {"update-program", "update-program", true, {}, {"--tcp", "--yes"}},
      {"update-page", "update-page", false, {"--page", "--chip", "--dir"}, {"--tcp", "--yes"}},
      {"update-ring", "update-ring", true, {}, {"--tcp", "--yes"}},
      {"update-map", "update-map", true, {}, {"--tcp", "--yes"}},
      {"update-hold", "update-hold", true, {}, {"--tcp", "--yes"}},
      {"update-alternate", "update-alternate", true, {}, {"--tcp", "--yes"}},
      {"sdram-save", "sdram-save", true, {"--length"}, {"--tcp"}},
      {"settings", "apply-settings", false, {}, {}},
  };
  return shapes;
}

const CommandShape* Find(std::string_view command) {
  for (const CommandShape& shape : Shapes())
    if (shape.name == command) return &shape;
  return nullptr;
}

// A settings line for every phone: it must set something, and never a value that must differ per phone.
std::optional<std::string> CheckCommonLine(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos || eq == 0) return "\"" + line + "\" is not KEY=VALUE";
  const std::string key = line.substr(0, eq);
  if (key == "ip" || key == "mac")
    return "\"" + line + "\" would give every phone the same " + key +
           "; put it in each phone's own settings file";
  SettingsImage zeros{}, ones{};
  ones.fill(0xFF);
  const SettingsImage zerosBefore = zeros, onesBefore = ones;
  ApplySettingsLine(SettingsImageSpan(zeros), line);
  ApplySettingsLine(SettingsImageSpan(ones), line);
  if (zeros == zerosBefore && ones == onesBefore) return "\"" + line + "\" sets no setting (unknown key?)";
  return std::nullopt;
}

// The same file as another by device and inode, when both exist.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string SettingsFileOf(const std::string& runDir, const Phone& phone) {
  return runDir + "/" + phone.address + ".settings.txt";
}

}  // namespace

const std::vector<std::string>& CommandNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const CommandShape& shape : Shapes()) all.push_back(shape.name);
    return all;
  }();
  return names;
}

bool CommandKnown(std::string_view command) {
  return Find(command) != nullptr;
}

bool CommandTakesFile(std::string_view command) {
  const CommandShape* shape = Find(command);
  return shape && shape->wantsFile;
}

const std::vector<std::string>& CommandOptions(std::string_view command) {
  static const std::vector<std::string> none;
  const CommandShape* shape = Find(command);
  return shape ? shape->passOptions : none;
}

std::optional<std::string> ReadSettingsText(const std::string& path, std::string& error) {
  CInputFile in;
  std::vector<uint8_t> bytes;
  if (!in.OpenRegular(path) || !in.ReadUpTo(bytes, kMaxSettingsTextFile + 1)) {
    error = FileFailureText("Can not open source file", in.Error());
    return std::nullopt;
  }
  if (bytes.size() > kMaxSettingsTextFile) {
    error = path + ": larger than " + std::to_string(kMaxSettingsTextFile >> 20) + " MiB";
    return std::nullopt;
  }
  return std::string(bytes.begin(), bytes.end());
}

std::string ExpandPattern(std::string pattern, const Phone& phone) {
  auto replace = [&pattern](const std::string& key, const std::string& value) {
    for (size_t at = pattern.find(key); at != std::string::npos; at = pattern.find(key, at + value.size()))
      pattern.replace(at, key.size(), value);
  };
  replace("{address}", phone.address);
  replace("{name}", phone.name.empty() ? phone.address : phone.name);
  return pattern;
}

std::optional<std::string> Plan::CheckRequest(const Request& request) {
  const CommandShape* shape = Find(request.command);
  if (!shape) return "\"" + request.command + "\" is not a command the fleet runs";
  if (shape->wantsFile && (!request.file || request.file->empty()))
    return request.command +
           (request.command == "sdram-save" ? " takes one output PATTERN" : " takes one FILE");
  if (!shape->wantsFile && request.file)
    return request.command + " takes no argument \"" + *request.file + "\"";
  if (!request.lines.empty() && request.command != "settings")
    return request.command + " takes no argument \"" + request.lines.front() + "\"";
  for (const std::string& line : request.lines)
    if (auto problem = CheckCommonLine(line)) return problem;
  for (const auto& [option, value] : request.options) {
    const auto& pass = shape->passOptions;
    if (std::find(pass.begin(), pass.end(), option) == pass.end())
      return option + " does not go with " + request.command;
  }
  if (request.command == "sdram-save" && !request.options.count("--length"))
    return "sdram-save needs --length N";
  return std::nullopt;
}

std::vector<std::string> Plan::Make(const Request& request, const std::vector<Phone>& phones,
                                    const std::string& origin) {
  request_ = request;
  settingsText_.clear();
  std::vector<std::string> problems;
  if (auto problem = CheckRequest(request)) return {*problem};
  std::vector<std::string>& inputs = request_.inputs;
  const std::string& command = request.command;
  if (request.file && command != "sdram-save") {
    CInputFile in;
    if (!in.OpenRegular(*request.file))
      problems.push_back(FileFailureText("Can not open source file", in.Error()));
    inputs.push_back(*request.file);
  }
  if (command == "update-page") {
    // The page file the window's command loads from its working directory.
    auto dir = request.options.find("--dir");
    const std::string page = (dir == request.options.end() ? std::string(".") : dir->second) + "/Page0.hex";
    CInputFile in;
    if (!in.OpenRegular(page)) problems.push_back(FileFailureText("Can not open source file", in.Error()));
  }
  if (command == "settings") {
    for (const Phone& phone : phones) {
      std::string text;
      if (!phone.settings.empty()) {
        std::string error;
        auto read = ReadSettingsText(phone.settings, error);
        if (!read) {
          problems.push_back((phone.line > 0 ? origin + ":" + std::to_string(phone.line) : phone.address) +
                             ": " + error);
          continue;
        }
        inputs.push_back(phone.settings);
        text = *read;
        if (!text.empty() && text.back() != '\n') text += '\n';
      }
      for (const std::string& line : request.lines) text += line + "\n";
      if (text.empty())
        problems.push_back(phone.address + ": no settings to apply (no settings file, no KEY=VALUE)");
      settingsText_[phone.address] = text;
    }
  }
  if (command == "sdram-save") {
    const std::string& pattern = *request.file;
    if (pattern.find("{address}") == std::string::npos && pattern.find("{name}") == std::string::npos &&
        phones.size() > 1)
      problems.push_back("the output " + pattern +
                         " names no {address} or {name}: every phone would write it");
    std::map<std::string, std::string> seen;
    for (const Phone& phone : phones) {
      const std::string output = ExpandPattern(pattern, phone);
      auto [at, fresh] = seen.emplace(output, phone.address);
      if (!fresh) problems.push_back(phone.address + " and " + at->second + " would both write " + output);
      for (const std::string& input : inputs)
        if (SameFile(output, input))
          problems.push_back(output + " is an input of this run; it is never overwritten");
      const size_t slash = output.rfind('/');
      const std::string folder =
          slash == std::string::npos ? "." : output.substr(0, std::max<size_t>(slash, 1));
      struct stat st {};
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        problems.push_back(output + ": the folder " + folder + " does not exist");
    }
  }
  return problems;
}

std::string Plan::Describe(const Phone& phone) const {
  const std::string& command = request_.command;
  if (command == "sdram-save")
    return "sdram-save of " + request_.options.at("--length") + " bytes into " +
           ExpandPattern(*request_.file, phone);
  if (command == "settings") {
    auto at = settingsText_.find(phone.address);
    std::string lines = at == settingsText_.end() ? std::string() : at->second;
    std::replace(lines.begin(), lines.end(), '\n', ' ');
    return "settings " + lines;
  }
  return CommandLine();
}

bool Plan::WritePhoneFiles(const std::string& runDir, const std::vector<PhoneState>& phones,
                           std::string& error) const {
  if (request_.command != "settings") return true;
  for (const PhoneState& state : phones) {
    if (state.outcome == Outcome::Skipped) continue;
    auto text = settingsText_.find(state.phone.address);
    if (text == settingsText_.end()) {
      error = state.phone.address + ": no settings planned for this phone";
      return false;
    }
    COutputFile out;
    if (!out.Create(SettingsFileOf(runDir, state.phone))) {
      error = FileFailureText("Can not create file", out.Error());
      return false;
    }
    out.Write(text->second);
    if (!out.Commit()) {
      error = FileFailureText("Can not write file", out.Error());
      return false;
    }
  }
  return true;
}

std::vector<std::string> Plan::ChildArgs(const std::string& runDir, const Phone& phone) const {
  const CommandShape* shape = Find(request_.command);
  if (!shape) return {};
  std::vector<std::string> args = {shape->child};
  if (request_.command == "sdram-save")
    args.push_back(ExpandPattern(*request_.file, phone));
  else if (request_.command == "settings")
    args.push_back(SettingsFileOf(runDir, phone));
  else if (shape->wantsFile && request_.file)
    args.push_back(*request_.file);
  for (const std::string& option : shape->passOptions)
    if (auto value = request_.options.find(option); value != request_.options.end())
      args.insert(args.end(), {option, value->second});
  args.insert(args.end(), shape->fixed.begin(), shape->fixed.end());
  return args;
}

std::string Plan::CommandLine() const {
  return request_.command + (request_.file ? " " + *request_.file : std::string());
}

std::string DefaultRunDir() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "fleet-%Y%m%d-%H%M%S", &tm);
  return text;
}

bool MakeRunDir(std::string& dir, bool named, std::string& error) {
  for (int attempt = 1; attempt <= 100; ++attempt) {
    const std::string path = named || attempt == 1 ? dir : dir + "-" + std::to_string(attempt);
    if (::mkdir(path.c_str(), 0755) == 0) {
      dir = path;
      return true;
    }
    if (errno != EEXIST) {
      error = path + ": " + std::strerror(errno);
      return false;
    }
    if (named) {
      struct stat st {};
      const bool folder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      std::error_code ec;
      if (folder && std::filesystem::is_empty(path, ec)) return true;
      error = path + " already exists and is not an empty folder; the run folder must be new";
      return false;
    }
  }
  error = dir + ": no free run folder name";
  return false;
}

}  // namespace quill::fleet
