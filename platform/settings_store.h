// The settings store: the per-user application profile. One section per group of options, named values
// of two kinds (32-bit integers and texts). A missing value, or an integer key that holds no integer,
// reads as the caller's default.
//
// On Linux this is QSettings(NativeFormat, UserScope, <registry key>, <application name>), an INI file
// under ~/.config/<registry key>/<application name>.conf.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

class SettingsStore {
 public:
  // The application profile of this process.
  static SettingsStore& Profile();

  // Start-up step 3 sets the key "Quillmark Communications"; it is the organisation part of the store.
  static void SetRegistryKey(std::string key);
  static std::string RegistryKey();
  // Keeps every store of this process under folder (tests, demo mode). Call before the store is used.
  static void SetLocation(const std::string& folder);

  int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
  std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  // False when the store could not be written.
  bool WriteInt(std::string_view section, std::string_view key, int value);
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool Contains(std::string_view section, std::string_view key) const;
  // Removes every section of this profile (tests, demo mode).
  void Clear();
  // The file that holds the store.
  std::string FilePath() const;

  // Writes made on this thread while a Batch exists reach the file together, when the outermost Batch
  // ends: one save of the file instead of one per value (a settings image is some seventy values).
  class Batch {
   public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
  };

  // The integer a stored text stands for: decimal with an optional sign, within 32 bits (signed, or
  // unsigned as a 32-bit value would be written by another program); nothing else is an integer.
  static std::optional<int32_t> ParseStoredInt(std::string_view text);
};

}  // namespace quill
