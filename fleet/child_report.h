// The child's side of a fleet run: one phone's command reports its steps to the fleet on a pipe, one line
// per event, and stops early on request only while the phone cannot have started writing.
//
//   stage connected | command | acknowledged
//   progress DONE TOTAL TEXT
//   message TEXT
//
// TEXT is escaped so that each event stays on one line ("\n" for a line break, "\\" for a backslash).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/maintenance_link.h"
#include "platform/ui.h"

namespace quill::fleet {

// The signal the fleet sends a child to stop it: the child ends (as on Ctrl-C) when its command byte has
// not gone out yet, and carries on to the end otherwise, so a phone that is erasing is never cut off.
constexpr int kStopSignal = 10;  // SIGUSR1, spelled out so the header needs no <signal.h>

std::string EscapeEventText(std::string_view text);
std::string UnescapeEventText(std::string_view text);

// Writes the events to a descriptor it does not own; a write that fails (the fleet is gone) is dropped,
// the command goes on.
class ChildReporter {
 public:
  explicit ChildReporter(int fd) : fd_(fd) {}
  void Event(std::string_view kind, std::string_view rest);
  void Progress(long long done, long long total, std::string_view text);

  // A Ui that passes everything to inner and reports messages and progress as it goes.
  std::unique_ptr<Ui> Wrap(Ui& inner);
  // The link's watcher: reports each stage; before the command byte it decides, against a pending stop,
  // whether the command may still go out.
  LinkStageObserver Observer();
  // Installs the stop signal's handler. Until the command byte is committed a stop ends the process as
  // SIGINT does (temporary files removed, exit 130); after it, the stop is ignored.
  static void InstallStopHandler();

 private:
  int fd_;
};

// What a child command sets up from its --progress-fd value: the reporter, the Ui that reports what it
// shows, and the stop handler. Without a descriptor, nothing: the command shows to its own Ui.
class ChildReporting {
 public:
  // Reports on descriptor fd; false, with nothing set up, when fd is none from 3 to 1023.
  bool Start(std::optional<long long> fd, Ui& ui);
  // The Ui the command is to show to.
  Ui& Shown(Ui& ui) const { return wrapped_ ? *wrapped_ : ui; }
  // The link's stages reported, and its command byte held back on a stop.
  void Watch(CMaintenanceLink& link);

 private:
  std::optional<ChildReporter> reporter_;
  std::unique_ptr<Ui> wrapped_;
};

}  // namespace quill::fleet
