#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <charconv>
#include <memory>
#include <mutex>

#include "platform/application.h"
#include "platform/settings_store.h"

namespace quill {
namespace {

std::mutex g_mutex;
std::string& Key() {
  static std::string key = "Quillmark Communications";
  return key;
}

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString Path(std::string_view section, std::string_view key) {
  return Q(section) + "/" + Q(key);
}

std::unique_ptr<QSettings> MakeSettings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     Q(SettingsStore::RegistryKey()), Q(ApplicationName()));
}

// The QSettings of this thread's open batch; a batch keeps one object so its writes are saved once.
thread_local int t_batchDepth = 0;
thread_local QSettings* t_batch = nullptr;

// A QSettings for one call, or the batch's. Outside a batch each call opens its own: QSettings objects
// are reentrant and share one cache per file, so the link threads and the user-interface thread can use
// the store at the same time.
struct Settings {
  Settings() {
    if (t_batch) {
      settings = t_batch;
    } else {
      owned = MakeSettings();
      settings = owned.get();
    }
  }
  QSettings* operator->() const { return settings; }
  // Saves now unless a batch will save it at its end.
  bool Save() {
    if (t_batch) return true;
    settings->sync();
    return settings->status() == QSettings::NoError;
  }
  std::unique_ptr<QSettings> owned;
  QSettings* settings;
};

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

std::optional<std::string> StoredBytes(std::string_view section, std::string_view key) {
  Settings s;
  return BytesOf(s->value(Path(section, key)));
}

// Stores value under path unless the key holds it already: a save syncs the file to disk, which costs more
// than the tools that remember their file names spend on their work, and they are mostly run again on the
// same files.
bool Write(std::string_view section, std::string_view key, const QVariant& value) {
  Settings s;
  const QString path = Path(section, key);
  if (BytesOf(s->value(path)) == BytesOf(value)) return true;
  s->setValue(path, value);
  return s.Save();
}

}  // namespace

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
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Q(folder));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Q(folder));
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

bool SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
  return Write(section, key, QVariant(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return Write(section, key, TextVariant(value));
}

bool SettingsStore::Contains(std::string_view section, std::string_view key) const {
  Settings s;
  return s->contains(Path(section, key));
}

void SettingsStore::Clear() {
  Settings s;
  s->clear();
  s.Save();
}

std::string SettingsStore::FilePath() const {
  Settings s;
  return s->fileName().toStdString();
}

SettingsStore::Batch::Batch() {
  if (t_batchDepth++ == 0) t_batch = MakeSettings().release();
}

SettingsStore::Batch::~Batch() {
  if (--t_batchDepth == 0) {
    QSettings* batch = t_batch;
    t_batch = nullptr;
    batch->sync();
    delete batch;
  }
}

}  // namespace quill
