#include "platform/file_io.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace quill {

struct CFileRun::Entry {
  bool destination = false;
  bool hasIdentity = false;  // an existing file: compared by device and inode
  dev_t device = 0;
  ino_t inode = 0;
  std::string resolved;  // a destination that does not exist yet: its real folder and its name
  std::string shown;     // the path as the user named it
};

namespace {

constexpr size_t kReadChunk = size_t{64} << 10;

std::string SystemText(int error) {
  char buffer[256];
  // The GNU form returns the text, which may or may not be in the buffer.
  return ::strerror_r(error, buffer, sizeof buffer);
}

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO or pipe";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// --- The temporary files a signal removes ----------------------------------------------------------------
//
// A fixed table, so that the signal handler touches nothing but atomics, the paths and unlink. A slot is
// claimed and its path written while the state says so; the handler only removes paths whose slot is live.

constexpr int kMaxTemporaries = 1024;
enum : int { kFree = 0, kClaimed = 1, kLive = 2 };
std::atomic<int> g_slotState[kMaxTemporaries];
char g_slotPath[kMaxTemporaries][PATH_MAX];
std::atomic<bool> g_exitOnInterrupt{false};

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

void RemoveLiveTemporaries() {
  for (int i = 0; i < kMaxTemporaries; ++i)
    if (g_slotState[i].load(std::memory_order_acquire) == kLive) ::unlink(g_slotPath[i]);
}

void OnCleanupSignal(int signal, siginfo_t* info, void* context) {
  const int saved = errno;
  RemoveLiveTemporaries();
  if (g_exitOnInterrupt.load(std::memory_order_relaxed)) ::_exit(128 + signal);
  int index = 0;
  while (index < 2 && kCleanupSignals[index] != signal) ++index;
  const struct sigaction& previous = g_previous[index];
  if (previous.sa_flags & SA_SIGINFO) {
    if (previous.sa_sigaction) previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    // The default action, as if no handler had been there: the signal is blocked while this runs and
    // ends the process as soon as the handler returns.
    ::sigaction(signal, &previous, nullptr);
    ::raise(signal);
  }
  errno = saved;
}

void InstallCleanupHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < 3; ++i) {
      struct sigaction current {};
      ::sigaction(kCleanupSignals[i], nullptr, &current);
      g_previous[i] = current;
      // A signal the process ignores (nohup) stays ignored.
      if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
      struct sigaction action {};
      action.sa_sigaction = OnCleanupSignal;
      action.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&action.sa_mask);
      for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
      ::sigaction(kCleanupSignals[i], &action, nullptr);
    }
    // A file-size limit then makes a write fail with EFBIG, which the writer reports, instead of killing
    // the process with its temporary file left behind.
    struct sigaction xfsz {};
    ::sigaction(SIGXFSZ, nullptr, &xfsz);
    if (!(xfsz.sa_flags & SA_SIGINFO) && xfsz.sa_handler == SIG_DFL) ::signal(SIGXFSZ, SIG_IGN);
  });
}

// Holds SIGINT, SIGTERM and SIGHUP back while a file and its slot change together.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_{};
};

int ClaimSlot(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  InstallCleanupHandlers();
  for (int i = 0; i < kMaxTemporaries; ++i) {
    int expected = kFree;
    if (g_slotState[i].compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) {
      std::memcpy(g_slotPath[i], path.c_str(), path.size() + 1);
      return i;
    }
  }
  return -1;
}

void MakeLive(int slot) {
  g_slotState[slot].store(kLive, std::memory_order_release);
}

void ReleaseSlot(int& slot) {
  if (slot >= 0) g_slotState[slot].store(kFree, std::memory_order_release);
  slot = -1;
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<uint64_t> counter{0};
  unsigned char bytes[10];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet (early boot): a mix of the clock, the process and a counter; O_EXCL still guards.
    uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (static_cast<uint64_t>(::getpid()) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15ULL);
    for (auto& b : bytes) {
      x ^= x >> 31;
      x *= 0xBF58476D1CE4E5B9ULL;
      b = static_cast<unsigned char>(x >> 56);
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

// --- Destinations -----------------------------------------------------------------------------------------

struct Destination {
  bool exists = false;
  struct stat st {};
  std::string target;    // the file to replace or create (symbolic links followed)
  std::string resolved;  // a new file: its folder's real path and its name
};

// Finds what a destination path names. 0, or the error number.
int ResolveDestination(const std::string& path, Destination& out) {
  if (path.empty()) return ENOENT;
  if (::stat(path.c_str(), &out.st) == 0) {
    out.exists = true;
    if (S_ISREG(out.st.st_mode)) {
      std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
      if (!real) return errno;
      out.target = real.get();
    } else {
      out.target = path;
    }
    return 0;
  }
  if (errno != ENOENT) return errno;
  // Nothing there: a new file, or a symbolic link that names a file not yet made, which is then created
  // where the link points, as opening the link would.
  std::string p = path;
  for (int hops = 0;; ++hops) {
    struct stat link {};
    if (::lstat(p.c_str(), &link) != 0) {
      if (errno != ENOENT) return errno;
      break;
    }
    if (!S_ISLNK(link.st_mode) || hops >= 40) return hops >= 40 ? ELOOP : ENOENT;
    std::string to(PATH_MAX, '\0');
    ssize_t n = ::readlink(p.c_str(), to.data(), to.size());
    if (n < 0) return errno;
    to.resize(static_cast<size_t>(n));
    p = to.front() == '/' ? to : Folder(p) + "/" + to;
  }
  const std::string name = Name(p);
  if (name.empty() || name == "." || name == "..") return EISDIR;
  std::unique_ptr<char, decltype(&std::free)> folder(::realpath(Folder(p).c_str(), nullptr), &std::free);
  if (!folder) return errno;
  struct stat st {};
  if (::stat(folder.get(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  out.exists = false;
  out.target = p;
  out.resolved = std::string(folder.get()) + (std::strcmp(folder.get(), "/") == 0 ? "" : "/") + name;
  return 0;
}

CFileRun::Entry DestinationEntry(const std::string& shown, const Destination& d) {
  CFileRun::Entry e;
  e.destination = true;
  e.shown = shown;
  if (d.exists) {
    e.hasIdentity = true;
    e.device = d.st.st_dev;
    e.inode = d.st.st_ino;
  } else {
    e.resolved = d.resolved;
  }
  return e;
}

CFileRun::Entry SourceEntry(const std::string& shown, const struct stat& st) {
  CFileRun::Entry e;
  e.hasIdentity = true;
  e.device = st.st_dev;
  e.inode = st.st_ino;
  e.shown = shown;
  return e;
}

// The clash of e with any of entries, as a reason; empty for none. Two sources never clash.
std::string ClashReason(const CFileRun::Entry& e, const std::vector<CFileRun::Entry>& entries) {
  for (const auto& o : entries) {
    if (!e.destination && !o.destination) continue;
    bool same = false;
    if (e.hasIdentity && o.hasIdentity)
      same = e.device == o.device && e.inode == o.inode;
    else if (!e.hasIdentity && !o.hasIdentity)
      same = e.resolved == o.resolved;
    if (same)
      return std::string("the same file as the ") + (o.destination ? "destination " : "source ") + o.shown;
  }
  return {};
}

thread_local std::vector<CFileRun::Entry>* t_run = nullptr;

// Adds e to the run of this thread; false, with the reason, when it clashes.
bool JoinRun(const CFileRun::Entry& e, std::string& reason) {
  if (!t_run) return true;
  reason = ClashReason(e, *t_run);
  if (!reason.empty()) return false;
  t_run->push_back(e);
  return true;
}

}  // namespace

std::string FileFailureText(std::string_view headline, const FileError& error) {
  std::string text(headline);
  if (!error.IsSet()) return text;
  text += '\n';
  if (!error.path.empty()) text += error.path + ": ";
  return text + error.reason;
}

CFileRun::CFileRun() : owner_(t_run == nullptr) {
  if (owner_) t_run = new std::vector<Entry>;
}

CFileRun::~CFileRun() {
  if (!owner_) return;
  delete t_run;
  t_run = nullptr;
}

bool CheckDistinctFiles(const std::vector<std::string>& sources, const std::vector<std::string>& destinations,
                        FileError* error) {
  std::vector<CFileRun::Entry> entries;
  auto clash = [&](const CFileRun::Entry& e) {
    std::string reason = ClashReason(e, entries);
    if (reason.empty()) {
      entries.push_back(e);
      return false;
    }
    if (error) *error = {e.shown, reason, true};
    return true;
  };
  for (const auto& path : sources) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && clash(SourceEntry(path, st))) return false;
  }
  for (const auto& path : destinations) {
    Destination d;
    if (ResolveDestination(path, d) == 0 && clash(DestinationEntry(path, d))) return false;
  }
  return true;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void ExitOnInterrupt() {
  g_exitOnInterrupt.store(true);
}

// --- Input ------------------------------------------------------------------------------------------------

bool CInputFile::Fail(std::string reason) {
  error_ = {path_, std::move(reason)};
  return false;
}

bool CInputFile::Open(const std::string& path) {
  return OpenPath(path, false);
}

bool CInputFile::OpenRegular(const std::string& path) {
  return OpenPath(path, true);
}

bool CInputFile::OpenPath(const std::string& path, bool regularOnly) {
  Close();
  error_ = {};
  path_ = path;
  struct stat st {};
  // A socket cannot be opened as a file; say what it is rather than "No such device or address".
  if (::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return Fail("a socket, not a file");
  int fd;
  // Non-blocking: a FIFO without a writer must not hold the open. Streams are read through poll.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(SystemText(errno));
  return Adopt(fd, true, regularOnly);
}

bool CInputFile::OpenStandardInput() {
  Close();
  error_ = {};
  path_ = "standard input";
  return Adopt(STDIN_FILENO, false, false);
}

bool CInputFile::Adopt(int fd, bool ownFd, bool regularOnly) {
  fd_ = fd;
  ownFd_ = ownFd;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    Close();
    return Fail(SystemText(e));
  }
  std::string reason;
  if (S_ISDIR(st.st_mode))
    reason = SystemText(EISDIR);
  else if (regularOnly && !S_ISREG(st.st_mode))
    reason = KindOf(st.st_mode) + ", not a regular file";
  else if (!JoinRun(SourceEntry(path_, st), reason)) {
    Close();
    Fail(reason);
    error_.sameFile = true;
    return false;
  }
  if (!reason.empty()) {
    Close();
    return Fail(reason);
  }
  regular_ = S_ISREG(st.st_mode);
  size_ = regular_ ? static_cast<uint64_t>(st.st_size) : 0;
  if (regular_ && ownFd_) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

void CInputFile::Close() {
  if (fd_ >= 0 && ownFd_) ::close(fd_);
  fd_ = -1;
  ownFd_ = false;
  regular_ = false;
  size_ = 0;
}

ssize_t CInputFile::Read(void* data, size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    if (!regular_) {
      // Waits for data or the writer's end; a FIFO that never had a writer waits for one.
      pollfd p{fd_, POLLIN, 0};
      int r = ::poll(&p, 1, -1);
      if (r < 0 && errno != EINTR) {
        Fail(SystemText(errno));
        return -1;
      }
      if (r <= 0) continue;
    }
    ssize_t n = ::read(fd_, data, size);
    if (n >= 0) return n;
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    Fail(SystemText(errno));
    return -1;
  }
}

bool CInputFile::ReadUpTo(std::vector<uint8_t>& out, size_t count) {
  out.clear();
  size_t used = 0;
  while (used < count) {
    const size_t want = std::min(count - used, kReadChunk);
    out.resize(used + want);
    ssize_t n = Read(out.data() + used, want);
    if (n < 0) {
      out.clear();
      return false;
    }
    used += static_cast<size_t>(n);
    if (n == 0) break;
  }
  out.resize(used);
  return true;
}

namespace {

template <class Container>
ReadStatus ReadWhole(const std::string& path, size_t limit, Container& out, FileError* error) {
  out.clear();
  CInputFile in;
  auto fail = [&](ReadStatus status, FileError e) {
    out.clear();
    if (error) *error = std::move(e);
    return status;
  };
  auto tooLarge = [&](uint64_t size) {
    return fail(ReadStatus::TooLarge, {path, std::to_string(size) + " bytes, more than the limit of " +
                                                 std::to_string(limit) + " bytes"});
  };
  if (!in.OpenRegular(path)) return fail(ReadStatus::CannotOpen, in.Error());
  if (in.Size() > limit) return tooLarge(in.Size());
  // One byte more than the size, so the end is seen without growing; a file that grows while it is read
  // is still held to the limit.
  size_t used = 0;
  out.resize(static_cast<size_t>(in.Size()) + 1);
  for (;;) {
    if (used == out.size()) {
      if (used > limit) return tooLarge(used);
      out.resize(std::min(used + kReadChunk, limit + 1));
    }
    ssize_t n = in.Read(out.data() + used, out.size() - used);
    if (n < 0) return fail(ReadStatus::ReadError, in.Error());
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  if (used > limit) return tooLarge(used);
  out.resize(used);
  return ReadStatus::Ok;
}

}  // namespace

ReadStatus ReadWholeFile(const std::string& path, size_t limit, std::vector<uint8_t>& out, FileError* error) {
  return ReadWhole(path, limit, out, error);
}

ReadStatus ReadWholeFile(const std::string& path, size_t limit, std::string& out, FileError* error) {
  return ReadWhole(path, limit, out, error);
}

// --- Lines ------------------------------------------------------------------------------------------------

void CLineReader::Reset() {
  buffer_.assign(kReadChunk, '\0');
  begin_ = end_ = 0;
  eof_ = failed_ = false;
}

bool CLineReader::Open(const std::string& path) {
  Close();
  if (!in_.Open(path)) return false;
  Reset();
  return true;
}

bool CLineReader::OpenRegular(const std::string& path) {
  Close();
  if (!in_.OpenRegular(path)) return false;
  Reset();
  return true;
}

bool CLineReader::OpenStandardInput() {
  Close();
  if (!in_.OpenStandardInput()) return false;
  Reset();
  return true;
}

void CLineReader::Close() {
  in_.Close();
  buffer_.clear();
  buffer_.shrink_to_fit();
  begin_ = end_ = 0;
  eof_ = false;
}

bool CLineReader::Fill() {
  if (eof_ || failed_ || !in_.IsOpen()) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line of up to kMaxLine bytes and one read behind it fit; the buffer only grows for long lines.
  if (end_ == buffer_.size()) buffer_.resize(std::min(buffer_.size() * 2, kMaxLine + kReadChunk));
  ssize_t n = in_.Read(buffer_.data() + end_, buffer_.size() - end_);
  if (n < 0) failed_ = true;
  if (n <= 0) {
    eof_ = true;
    return false;
  }
  end_ += static_cast<size_t>(n);
  return true;
}

bool CLineReader::ReadLine(std::string_view& line, bool* ended) {
  if (!in_.IsOpen()) return false;
  if (ended) *ended = true;
  size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* lf = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (lf) {
      size_t length = static_cast<size_t>(static_cast<const char*>(lf) - start);
      begin_ += length + 1;
      if (length > 0 && start[length - 1] == '\r') --length;
      line = std::string_view(start, length);
      return true;
    }
    const size_t pending = end_ - begin_;
    if (pending >= kMaxLine) {
      // A piece of a long line. A CR at its end may be the first half of the line's end: it waits.
      size_t length = kMaxLine;
      if (start[length - 1] == '\r') --length;
      begin_ += length;
      line = std::string_view(start, length);
      if (ended) *ended = false;
      return true;
    }
    if (!Fill()) {
      if (failed_ || begin_ == end_) return false;
      // The last line has no line end.
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
    scanned = begin_ + pending;
  }
}

// --- Output -----------------------------------------------------------------------------------------------

COutputFile::~COutputFile() {
  if (open_) Abandon();
}

bool COutputFile::Fail(int error) {
  return FailWith(SystemText(error));
}

bool COutputFile::FailWith(std::string reason) {
  failed_ = true;
  if (!error_.IsSet()) error_ = {path_, std::move(reason)};
  return false;
}

void COutputFile::Release() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  used_ = 0;
}

bool COutputFile::Create(const std::string& path, Mode mode) {
  if (open_) Abandon();
  path_ = path;
  mode_ = mode;
  failed_ = false;
  inPlace_ = false;
  error_ = {};
  target_.clear();
  temporary_.clear();
  used_ = 0;

  Destination d;
  if (int e = ResolveDestination(path, d)) return Fail(e);
  if (d.exists && S_ISDIR(d.st.st_mode)) return Fail(EISDIR);
  if (d.exists && S_ISSOCK(d.st.st_mode)) return FailWith("a socket, which cannot be written as a file");
  if (d.exists && S_ISREG(d.st.st_mode) && ::faccessat(AT_FDCWD, d.target.c_str(), W_OK, AT_EACCESS) != 0)
    return Fail(errno);
  std::string clash;
  if (!JoinRun(DestinationEntry(path, d), clash)) {
    FailWith(clash);
    error_.sameFile = true;
    return false;
  }
  target_ = d.target;

  if (d.exists && !S_ISREG(d.st.st_mode)) {
    // A device, FIFO or terminal: written where it is. Opened without blocking, so a FIFO that nobody
    // reads is refused instead of waiting; never created, never truncated.
    do {
      fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
      return errno == ENXIO && S_ISFIFO(d.st.st_mode) ? FailWith("no program is reading this FIFO")
                                                      : Fail(errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISREG(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      return FailWith("it changed while it was opened");
    }
    // Writes wait for a slow reader rather than fail.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    inPlace_ = true;
  } else {
    // The temporary file: hidden, beside the file it replaces, so the rename stays within one file system.
    const std::string folder = Folder(target_);
    const std::string name = Name(target_).substr(0, 200);
    for (int attempt = 0; fd_ < 0; ++attempt) {
      if (attempt == 100) return Fail(EEXIST);
      const std::string temporary = folder + "/." + name + "." + RandomSuffix() + ".tmp";
      SignalsHeld held;
      const int slot = ClaimSlot(temporary);
      if (slot < 0)
        return FailWith(temporary.size() >= PATH_MAX ? SystemText(ENAMETOOLONG)
                                                     : "too many files are being written at once");
      // A new file takes the usual permissions (0666 less the umask); a replaced one gets its own below.
      fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                   d.exists ? 0600 : 0666);
      if (fd_ < 0) {
        int e = errno;
        slot_ = slot;
        ReleaseSlot(slot_);
        if (e == EINTR || e == EEXIST) continue;
        return Fail(e);
      }
      slot_ = slot;
      MakeLive(slot_);
      temporary_ = temporary;
    }
    if (d.exists) {
      // The replacement keeps the old file's owner (where allowed) and permissions.
      [[maybe_unused]] int owned = ::fchown(fd_, d.st.st_uid, d.st.st_gid);
      if (::fchmod(fd_, d.st.st_mode & 07777) != 0) {
        const int e = errno;
        open_ = true;
        Abandon();
        return Fail(e);
      }
    }
  }
  open_ = true;
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
        Fail(n < 0 ? errno : EIO);
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
  if (!open_ || failed_) return;
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
  if (!open_ || failed_ || size > buffer_.size()) return nullptr;
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
      Fail(n < 0 ? errno : EIO);
    else
      done += static_cast<size_t>(n);
  }
  used_ = 0;
}

bool COutputFile::Finish() {
  if (fd_ < 0) return open_ && !failed_;
  Flush();
  // The data is on the disk before the name points to it, so a crash leaves the old file or the new one.
  if (!failed_ && !inPlace_ && ::fsync(fd_) != 0) Fail(errno);
  if (::close(fd_) != 0 && errno != EINTR && !failed_) Fail(errno);
  fd_ = -1;
  Release();
  return !failed_;
}

bool COutputFile::Publish() {
  if (!open_ || failed_) return false;
  if (!inPlace_) {
    SignalsHeld held;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      const int e = errno;
      ::unlink(temporary_.c_str());
      ReleaseSlot(slot_);
      temporary_.clear();
      open_ = false;
      return Fail(e);
    }
    ReleaseSlot(slot_);
    temporary_.clear();
  }
  open_ = false;
  return true;
}

bool COutputFile::Commit() {
  if (!open_) return !error_.IsSet() ? FailWith("the file was not created") : false;
  if (!Finish()) {
    Abandon();
    return false;
  }
  return Publish();
}

bool COutputFile::CommitAll(std::span<COutputFile* const> files) {
  bool finished = true;
  for (COutputFile* f : files) {
    if (!f->open_) {
      if (!f->error_.IsSet()) f->FailWith("the file was not created");
      finished = false;
      break;
    }
    if (!f->Finish()) {
      finished = false;
      break;
    }
  }
  if (!finished) {
    for (COutputFile* f : files) f->Abandon();
    return false;
  }
  SignalsHeld held;
  bool all = true;
  for (COutputFile* f : files) {
    if (!all) {
      f->Abandon();
      continue;
    }
    all = f->Publish();
  }
  return all;
}

void COutputFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    SignalsHeld held;
    ::unlink(temporary_.c_str());
    ReleaseSlot(slot_);
    temporary_.clear();
  }
  open_ = false;
  Release();
}

// --- Append ---------------------------------------------------------------------------------------------

bool CAppendFile::Fail(std::string reason) {
  if (!error_.IsSet()) error_ = {path_, std::move(reason)};
  return false;
}

bool CAppendFile::Open(const std::string& path) {
  Close();
  path_ = path;
  error_ = {};
  inPlace_ = false;
  Destination d;
  if (int e = ResolveDestination(path, d)) return Fail(SystemText(e));
  if (d.exists && S_ISDIR(d.st.st_mode)) return Fail(SystemText(EISDIR));
  if (d.exists && S_ISSOCK(d.st.st_mode)) return Fail("a socket, which cannot be written as a file");
  std::string clash;
  if (!JoinRun(DestinationEntry(path, d), clash)) {
    Fail(clash);
    error_.sameFile = true;
    return false;
  }
  // Never blocks on open: a FIFO nobody reads is refused instead of waited for.
  do {
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0)
    return errno == ENXIO && d.exists && S_ISFIFO(d.st.st_mode) ? Fail("no program is reading this FIFO")
                                                                : Fail(SystemText(errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int e = errno;
    ::close(fd_);
    fd_ = -1;
    return Fail(SystemText(e));
  }
  inPlace_ = !S_ISREG(st.st_mode);
  // Writes wait for a slow reader rather than fail.
  if (inPlace_) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  return true;
}

bool CAppendFile::Append(std::string_view text) {
  if (fd_ < 0) return error_.IsSet() ? false : Fail("the file is not open");
  if (error_.IsSet()) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(SystemText(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
  return true;
}

bool CAppendFile::Close() {
  if (fd_ < 0) return !error_.IsSet();
  if (!inPlace_ && ::fsync(fd_) != 0) Fail(SystemText(errno));
  if (::close(fd_) != 0 && errno != EINTR) Fail(SystemText(errno));
  fd_ = -1;
  return !error_.IsSet();
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size, FileError* error) {
  COutputFile out;
  if (out.Create(path)) {
    out.Write(data, size);
    if (out.Commit()) return true;
  }
  if (error) *error = out.Error();
  return false;
}

}  // namespace quill
