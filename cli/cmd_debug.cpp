// `quilltool decode [FILE]`: a saved debug log (or standard input) decoded line by line to standard
// output, fast enough to sit in a pipe in front of grep, in bounded memory whatever the input.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/subcommand.h"
#include "debugmon/debug_stream_decoder.h"
#include "platform/file_io.h"

namespace quill::cli {
namespace {

// Large blocks keep the system calls few; each block's decoded text goes out in one write.
constexpr size_t kBlockSize = 1 << 20;
// A longer line (a file that is no log, an endless device) is decoded in pieces of this size, each as a
// line of its own without a line end, so the decoder never holds more.
constexpr size_t kMaxLine = 1 << 20;

bool WriteAll(int fd, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Feeds a block to the decoder in one piece, cut only where a line would pass kMaxLine (its first kMaxLine
// bytes then end as a line of their own); lineLength carries the length of the line in progress from block
// to block. A line that begins and ends inside a block no longer than kMaxLine cannot pass it, so only the
// block's first and last lines are measured, not every line. False when the output failed.
bool DecodeBlock(CDebugStreamDecoder& decoder, const char* data, size_t size, size_t& lineLength) {
  size_t start = 0;
  size_t pos = 0;
  while (pos < size) {
    const void* lf = std::memchr(data + pos, '\n', size - pos);
    size_t lineEnd = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : size;
    if (lineLength + (lineEnd - pos) > kMaxLine) {
      const size_t cut = pos + (kMaxLine - lineLength);
      if (!WriteAll(STDOUT_FILENO, decoder.Feed(data + start, cut - start)) ||
          !WriteAll(STDOUT_FILENO, decoder.Finish()))
        return false;
      start = pos = cut;
      lineLength = 0;
      continue;
    }
    if (!lf) {
      lineLength += size - pos;
      break;
    }
    if (size - lineEnd - 1 <= kMaxLine) {
      if (const void* last = ::memrchr(data + lineEnd + 1, '\n', size - lineEnd - 1))
        lineEnd = static_cast<size_t>(static_cast<const char*>(last) - data);
    }
    pos = lineEnd + 1;
    lineLength = 0;
  }
  return WriteAll(STDOUT_FILENO, decoder.Feed(data + start, size - start));
}

int RunDecode(const Args& args, TerminalUi& ui) {
  const auto& files = args.Positionals();  // at most one: a declared bound
  CInputFile in;
  const bool opened = files.empty() || files[0] == "-" ? in.OpenStandardInput() : in.Open(files[0]);
  if (!opened) {
    ui.Message(FileFailureText("Can not open source file", in.Error()));
    return kExitFailure;
  }
  // A log decoded into itself (decode log >> log) would read its own output for ever.
  struct stat input {
  }, output{};
  if (in.IsRegular() && ::fstat(in.Descriptor(), &input) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
      input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
    ui.Message(FileFailureText("Can not open source file", {in.Path(), "the same file as standard output"}));
    return kExitFailure;
  }

  CDebugStreamDecoder decoder;
  std::vector<char> block(kBlockSize);
  size_t lineLength = 0;
  for (;;) {
    ssize_t n = in.Read(block.data(), block.size());
    if (n < 0) {
      ui.Message(FileFailureText("Can not read source file", in.Error()));
      return kExitFailure;
    }
    const bool written = n == 0 ? WriteAll(STDOUT_FILENO, decoder.Finish())
                                : DecodeBlock(decoder, block.data(), static_cast<size_t>(n), lineLength);
    if (!written) {
      // A reader that went away (a closed pipe) needs no message; a full disk does.
      if (errno != EPIPE)
        ui.Message(
            FileFailureText("Can not write the decoded text", {"standard output", std::strerror(errno)}));
      return kExitFailure;
    }
    if (n == 0) return kExitOk;
  }
}

const bool registered = [] {
  Subcommand c{
      "decode",
      "decode the phone's debug text (event codes to names) line by line to stdout",
      "Reads FILE (standard input when none is given, or when FILE is -) and writes each line to standard\n"
      "output with every 0x event code replaced by its name, as the debug monitor shows it. Any input is\n"
      "read as it comes (a pipe, a FIFO, a device), in bounded memory; a line longer than 1 MiB is decoded "
      "in\n"
      "pieces of 1 MiB.\n",
      {},
      {},
      RunDecode};
  c.synopsis = "[FILE]";
  c.maxPositionals = 1;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
