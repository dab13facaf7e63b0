// `quilltool decode [FILE]`: a saved debug log (or standard input) decoded line by line to standard
// output, fast enough to sit in a pipe in front of grep.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "cli/subcommand.h"
#include "debugmon/debug_stream_decoder.h"

namespace quill::cli {
namespace {

// Large blocks keep the system calls few; each block's decoded text goes out in one write.
constexpr size_t kBlockSize = 1 << 20;

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

int RunDecode(const Args& args, TerminalUi& ui) {
  const auto& files = args.Positionals();
  if (files.size() > 1) {
    ui.Message("Give at most one file to decode");
    return kExitUsage;
  }
  int in = STDIN_FILENO;
  bool ownInput = !files.empty() && files[0] != "-";
  if (ownInput) {
    in = ::open(files[0].c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
      ui.Message("Can not open source file");
      return kExitFailure;
    }
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  CDebugStreamDecoder decoder;
  std::vector<char> block(kBlockSize);
  int result = kExitOk;
  for (;;) {
    ssize_t n = ::read(in, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ui.Message("Can not read source file");
      result = kExitFailure;
      break;
    }
    std::string_view out = n == 0 ? decoder.Finish() : decoder.Feed(block.data(), static_cast<size_t>(n));
    if (!WriteAll(STDOUT_FILENO, out)) {
      // A reader that went away (a closed pipe) needs no message; a full disk does.
      if (errno != EPIPE) ui.Message("Can not write the decoded text");
      result = kExitFailure;
      break;
    }
    if (n == 0) break;
  }
  if (ownInput) ::close(in);
  return result;
}

const bool registered = RegisterSubcommand({
    "decode",
    "decode the phone's debug text (event codes to names) line by line to stdout",
    "Usage: quilltool decode [FILE]\n"
    "Reads FILE (standard input when none is given, or when FILE is -) and writes each line to standard\n"
    "output with every 0x event code replaced by its name, as the debug monitor shows it.\n",
    {},
    {},
    RunDecode,
});

}  // namespace
}  // namespace quill::cli
