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

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString Path(std::string_view section, std::string_view key) { return Q(section) + "/" + Q(key); }

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



std::optional<QString> TextOf(const QVariant& v) {
  if (!v.isValid()) return std::nullopt;
  // An INI value with commas reads back as a list; it is still one text.
  if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(",");
  return v.toString();
}

std::optional<QString> StoredText(std::string_view section, std::string_view key) {
  Settings s;
  return TextOf(s->value(Path(section, key)));
}

// Stores text under path unless the key holds it already: a save syncs the file to disk, which costs more
// than the tools that remember their file names spend on their work, and they are mostly run again on the
// same files.
bool Write(std::string_view section, std::string_view key, const QVariant& value) {
  Settings s;
  const QString path = Path(section, key);
  if (TextOf(s->value(path)) == TextOf(value)) return true;
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
  auto text = StoredText(section, key);
  if (!text) return defaultValue;
  auto value = ParseStoredInt(text->toStdString());
  return value ? *value : defaultValue;
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  auto text = StoredText(section, key);
  return text ? text->toStdString() : std::string(defaultValue);
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
  return Write(section, key, QVariant(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return Write(section, key, QVariant(Q(value)));
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
