// One run of a file tool (a button press, a command) and the files it writes. Every output of a tool is
// made through its run, and the run decides at its end whether they replace their files: all of them
// together, or none.
//
// Some tools go on past a failure on purpose, as the system does: a HEX file that cannot be read becomes a
// page of 0xFF, a missing piece of a flash image likewise, a voice prompt that cannot be converted is
// skipped. What becomes of their files then is one rule, kept here:
//   - the window keeps what the tool made: the user has read the message and goes on from there;
//   - the command line counts the run as failed and replaces no file, since no one reads its messages
//     before the files are used.
//
// Runs nest on a thread, as CFileRun does (each run is one too): a run begun inside another (the header of
// one voice prompt inside the batch, a tool inside a command) hands its files to the outermost run, which
// commits them at its end by its rule. A front end with more to do before the files replace the old ones
// (the command line saves the remembered names first) holds the outermost run itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "filetools/tool_result.h"
#include "platform/file_io.h"

namespace quill {

class Ui;

enum class AfterFailure {
  KeepWhatWasMade,  // the window
  CommitNothing,    // the command line
};

class CToolRun {
 public:
  // rule counts for the outermost run only; a run inside another follows the outer one's.
  explicit CToolRun(Ui& ui, AfterFailure rule = AfterFailure::KeepWhatWasMade);
  // Files of a run that was not finished are abandoned: nothing is replaced.
  ~CToolRun();
  CToolRun(const CToolRun&) = delete;
  CToolRun& operator=(const CToolRun&) = delete;

  // A new output, owned by the run; null after "Can not create dest file" with the path and the reason.
  COutputFile* Create(const std::string& path, COutputFile::Mode mode = COutputFile::Mode::Binary);
  // Shows the wait cursor until EndWait, a message of the run, or its end.
  void BeginWait();
  void EndWait();
  // A failure the tool has shown and goes on past.
  void WentOnPast(int count = 1);

  // Shows text and ends the tool's part of the run as Failed.
  ToolResult Fail(const std::string& text);
  // Ends the tool's part of the run with the tool's own result. A tool that did not get to its end
  // (Failed, Cancelled, NothingWritten) has its files abandoned. Otherwise a run inside another writes its
  // files out and leaves them to the outer one (Done, or KeptAfterFailure when it went past a failure), and
  // the outermost commits every file of the run together by its rule: Failed when a failure was gone past
  // under CommitNothing (nothing replaced, said once) or a file could not be written (its message); else
  // Done, or KeptAfterFailure.
  ToolResult Finish(ToolResult result);

 private:
  struct Shared;
  void Abandon();

  Ui& ui_;
  CFileRun files_;
  CToolRun* outer_;  // the outermost run, or null for that run itself
  std::shared_ptr<Shared> shared_;
  size_t first_;      // this run's files in shared_->outputs: from first_ on
  int failures_ = 0;  // gone past in this run (and the runs inside it)
  bool waiting_ = false;
  bool finished_ = false;
};

}  // namespace quill
