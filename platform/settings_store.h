// The settings store: the per-user application profile. One section per group of options, named values
// of two kinds (32-bit integers and texts). A missing value, or an integer key that holds no integer,
// reads as the caller's default.
//
// On Linux this is an INI file written by QSettings: <folder>/<registry key>/<application name>.conf, the
// folder being ~/.config unless SetLocation chose another. The store names its file itself: Qt's own
// paths (QSettings::setPath) stay as Qt has them, so nothing Qt keeps for itself lands in the store's folder.
//
// Every write says whether it reached the file. A write that did not leaves the store as the file has it
// (this process reads the old value again), so what the tool goes on to use is what is stored.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// The outcome of a write: success, or the store file's path and the reason in words ("Permission
// denied", "Is a directory", "No space left on device").
class [[nodiscard]] StoreResult {
 public:
  StoreResult() = default;  // success
  static StoreResult Failed(std::string path, std::string reason);

  bool Ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }
  // For the user: "Can not write the settings store" and, on a second line, "PATH: REASON".
  std::string Message() const;
  // Keeps the first failure: a run of writes reports the first one that did not reach the file.
  void Add(const StoreResult& later);

 private:
  bool ok_ = true;
  std::string path_;
  std::string reason_;
};

// The store file as it stands, for commands that only read it: whether it can be read at all, and
// whether it parses (values of a file that does not parse read as defaults where it cannot be read).
struct StoreHealth {
  enum class State { Fine, Unreadable, Unparseable };
  State state = State::Fine;
  std::string path;
  std::string reason;
  bool Fine() const { return state == State::Fine; }
  // One line and a second one naming the file and the reason; empty when Fine.
  std::string Message() const;
};

class SettingsStore {
 public:
  // The application profile of this process.
  static SettingsStore& Profile();

  // Start-up step 3 sets the key "Quillmark Communications"; it is the organisation part of the store.
  static void SetRegistryKey(std::string key);
  static std::string RegistryKey();
  // Keeps every store of this process under folder (--store, tests, demo mode). Call before the store is
  // used. A folder that does not exist yet is made by the first write; a path that is a file, not a
  // folder, fails every write with that reason (CheckLocation tells it at once).
  static void SetLocation(const std::string& folder);
  // Fails when folder exists and is not a folder (or cannot be looked at); a missing folder is fine.
  static StoreResult CheckLocation(const std::string& folder);

  // Something the user should know that is not the failure of a write: a store file that could not be
  // parsed was copied aside before being replaced. Said once per file. The default handler writes the
  // text to stderr; a front end with a screen shows it instead. Any thread may call the handler.
  using NoticeHandler = std::function<void(const std::string& text)>;
  static void SetNoticeHandler(NoticeHandler handler);

  int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
  std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  // Outside a Batch, saves the file and says whether the value reached it. Inside one, the value is kept
  // for the batch and the result is the batch's so far: Commit says whether it reached the file.
  StoreResult WriteInt(std::string_view section, std::string_view key, int value);
  StoreResult WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool Contains(std::string_view section, std::string_view key) const;
  // Removes every section of this profile (tests, demo mode).
  StoreResult Clear();
  // The file that holds the store.
  std::string FilePath() const;
  // Whether the store file can be read as it stands (commands that show the store check it first).
  StoreHealth Health() const;

  // Writes made on this thread while a Batch exists reach the file together, in one save when the Batch
  // is committed (a settings image is some seventy values). Commit says whether they did; when they did
  // not, none of them stays in the store. Batches nest: an inner Commit saves what the thread's batches
  // hold so far, and a failure stays with the outer ones. A Batch ended without Commit saves when it is
  // the outermost, and a failure then goes to the notice handler: commit it and act on the result.
  class Batch {
   public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void WriteInt(std::string_view section, std::string_view key, int value);
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Saves and ends the batch; the first failure of this thread's batches, if any.
    StoreResult Commit();

   private:
    bool open_ = true;
  };

  // The integer a stored text stands for: decimal with an optional sign, within 32 bits (signed, or
  // unsigned as a 32-bit value would be written by another program); nothing else is an integer.
  static std::optional<int32_t> ParseStoredInt(std::string_view text);
};

}  // namespace quill
