// How a file tool ended, for the front ends that report it (the command line's exit code); the dialog
// returns to itself whatever the result.
#pragma once

namespace quill {

enum class ToolResult {
  Done,       // the tool ran to its end (it may have shown a message on the way)
  Cancelled,  // a file dialog was cancelled before the tool did its work
  Failed,     // the tool stopped at a message: a source it could not open, a destination it could not create
};

}  // namespace quill
