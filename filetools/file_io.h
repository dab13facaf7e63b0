// File input and output shared by every file tool: a buffered line reader for text sources, a whole-file
// reader for binary sources, and a buffered writer that removes what it wrote when it cannot finish.
//
// The tools were written for Windows text mode: a text source's lines end in LF or CR LF and are handed
// over without their end; a text destination stores every LF written as CR LF, on this system too, so the
// files match what the firmware build expects byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill {
// Apart from the file layer's classes of the same names until every tool has moved to that layer.
inline namespace filetools_io {

// Reads a text file one line at a time through one buffer; a line longer than the buffer grows it, so
// no line is ever cut.
class CLineReader {
 public:
  CLineReader() = default;
  ~CLineReader();
  CLineReader(const CLineReader&) = delete;
  CLineReader& operator=(const CLineReader&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The next line without its LF or CR LF; the view stays valid until the next call. False at the end of
  // the file (a last line without a line end is still a line) or on a read error.
  bool ReadLine(std::string_view& line);

 private:
  bool Fill();

  int fd_ = -1;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

// A binary source, opened first and read whole later (a tool reports a missing source before it creates
// its destination).
class CInputFile {
 public:
  CInputFile() = default;
  ~CInputFile() { Close(); }
  CInputFile(const CInputFile&) = delete;
  CInputFile& operator=(const CInputFile&) = delete;

  // False for a file that cannot be opened for reading, and for a folder.
  bool Open(const std::string& path);
  void Close();
  // Everything from the current position to the end; false on a read error (out is then empty).
  bool ReadAll(std::vector<uint8_t>& out);
  // At most limit bytes from the current position; false on a read error (out is then empty).
  bool ReadUpTo(std::vector<uint8_t>& out, size_t limit);

 private:
  int fd_ = -1;
};

// The whole content of a file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);
// True when the file's status can be read (the file exists).
bool PathExists(const std::string& path);

// A destination file written through one buffer. Create truncates; Commit flushes and closes. A writer
// that fails to write, or that is dropped without Commit after a failure, removes its file, so no tool
// leaves a destination half written behind.
class COutputFile {
 public:
  enum class Mode { Binary, Text };  // Text: every LF is stored as CR LF

  COutputFile() = default;
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  bool Create(const std::string& path, Mode mode = Mode::Binary);
  bool IsOpen() const { return fd_ >= 0; }
  void Write(const void* data, size_t size);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  // Room for size bytes at the end of the buffer, to be filled by the caller and then kept with
  // Commit(size). Only in binary mode; size must not exceed kBufferSize.
  char* Reserve(size_t size);
  void Commit(size_t size) { used_ += size; }
  // Flushes and closes; false (and the file removed) when any write failed.
  bool Close();
  // Closes and removes the file (the tool gave up).
  void Abandon();
  bool Failed() const { return failed_; }

  static constexpr size_t kBufferSize = size_t{1} << 20;

 private:
  void Flush();
  void WriteRaw(const char* data, size_t size);

  int fd_ = -1;
  Mode mode_ = Mode::Binary;
  bool failed_ = false;
  std::string path_;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

}  // namespace filetools_io
}  // namespace quill
