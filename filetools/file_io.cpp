#include "filetools/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quill {
// Apart from the file layer's classes of the same names until every tool has moved to that layer.
inline namespace filetools_io {
namespace {

constexpr size_t kReadChunk = size_t{64} << 10;

int OpenForReading(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // A folder opens for reading on this system but is no file to convert.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads up to size bytes; the count read (0 at the end of the file), or -1 on an error.
ssize_t ReadSome(int fd, char* data, size_t size) {
  ssize_t n;
  do {
    n = ::read(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

CLineReader::~CLineReader() {
  Close();
}

bool CLineReader::Open(const std::string& path) {
  Close();
  fd_ = OpenForReading(path);
  if (fd_ < 0) return false;
  buffer_.resize(kReadChunk);
  begin_ = end_ = 0;
  eof_ = false;
  return true;
}

void CLineReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  buffer_.shrink_to_fit();
  begin_ = end_ = 0;
  eof_ = false;
}

bool CLineReader::Fill() {
  if (eof_ || fd_ < 0) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // one line fills the whole buffer
  ssize_t n = ReadSome(fd_, buffer_.data() + end_, buffer_.size() - end_);
  if (n <= 0) {
    eof_ = true;
    return false;
  }
  end_ += static_cast<size_t>(n);
  return true;
}

bool CLineReader::ReadLine(std::string_view& line) {
  if (fd_ < 0) return false;
  size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* lf = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (lf) {
      size_t length = static_cast<const char*>(lf) - start;
      begin_ += length + 1;
      if (length > 0 && start[length - 1] == '\r') --length;
      line = std::string_view(start, length);
      return true;
    }
    size_t pending = end_ - begin_;
    if (!Fill()) {
      if (begin_ == end_) return false;
      // The last line has no line end.
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
    scanned = begin_ + pending;
  }
}

bool CInputFile::Open(const std::string& path) {
  Close();
  fd_ = OpenForReading(path);
  return fd_ >= 0;
}

void CInputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool CInputFile::ReadAll(std::vector<uint8_t>& out) {
  out.clear();
  if (fd_ < 0) return false;
  struct stat st {};
  size_t expected = ::fstat(fd_, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  // One byte more than the size, so that the end is seen without growing the buffer.
  out.resize(expected + 1);
  size_t used = 0;
  bool ok = true;
  for (;;) {
    if (used == out.size()) out.resize(out.size() + kReadChunk);  // the file grew, or has no size (a pipe)
    ssize_t n = ReadSome(fd_, reinterpret_cast<char*>(out.data()) + used, out.size() - used);
    if (n < 0) ok = false;
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  out.resize(ok ? used : 0);
  return ok;
}

bool CInputFile::ReadUpTo(std::vector<uint8_t>& out, size_t limit) {
  out.assign(limit, 0);
  size_t used = 0;
  while (fd_ >= 0 && used < limit) {
    ssize_t n = ReadSome(fd_, reinterpret_cast<char*>(out.data()) + used, limit - used);
    if (n < 0) {
      out.clear();
      return false;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  out.resize(used);
  return fd_ >= 0;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  CInputFile in;
  if (!in.Open(path)) {
    out.clear();
    return false;
  }
  return in.ReadAll(out);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

COutputFile::~COutputFile() {
  if (fd_ >= 0) {
    if (failed_)
      Abandon();
    else
      Close();
  }
}

bool COutputFile::Create(const std::string& path, Mode mode) {
  if (fd_ >= 0) Close();
  do {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) return false;
  path_ = path;
  mode_ = mode;
  failed_ = false;
  used_ = 0;
  buffer_.resize(kBufferSize);
  return true;
}

void COutputFile::WriteRaw(const char* data, size_t size) {
  while (size > 0) {
    if (used_ == buffer_.size()) Flush();
    if (failed_) return;
    size_t room = buffer_.size() - used_;
    if (used_ == 0 && size >= room) {
      // Large pieces go straight to the file.
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        return;
      }
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    size_t take = size < room ? size : room;
    std::memcpy(buffer_.data() + used_, data, take);
    used_ += take;
    data += take;
    size -= take;
  }
}

void COutputFile::Write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) return;
  const char* p = static_cast<const char*>(data);
  if (mode_ == Mode::Binary) {
    WriteRaw(p, size);
    return;
  }
  const char* end = p + size;
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!lf) {
      WriteRaw(p, static_cast<size_t>(end - p));
      return;
    }
    WriteRaw(p, static_cast<size_t>(lf - p));
    WriteRaw("\r\n", 2);
    p = lf + 1;
  }
}

char* COutputFile::Reserve(size_t size) {
  if (fd_ < 0 || size > buffer_.size()) return nullptr;
  if (buffer_.size() - used_ < size) Flush();
  if (failed_) return nullptr;
  return buffer_.data() + used_;
}

void COutputFile::Flush() {
  size_t done = 0;
  while (done < used_ && !failed_) {
    ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      failed_ = true;
    else
      done += static_cast<size_t>(n);
  }
  used_ = 0;
}

bool COutputFile::Close() {
  if (fd_ < 0) return !failed_;
  Flush();
  if (::close(fd_) != 0) failed_ = true;
  fd_ = -1;
  buffer_.clear();
  buffer_.shrink_to_fit();
  if (failed_) ::unlink(path_.c_str());
  return !failed_;
}

void COutputFile::Abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  used_ = 0;
  buffer_.clear();
  buffer_.shrink_to_fit();
  ::unlink(path_.c_str());
}

}  // namespace filetools_io
}  // namespace quill
