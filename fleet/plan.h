// What one fleet run asks of each phone: the single-phone command its child runs, the file it reads or the
// output it writes, and for settings the lines that phone alone gets. The command line and the window make
// the same plan, so both check the same things before anything is sent and give each phone the same
// arguments. No QtWidgets.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/inventory.h"
#include "fleet/runner.h"

namespace quill::fleet {

// What the user asked for, before any check.
struct Request {
  std::string command;              // "ping", "update-program", ..., "sdram-save", "settings"
  std::optional<std::string> file;  // FILE, or sdram-save's output PATTERN with {address} and {name}
  std::vector<std::string> lines;   // settings: KEY=VALUE lines for every phone
  std::map<std::string, std::string> options;  // --page, --chip, --dir, --length as given
  std::vector<std::string> inputs;             // files the run reads besides these (the inventory)
};

// The commands the fleet runs, in the order help shows them.
const std::vector<std::string>& CommandNames();
bool CommandKnown(std::string_view command);
// Takes a FILE (or sdram-save's PATTERN) after the command.
bool CommandTakesFile(std::string_view command);
// The options a command takes besides the fleet's own.
const std::vector<std::string>& CommandOptions(std::string_view command);

class Plan {
 public:
  // Checks the request's shape: a known command, its file, its options, the common settings lines.
  // The first problem, or nothing. A problem here is a usage error.
  static std::optional<std::string> CheckRequest(const Request& request);

  // Checks everything the run needs before anything is sent: the files read, every phone's settings, every
  // output path (in an existing folder, none named twice, never an input). Every problem found, one each.
  // origin names the inventory in the problems about one of its lines.
  std::vector<std::string> Make(const Request& request, const std::vector<Phone>& phones,
                                const std::string& origin);

  // What a phone would get, for a dry run: "sdram-save of 1024 bytes into out/10.0.0.5.bin".
  std::string Describe(const Phone& phone) const;
  // Writes, into runDir, the settings file each phone's child reads (phones skipped get none).
  bool WritePhoneFiles(const std::string& runDir, const std::vector<PhoneState>& phones,
                       std::string& error) const;
  // The single-phone command line for a phone, before --phone.
  std::vector<std::string> ChildArgs(const std::string& runDir, const Phone& phone) const;
  // "update-program program.bin", for the report.
  std::string CommandLine() const;
  const std::string& Command() const { return request_.command; }

 private:
  Request request_;
  std::map<std::string, std::string> settingsText_;  // by address: the lines that phone gets
};

// A settings text file read whole (a regular file of at most kMaxSettingsTextFile bytes), or nothing with
// the reason in error.
std::optional<std::string> ReadSettingsText(const std::string& path, std::string& error);
// sdram-save's PATTERN with {address} and {name} (the address when the phone has no name) replaced.
std::string ExpandPattern(std::string pattern, const Phone& phone);
// The default run folder name, fleet-YYYYMMDD-HHMMSS (local time).
std::string DefaultRunDir();
// Makes the run folder: a new one, or an empty one the user named; an unnamed default moves on to
// "-2", "-3", ... when its second is taken. dir becomes the folder made.
bool MakeRunDir(std::string& dir, bool named, std::string& error);

}  // namespace quill::fleet
