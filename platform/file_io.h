// The one file layer: every file a tool, command or front end reads or writes goes through it.
//
// Writing (COutputFile). A regular destination, or one that does not exist yet, is written to a temporary
// file in its folder, synced, and renamed over the destination only when the tool commits. A failure, an
// abandon, a destructor without a commit, or SIGINT, SIGTERM or SIGHUP during the run removes the temporary
// file and nothing else: the destination is exactly what it was (absent, or the old file). The old file's
// permissions are kept; a symbolic link to a regular file stays a link (its target is replaced). A
// destination that is no regular file (a character device, a FIFO, a terminal, a symbolic link to one) is
// written in place: it is never truncated, renamed over or removed.
//
// Reading (CInputFile, CLineReader). Opening never blocks: a FIFO or a device is opened non-blocking, so a
// FIFO without a writer does not hold the open; a stream's reads then wait for its data. A tool that needs
// the size of its input or the whole of it opens it with OpenRegular (or ReadWholeFile, with a limit), which
// refuses FIFOs, devices and sockets. Lines are bounded: a line longer than kMaxLine comes in pieces.
//
// Same file. While a CFileRun lives on a thread, every source opened and destination created on that thread
// is compared with the others by device and inode (so symbolic links, hard links and "./a" beside "a" are
// one file): a source that is also a destination, or two destinations that are one file, make the later
// open fail, naming both paths. Nothing has reached a destination then: it is only renamed into place at
// the commit.
//
// Failures come back as a FileError: the path the user named and the reason (the system's text, such as
// "No space left on device", or the layer's own). FileFailureText puts the tool's own message first.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

struct FileError {
  std::string path;    // as the user named it
  std::string reason;  // "No space left on device", "the same file as the destination x.h", ...
  // Refused as the same file as another of the run: the tool must stop rather than go on without it.
  bool sameFile = false;
  bool IsSet() const { return !reason.empty(); }
};

// "headline\npath: reason", the text a tool shows: its own message first ("Can not create dest file"),
// then what went wrong with which file. The headline alone when no error is set.
std::string FileFailureText(std::string_view headline, const FileError& error);

// One run of a tool on this thread (a button press, a command): the sources and destinations opened while
// it lives are checked against each other. Runs nest: an inner run belongs to the outer one.
class CFileRun {
 public:
  CFileRun();
  ~CFileRun();
  CFileRun(const CFileRun&) = delete;
  CFileRun& operator=(const CFileRun&) = delete;

  struct Entry;

 private:
  bool owner_;
};

// Checks paths before a tool that does not open them through this layer (an audio engine's hooks): false,
// with the clash in error, when a source is also a destination or two destinations are one file. Sources
// and destinations that do not exist cannot clash, except two destinations naming one new file.
bool CheckDistinctFiles(const std::vector<std::string>& sources, const std::vector<std::string>& destinations,
                        FileError* error);

// A source, read from the start to the end.
class CInputFile {
 public:
  CInputFile() = default;
  ~CInputFile() { Close(); }
  CInputFile(const CInputFile&) = delete;
  CInputFile& operator=(const CInputFile&) = delete;

  // Any readable file that is no folder: a regular file, or a stream (FIFO, pipe, device, terminal).
  bool Open(const std::string& path);
  // A regular file only: for a tool that needs the size first or the whole input.
  bool OpenRegular(const std::string& path);
  // The process's standard input, as whatever it is.
  bool OpenStandardInput();
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  bool IsRegular() const { return regular_; }
  // A regular file's size when it was opened.
  uint64_t Size() const { return size_; }
  // Up to size bytes: the count read, 0 at the end of the input, -1 on a read error (Error() says why).
  // A stream's read waits for its data.
  ssize_t Read(void* data, size_t size);
  // The next count bytes (fewer at the end of the input) in out; false on a read error.
  bool ReadUpTo(std::vector<uint8_t>& out, size_t count);

  const FileError& Error() const { return error_; }
  const std::string& Path() const { return path_; }
  int Descriptor() const { return fd_; }

 private:
  bool OpenPath(const std::string& path, bool regularOnly);
  bool Adopt(int fd, bool ownFd, bool regularOnly);
  bool Fail(std::string reason);

  int fd_ = -1;
  bool ownFd_ = false;
  bool regular_ = false;
  uint64_t size_ = 0;
  std::string path_;
  FileError error_;
};

// Result of reading a whole file.
enum class ReadStatus {
  Ok,
  CannotOpen,  // missing, a folder, not a regular file, the same file as a destination of the run
  TooLarge,    // larger than the limit; the reason names the size and the limit
  ReadError,   // opened but could not be read
};

// Reads a whole regular file of at most limit bytes.
ReadStatus ReadWholeFile(const std::string& path, size_t limit, std::vector<uint8_t>& out, FileError* error);
ReadStatus ReadWholeFile(const std::string& path, size_t limit, std::string& out, FileError* error);

// A text source read one line at a time through one bounded buffer. A line ends at LF or CR LF and is
// handed over without its end; a last line without a line end is still a line.
class CLineReader {
 public:
  // A longer line is handed over in pieces of this many bytes.
  static constexpr size_t kMaxLine = size_t{1} << 20;

  CLineReader() = default;
  CLineReader(const CLineReader&) = delete;
  CLineReader& operator=(const CLineReader&) = delete;

  bool Open(const std::string& path);         // as CInputFile::Open
  bool OpenRegular(const std::string& path);  // as CInputFile::OpenRegular
  bool OpenStandardInput();
  void Close();
  bool IsOpen() const { return in_.IsOpen(); }

  // The next line, or the next piece of a long one; ended (when given) tells whether it ends the line.
  // The view stays valid until the next call. False at the end of the input or on a read error.
  bool ReadLine(std::string_view& line, bool* ended = nullptr);
  // True when a read error, not the end of the input, ended the lines.
  bool Failed() const { return failed_; }
  const FileError& Error() const { return in_.Error(); }
  const std::string& Path() const { return in_.Path(); }

 private:
  bool Fill();
  void Reset();

  CInputFile in_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// A destination. Create, then Write; nothing reaches the destination before Commit.
class COutputFile {
 public:
  enum class Mode { Binary, Text };  // Text: every LF written is stored as CR LF

  static constexpr size_t kBufferSize = size_t{1} << 20;

  COutputFile() = default;
  // A file that was not committed is abandoned.
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Prepares path: the temporary file beside a regular (or new) destination, or the destination itself
  // opened in place when it is a device, FIFO or terminal. False, with Error(), when the destination
  // cannot be written: its folder is missing or read-only, it is a folder, a FIFO nobody reads, a socket,
  // the same file as a source or another destination of the run, ...
  bool Create(const std::string& path, Mode mode = Mode::Binary);
  void Write(const void* data, size_t size);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  // Room for size bytes (at most kBufferSize) at the end of the buffer, for the caller to fill and then keep
  // with Advance(size). Binary mode only; null once the file has failed.
  char* Reserve(size_t size);
  void Advance(size_t size) { used_ += size; }

  // Flushes, syncs and renames the temporary file over the destination (or flushes a file written in
  // place). False, with Error(), when any write failed or the rename did: the temporary file is removed
  // and the destination is as it was.
  bool Commit();
  // Commits several files of one run: all are written and synced first, then renamed one after another
  // with SIGINT, SIGTERM and SIGHUP held back, so an interrupt never leaves some new and some old. When
  // one cannot be finished, none is renamed and all are abandoned; returns false and that file has Error().
  static bool CommitAll(std::span<COutputFile* const> files);
  // Removes the temporary file (a destination written in place is only closed).
  void Abandon();
  // Writes out what is buffered, syncs and closes the file, and frees its buffer, without renaming it:
  // Commit or CommitAll then only renames. For a run that keeps many written files until it commits them
  // together. False, with Error(), when a write failed; the file then still needs Abandon.
  bool Finish();

  bool IsOpen() const { return open_; }
  bool Failed() const { return failed_; }
  // True when the destination is written in place (it is no regular file).
  bool InPlace() const { return inPlace_; }
  const FileError& Error() const { return error_; }
  const std::string& Path() const { return path_; }

 private:
  bool Publish();
  void Flush();
  void WriteRaw(const char* data, size_t size);
  bool Fail(int error);
  bool FailWith(std::string reason);
  void Release();

  int fd_ = -1;
  bool open_ = false;
  bool inPlace_ = false;
  bool failed_ = false;
  Mode mode_ = Mode::Binary;
  int slot_ = -1;       // in the table of temporary files that a signal removes
  std::string path_;    // as given
  std::string target_;  // the file the rename replaces (symbolic links followed)
  std::string temporary_;
  // Grows without setting its bytes: only the used_ bytes written into it are ever read, and setting a
  // megabyte first costs a short command a page fault for every page.
  template <class T>
  struct UnsetAllocator : std::allocator<T> {
    template <class U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
  };
  std::vector<char, UnsetAllocator<char>> buffer_;
  size_t used_ = 0;
  FileError error_;
};

// A log that only grows (a monitor's --log). Each Append goes to the end of the file at once, in one write
// with O_APPEND, so what was shown is in the file even when the tool is killed, and two tools logging into
// one file interleave whole texts. A missing file is created (0666 less the umask); an existing one is never
// truncated, replaced or removed; a device, FIFO or terminal is written in place, as COutputFile does.
// Nothing is buffered, so memory stays bounded however long the log runs. The first failure is kept in
// Error() and every later Append is refused, so a log with a hole in it is never taken for a whole one.
class CAppendFile {
 public:
  CAppendFile() = default;
  ~CAppendFile() { Close(); }
  CAppendFile(const CAppendFile&) = delete;
  CAppendFile& operator=(const CAppendFile&) = delete;

  // False, with Error(), when path cannot be appended to: a folder, a socket, a missing or read-only
  // folder, a FIFO nobody reads, the same file as a source or destination of the run, ...
  bool Open(const std::string& path);
  // False, with Error(), when the text did not reach the file whole, or an earlier Append failed.
  bool Append(std::string_view text);
  // Syncs and closes; false, with Error(), when that or any write failed. Harmless when not open.
  bool Close();

  bool IsOpen() const { return fd_ >= 0; }
  bool Failed() const { return error_.IsSet(); }
  const FileError& Error() const { return error_; }
  const std::string& Path() const { return path_; }

 private:
  bool Fail(std::string reason);

  int fd_ = -1;
  bool inPlace_ = false;
  std::string path_;
  FileError error_;
};

// Writes a whole destination through COutputFile; false with error set when it could not.
bool WriteWholeFile(const std::string& path, const void* data, size_t size, FileError* error);

// True when something exists at path (following symbolic links).
bool PathExists(const std::string& path);

// After a signal has removed the temporary files, end the process with exit code 128 + the signal (130 for
// Ctrl-C), as a command line does, instead of the signal's own default action (the GUI's).
void ExitOnInterrupt();

}  // namespace quill
