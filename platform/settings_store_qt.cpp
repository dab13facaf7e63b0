#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/application.h"
#include "platform/settings_store.h"

namespace quill {
namespace {

std::mutex g_mutex;  // the registry key, the location, the file name and the notice handler
std::string& Key() {
  static std::string key = "Quillmark Communications";
  return key;
}
int g_locationGeneration = 0;

SettingsStore::NoticeHandler& Handler() {
  static SettingsStore::NoticeHandler handler;
  return handler;
}

void Notice(const std::string& text) {
  SettingsStore::NoticeHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = Handler();
  }
  if (handler)
    handler(text);
  else
    std::fprintf(stderr, "%s: %s\n", ApplicationName().c_str(), text.c_str());
}

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString Path(std::string_view section, std::string_view key) {
  return Q(section) + "/" + Q(key);
}

std::string ErrnoText(int error) {
  return std::system_category().message(error);
}

// The folder SetLocation chose (under g_mutex); empty: the user's own store.
std::string& Location() {
  static std::string folder;
  return folder;
}

// The store file's name: <folder>/<registry key>/<application name>.conf, the folder being SetLocation's or
// the one where QSettings keeps a user's files. The store is opened by this name only, in INI format, so
// Qt's own paths are never changed: what Qt keeps for itself (the file dialog's state) stays in Qt's place,
// and the organisation-wide and system-wide files QSettings would also consult are no part of this store (a
// fault in one of them must not be taken for a fault in ours).
QString FileName() {
  struct Cached {
    std::string key, application;
    int generation = -1;
    QString file;
  };
  static Cached cached;
  std::lock_guard<std::mutex> lock(g_mutex);
  const std::string application = ApplicationName();
  if (cached.generation != g_locationGeneration || cached.key != Key() || cached.application != application) {
    QString folder;
    if (!Location().empty()) {
      folder = Q(Location());
      while (folder.size() > 1 && folder.endsWith('/')) folder.chop(1);
      if (!folder.endsWith('/')) folder += '/';
    } else {
      // Learnt from names that no file has: asking with the store's own names would open the store file,
      // which must not happen before it is known to be a file.
      const QString organisation = "quilltool-folder-probe", name = "probe";
      folder = QSettings(QSettings::NativeFormat, QSettings::UserScope, organisation, name).fileName();
      folder.chop(organisation.size() + name.size() + 6);  // "/" and ".conf"
    }
    cached = {Key(), application, g_locationGeneration, folder + Q(Key()) + "/" + Q(application) + ".conf"};
  }
  return cached.file;
}

// What a path is at one moment; a save replaces the file (a new inode), so a changed identity tells that
// a save reached the disk.
struct FileId {
  bool exists = false;
  bool regular = false;
  bool folder = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  bool operator==(const FileId& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

FileId Identify(const std::string& path) {
  FileId id;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return id;
  id.exists = true;
  id.regular = S_ISREG(st.st_mode);
  id.folder = S_ISDIR(st.st_mode);
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  id.size = st.st_size;
  id.mtime = st.st_mtim;
  return id;
}

// A QSettings on the store file. QSettings opens the file to read it, and a FIFO or a device there would
// block it: such a store is read as an empty one (its writes fail, see Save).
std::unique_ptr<QSettings> MakeSettings() {
  QString file = FileName();
  const FileId id = Identify(file.toStdString());
  if (id.exists && !id.regular && !id.folder) file += "/not-a-regular-file";
  return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The first folder on the way to path that is not a folder (a file where a folder should be), if any.
std::optional<std::string> FileInTheWay(const std::string& path) {
  for (std::string p = Parent(path);; p = Parent(p)) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return p;
    }
    if (p == "/" || p == ".") return std::nullopt;
  }
}

std::string NotAFolder(const std::string& path) {
  return ErrnoText(ENOTDIR) + " (" + path + " is a file, not a folder)";
}

// A store file at most this large is read to check it; a larger one is not a file of ours.
constexpr off_t kLargestStoreFile = 64 << 20;

// Reads a regular file without blocking on it; the error number on failure.
int ReadWhole(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  out.clear();
  char buffer[65536];
  int error = 0;
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (static_cast<off_t>(out.size()) > kLargestStoreFile) break;
  }
  ::close(fd);
  return error;
}

// Why QSettings would not read data back as it is, so that saving over it would lose part of it; nothing
// when it would. Stricter than QSettings' own reader, which skips or re-reads what it does not understand
// without a word: a hand-edited store is kept aside rather than rewritten with lines dropped.
std::optional<std::string> WhyNotParseable(const std::string& data) {
  if (static_cast<off_t>(data.size()) > kLargestStoreFile) return "it is larger than a settings store can be";
  QStringDecoder utf8(QStringDecoder::Utf8);
  (void)utf8.decode(QByteArrayView(data.data(), static_cast<qsizetype>(data.size())));
  if (utf8.hasError()) return std::string("it is not UTF-8 text");
  size_t start = 0;
  for (int line = 1; start < data.size(); ++line) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string_view text(data.data() + start, end - start);
    start = end + 1;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const std::string where = "line " + std::to_string(line);
    if (text.empty() || text.front() == ';') continue;
    if (text.front() == '[') {
      if (text.find(']') != text.size() - 1) return where + " is not a complete section name";
      continue;
    }
    size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0)
      return where + " is neither a section, a key nor a comment";
    std::string_view value = text.substr(equals + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    // "@@" is a text that begins with "@"; "@ByteArray(...)" are bytes. Any other "@" is a value of a kind
    // the tool never stores, which a save would not write back as it was.
    if (!value.empty() && value.front() == '@' && !value.starts_with("@@") &&
        !(value.starts_with("@ByteArray(") && value.back() == ')'))
      return where + " holds a value of a kind the tool does not store";
  }
  return std::nullopt;
}

// What the store knows of the file on disk: the last version it checked, whether that one parses, and
// the version it has already copied aside (so a file is copied and reported once).
struct CheckState {
  std::mutex mutex;
  std::string file;
  FileId checked;
  bool checkedBad = false;
  FileId copied;
  void For(const std::string& path) {
    if (file == path) return;
    file = path;
    checked = copied = FileId();
    checkedBad = false;
  }
};
CheckState& Checks() {
  static CheckState state;
  return state;
}

std::string Timestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// Writes data to a new file named name, synced; never to a path that exists. 0, or the error number.
int WriteNewFile(const std::string& name, const std::string& data) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  size_t done = 0;
  int error = 0;
  while (done < data.size() && !error) {
    ssize_t w = ::write(fd, data.data() + done, data.size() - done);
    if (w < 0 && errno != EINTR) error = errno;
    if (w > 0) done += static_cast<size_t>(w);
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (error) ::unlink(name.c_str());  // made above, and incomplete
  return error;
}

// Keeps data in a new file beside the store, named after it and the time. The copy's path, or the failure.
StoreResult CopyAside(const std::string& file, const std::string& data, std::string& copy) {
  const std::string base = file + ".unreadable-" + Timestamp();
  for (int n = 1; n < 100; ++n) {
    copy = n == 1 ? base : base + "-" + std::to_string(n);
    int error = WriteNewFile(copy, data);
    if (error == EEXIST) continue;
    return error ? StoreResult::Failed(copy, ErrnoText(error)) : StoreResult();
  }
  return StoreResult::Failed(base, ErrnoText(EEXIST));
}

// Before a save replaces the file: a version not checked yet is read, and one that does not parse (or
// that QSettings itself found wrong) is copied aside first. A failed copy fails the save: the file is
// then the only copy of what the user wrote. notice receives what the user is to be told.
StoreResult KeepUnparseable(const std::string& file, bool qtFoundFault, std::string& notice) {
  CheckState& state = Checks();
  std::lock_guard<std::mutex> lock(state.mutex);
  const FileId id = Identify(file);
  if (!id.exists || !id.regular) return {};
  state.For(file);
  std::string data;
  std::optional<std::string> why;
  // QSettings' own verdict counts for a version not checked yet: its status stays set after a save.
  if (!(state.checked == id)) {
    if (ReadWhole(file, data) != 0) return {};  // the save will fail and say why
    why = WhyNotParseable(data);
    if (!why && qtFoundFault) why = "QSettings found a line it could not read";
    state.checked = id;
    state.checkedBad = why.has_value();
  }
  if (!state.checkedBad || state.copied == id) return {};
  if (data.empty() && ReadWhole(file, data) != 0) return {};
  if (!why) why = WhyNotParseable(data);
  std::string copy;
  StoreResult copied = CopyAside(file, data, copy);
  if (!copied)
    return StoreResult::Failed(file, "can not keep a copy of the file, which does not parse, as " +
                                         copied.Path() + ": " + copied.Reason());
  state.copied = id;
  notice = "The settings store could not be read as it was; it was kept as " + copy +
           " before being written\n" + file + ": " + why.value_or("it does not parse");
  return {};
}

void MarkWritten(const std::string& file, const FileId& id) {
  CheckState& state = Checks();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.For(file);
  state.checked = id;
  state.checkedBad = false;
}

// Writes size bytes to a new file in folder and syncs it, to learn why the folder takes no file. The
// error number, or 0 when it did take one.
int Probe(const std::string& folder, off_t size) {
  std::string pattern = folder + "/.quilltool-store-probe-XXXXXX";
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  std::vector<char> block(4096, ' ');
  int error = 0;
  for (off_t done = 0; done < size && !error;) {
    ssize_t w = ::write(fd, block.data(), block.size());
    if (w < 0 && errno == EINTR) continue;
    if (w < 0)
      error = errno;
    else
      done += w;
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  ::close(fd);
  ::unlink(pattern.c_str());  // made just above
  return error;
}

// Why a save of file did not reach the disk, in the system's words. QSettings only says that it failed.
std::string WhyNotWritten(const std::string& file) {
  if (auto inTheWay = FileInTheWay(file)) return NotAFolder(*inTheWay);
  struct stat st {};
  off_t size = 0;
  if (::stat(file.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return ErrnoText(EISDIR);
    if (!S_ISREG(st.st_mode)) return "Not a regular file";
    size = st.st_size;
    int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ErrnoText(errno);
    ::close(fd);
  } else if (errno != ENOENT) {
    return ErrnoText(errno);
  }
  // The nearest folder that exists: where the file, or the folders to hold it, would be made.
  std::string folder = Parent(file);
  while (::stat(folder.c_str(), &st) != 0 && folder != "/" && folder != ".") folder = Parent(folder);
  if (int error = Probe(folder, size + 4096)) return ErrnoText(error);
  return "the file was not replaced (another process may hold its lock)";
}

// The bytes of a stored value, or nothing when the value is missing or cannot be read as text.
std::optional<std::string> BytesOf(const QVariant& v) {
  QString text;
  switch (v.typeId()) {
    case QMetaType::QByteArray: {
      // A text that is not UTF-8 (the phone's code page 936 texts) is kept as its bytes.
      const QByteArray bytes = v.toByteArray();
      return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    case QMetaType::QString:
      text = v.toString();
      break;
    case QMetaType::QStringList:
      // An INI value with commas reads back as a list; it is still one text.
      text = v.toStringList().join(",");
      break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      text = v.toString();
      break;
    default:
      // Missing, or something a hand-edited file made of it (@Variant, @Rect, ...): no text of ours.
      return std::nullopt;
  }
  // The file's reader puts U+FFFD for bytes that are not UTF-8, and what they were is lost; the store never
  // writes that character as text (see TextVariant), so the value cannot be read.
  if (text.contains(QChar::ReplacementCharacter)) return std::nullopt;
  return text.toStdString();
}

// A text as the file will hold it: UTF-8 text as itself, anything else as its bytes (@ByteArray), so
// that every byte comes back as it went in.
QVariant TextVariant(std::string_view value) {
  QString text = Q(value);
  QByteArray back = text.toUtf8();
  if (!text.contains(QChar::ReplacementCharacter) &&
      std::string_view(back.constData(), static_cast<size_t>(back.size())) == value)
    return text;
  return QByteArray(value.data(), static_cast<qsizetype>(value.size()));
}

// The file a path names, symbolic links followed (the path itself when it names nothing yet).
std::string Resolved(const std::string& path) {
  std::string file = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    file = real;
    std::free(real);
  }
  return file;
}

// A name beside file that nothing uses yet, made by make(name): 0, or the error number (EEXIST: try the
// next name).
int MakeBeside(const std::string& file, const char* what, const std::function<int(const std::string&)>& make,
               std::string& made) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = Parent(file) + "/." + file.substr(file.find_last_of('/') + 1) + "." + what + "-" +
           std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int error = make(made);
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

// The file as it was before a save, so that a save that did not reach the disk whole can be undone:
// QSettings renames its new file over the old one even when writing it failed (a full disk leaves an
// empty store), and that must not cost the user the values already stored. A second name for the old
// file costs no space; where the file system has no such names, a copy.
class OldFile {
 public:
  // Ok when there is nothing to keep (no file yet) or it is kept; the failure when it cannot be kept.
  // QSettings replaces the file a symbolic link points to and keeps the link: that file is the one kept.
  StoreResult Keep(const std::string& path, const FileId& id) {
    const std::string file = Resolved(path);
    file_ = file;
    if (!id.exists || !id.regular) return {};
    int error = MakeBeside(
        file, "old",
        [&](const std::string& name) { return ::link(file.c_str(), name.c_str()) == 0 ? 0 : errno; }, kept_);
    if (error == 0) return {};
    std::string data;
    if (int readError = ReadWhole(file, data)) return StoreResult::Failed(file, ErrnoText(readError));
    error = MakeBeside(
        file, "old", [&](const std::string& name) { return WriteNewFile(name, data); }, kept_);
    if (error) {
      kept_.clear();
      return StoreResult::Failed(file, ErrnoText(error));
    }
    return {};
  }
  // The save worked: the old file is no longer needed.
  void Drop() {
    if (!kept_.empty()) ::unlink(kept_.c_str());  // made by Keep
    kept_.clear();
  }
  // The save failed: the old file goes back where it was, if the save replaced it and no other process
  // has saved since (written is what this save left there). A file this save made where there was none is
  // removed.
  void PutBack(const FileId& before, const FileId& written) {
    if (written == before || !written.exists || !(Identify(file_) == written)) return Drop();
    if (kept_.empty()) {
      if (!before.exists) ::unlink(file_.c_str());  // this save made it
      return;
    }
    if (::rename(kept_.c_str(), file_.c_str()) == 0) kept_.clear();
    Drop();
  }
  ~OldFile() { Drop(); }

 private:
  std::string file_;
  std::string kept_;
};

// Whether the file on disk holds all that settings meant to write. QSettings' status does not tell a file
// it could not write in full: a new file cut short by a full disk is renamed over the old one all the same.
// A file cut short lacks its last line end, or whole lines. Not decided when another process has saved
// since (the file is no longer the one this save wrote).
bool HoldsWhatWasWritten(const std::string& file, const FileId& written, const QSettings& settings) {
  std::string data;
  if (ReadWhole(file, data) != 0) return false;
  if (!(Identify(file) == written)) return true;
  if (!data.empty() && data.back() != '\n') return false;
  qsizetype keys = 0;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    std::string_view line(data.data() + start, end - start);
    start = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!line.empty() && line.front() != ';' && line.front() != '[') ++keys;
  }
  return keys == settings.allKeys().size();
}

// One value to store (or, with no value, to remove).
struct Change {
  QString path;
  std::optional<QVariant> value;
};

// Saves are made one at a time in this process, so the file a save checks is the one it wrote.
std::mutex g_saveMutex;

// Stores changes (after removing every value, with clearAll) and tells whether the file on disk now holds
// them. The file is kept before QSettings replaces it; on failure it is put back and the values are
// undone in memory too, so this process reads what the file holds.
StoreResult SaveLocked(const std::vector<Change>& changes, bool clearAll, std::string& notice) {
  const std::string file = FileName().toStdString();
  if (const FileId id = Identify(file); id.exists && !id.regular && !id.folder)
    return StoreResult::Failed(file, "Not a regular file");
  auto settings = MakeSettings();
  // What each key holds before the save, to put back on failure; changes that store what a key holds
  // already need no save (a save syncs the file to disk, which costs more than the tools that remember
  // their file names spend on their work, and they are mostly run again on the same files).
  std::vector<Change> undo;
  if (clearAll)
    for (const QString& key : settings->allKeys()) undo.push_back({key, settings->value(key)});
  std::vector<const Change*> needed;
  for (const Change& c : changes) {
    const QVariant old = settings->value(c.path);
    const bool same = c.value ? old.isValid() && BytesOf(old) == BytesOf(*c.value) : !old.isValid();
    if (same && !clearAll) continue;
    needed.push_back(&c);
    if (!clearAll) undo.push_back({c.path, old.isValid() ? std::optional<QVariant>(old) : std::nullopt});
  }
  if (needed.empty() && (!clearAll || undo.empty())) return {};

  StoreResult result = KeepUnparseable(file, settings->status() == QSettings::FormatError, notice);
  OldFile old;
  const FileId current = Identify(file);
  if (result) result = old.Keep(file, current);
  if (!result) return result;  // nothing was changed
  if (clearAll) settings->clear();
  for (const Change* c : needed) {
    if (c->value)
      settings->setValue(c->path, *c->value);
    else
      settings->remove(c->path);
  }
  settings->sync();
  FileId after = Identify(file);
  // A fault found while reading stays in status() even when the save worked; the file tells then.
  const QSettings::Status status = settings->status();
  if ((status == QSettings::NoError || status == QSettings::FormatError) && after.exists && after.regular &&
      !(after == current) && HoldsWhatWasWritten(file, after, *settings)) {
    old.Drop();
    MarkWritten(file, after);
    return {};
  }
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
    if (it->value)
      settings->setValue(it->path, *it->value);
    else
      settings->remove(it->path);
  }
  // Whatever this second save does (QSettings would otherwise make it unasked when the object goes), the
  // old file goes back over it.
  settings->sync();
  old.PutBack(current, Identify(file));
  return StoreResult::Failed(file, WhyNotWritten(Resolved(file)));
}

// Holds the store's folder locked against the saves of other tool processes. A QSettings reads the file
// when it is made and, at its save, reads it again only when its size or its time (to the millisecond)
// changed; another process's save of the same size in the same millisecond would otherwise go unseen and
// be overwritten. Under this lock the read and the save of one process follow each other with nothing in
// between. A folder that does not exist yet is not locked: its first save makes it.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY)) {
    if (fd_ < 0) return;
    int r = 0;
    while ((r = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) Release();
  }
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  void Release() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
    fd_ = -1;
  }
  int fd_;
};

StoreResult Save(const std::vector<Change>& changes, bool clearAll) {
  std::string notice;
  StoreResult result;
  {
    std::lock_guard<std::mutex> lock(g_saveMutex);
    FolderLock others(Parent(FileName().toStdString()));
    result = SaveLocked(changes, clearAll, notice);
  }
  // A front end may show the notice in a modal window, whose event loop may save again.
  if (!notice.empty()) Notice(notice);
  return result;
}

// This thread's open batches: their values, seen by this thread's reads until they are saved.
struct BatchState {
  std::vector<Change> changes;
  StoreResult failure;
  int depth = 0;
  // A batch holds one change per key, the last one written.
  Change* Find(const QString& path) {
    for (Change& c : changes)
      if (c.path == path) return &c;
    return nullptr;
  }
};
thread_local BatchState* t_batch = nullptr;

std::optional<std::string> StoredBytes(std::string_view section, std::string_view key) {
  const QString path = Path(section, key);
  if (t_batch)
    if (const Change* c = t_batch->Find(path)) return c->value ? BytesOf(*c->value) : std::nullopt;
  // QSettings objects are reentrant and share one cache per file, so the link threads and the
  // user-interface thread can read the store at the same time.
  return BytesOf(MakeSettings()->value(path));
}

StoreResult Write(std::string_view section, std::string_view key, const QVariant& value) {
  const QString path = Path(section, key);
  if (t_batch) {
    if (Change* pending = t_batch->Find(path))
      pending->value = value;
    else if (StoredBytes(section, key) != BytesOf(value))
      t_batch->changes.push_back({path, value});
    return t_batch->failure;
  }
  return Save({{path, value}}, false);
}

}  // namespace

StoreResult StoreResult::Failed(std::string path, std::string reason) {
  StoreResult r;
  r.ok_ = false;
  r.path_ = std::move(path);
  r.reason_ = std::move(reason);
  return r;
}

std::string StoreResult::Message() const {
  if (ok_) return {};
  return "Can not write the settings store\n" + path_ + ": " + reason_;
}

void StoreResult::Add(const StoreResult& later) {
  if (ok_ && !later.ok_) *this = later;
}

std::string StoreHealth::Message() const {
  switch (state) {
    case State::Fine:
      return {};
    case State::Unreadable:
      return "Can not read the settings store\n" + path + ": " + reason;
    case State::Unparseable:
      return "The settings store does not parse; values it does not hold readably are taken as defaults\n" +
             path + ": " + reason;
  }
  return {};
}

SettingsStore& SettingsStore::Profile() {
  static SettingsStore store;
  return store;
}

void SettingsStore::SetRegistryKey(std::string key) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Key() = std::move(key);
}

std::string SettingsStore::RegistryKey() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Key();
}

void SettingsStore::SetLocation(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Location() = folder;
  ++g_locationGeneration;
}

StoreResult SettingsStore::CheckLocation(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode))
      return StoreResult::Failed(folder, ErrnoText(ENOTDIR) + " (a file, not a folder for the store)");
    return {};
  }
  if (errno == ENOENT) {
    if (auto inTheWay = FileInTheWay(folder + "/x"))
      return StoreResult::Failed(folder, NotAFolder(*inTheWay));
    return {};
  }
  return StoreResult::Failed(folder, ErrnoText(errno));
}

void SettingsStore::SetNoticeHandler(NoticeHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Handler() = std::move(handler);
}

std::optional<int32_t> SettingsStore::ParseStoredInt(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX)) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int SettingsStore::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  auto text = StoredBytes(section, key);
  if (!text) return defaultValue;
  auto value = ParseStoredInt(*text);
  return value ? *value : defaultValue;
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  auto text = StoredBytes(section, key);
  return text ? *text : std::string(defaultValue);
}

StoreResult SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
  return Write(section, key, QVariant(value));
}

StoreResult SettingsStore::WriteString(std::string_view section, std::string_view key,
                                       std::string_view value) {
  return Write(section, key, TextVariant(value));
}

bool SettingsStore::Contains(std::string_view section, std::string_view key) const {
  const QString path = Path(section, key);
  if (t_batch)
    if (const Change* c = t_batch->Find(path)) return c->value.has_value();
  return MakeSettings()->contains(path);
}

StoreResult SettingsStore::Clear() {
  if (t_batch) t_batch->changes.clear();  // cleared with the rest
  return Save({}, true);
}

std::string SettingsStore::FilePath() const {
  return FileName().toStdString();
}

StoreHealth SettingsStore::Health() const {
  StoreHealth health;
  health.path = FilePath();
  auto unreadable = [&](std::string reason) {
    health.state = StoreHealth::State::Unreadable;
    health.reason = std::move(reason);
    return health;
  };
  if (auto inTheWay = FileInTheWay(health.path)) return unreadable(NotAFolder(*inTheWay));
  struct stat st {};
  if (::stat(health.path.c_str(), &st) != 0) return errno == ENOENT ? health : unreadable(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return unreadable(ErrnoText(EISDIR));
  if (!S_ISREG(st.st_mode)) return unreadable("Not a regular file");
  std::string data;
  if (int error = ReadWhole(health.path, data)) return unreadable(ErrnoText(error));
  if (auto why = WhyNotParseable(data)) {
    health.state = StoreHealth::State::Unparseable;
    health.reason = *why;
  }
  return health;
}

SettingsStore::Batch::Batch() {
  if (!t_batch) t_batch = new BatchState;
  ++t_batch->depth;
}

void SettingsStore::Batch::WriteInt(std::string_view section, std::string_view key, int value) {
  (void)Profile().WriteInt(section, key, value);  // the batch keeps the outcome for Commit
}

void SettingsStore::Batch::WriteString(std::string_view section, std::string_view key,
                                       std::string_view value) {
  (void)Profile().WriteString(section, key, value);
}

StoreResult SettingsStore::Batch::Commit() {
  BatchState* batch = t_batch;
  if (!open_ || !batch) return batch ? batch->failure : StoreResult();
  open_ = false;
  if (!batch->changes.empty()) {
    std::vector<Change> changes = std::move(batch->changes);
    batch->changes.clear();
    batch->failure.Add(Save(changes, false));
  }
  StoreResult result = batch->failure;
  if (--batch->depth == 0) {
    t_batch = nullptr;
    delete batch;
  }
  return result;
}

SettingsStore::Batch::~Batch() {
  if (!open_ || !t_batch) return;
  if (t_batch->depth > 1) {
    --t_batch->depth;
    return;
  }
  StoreResult result = Commit();
  if (!result) Notice(result.Message());
}

}  // namespace quill
