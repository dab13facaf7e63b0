// How a file tool ended. The command line's exit code comes from it alone; the dialog returns to itself
// whatever the result.
#pragma once

namespace quill {

enum class ToolResult {
  Done,       // the tool ran to its end and its files replaced the old ones
  Cancelled,  // a file question went unanswered (a dialog cancelled) before the tool did its work
  Failed,     // the tool stopped at a failure it showed; no file was replaced
  // The tool went on past a failure it showed, as the system does (a HEX file that could not be read became
  // a page of 0xFF), and the window kept what it made. Under the command line's rule such a run is Failed.
  KeptAfterFailure,
  // The tool ran to its end with nothing to write, as the system does without a word (a HEX file without
  // data records gives no header); no file was made.
  NothingWritten,
};

}  // namespace quill
