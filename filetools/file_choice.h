// How the file tools choose their files: each tool remembers its last source and destination in its own
// store section under "SrcName" and "DstName", offers the remembered name (or its default) in the file
// dialog and stores a confirmed choice back.
#pragma once

#include <optional>
#include <string>

#include "platform/ui.h"

namespace quill {

// The filters, as the tools hand them to the file dialogs.
inline constexpr const char* kHexFilter = "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||";
inline constexpr const char* kBinaryFilter = "Binary files (*.bin)|*.bin|All files (*.*)|*.*||";
inline constexpr const char* kHeaderFilter = "C Header files (*.h)|*.h|All files (*.*)|*.*||";
inline constexpr const char* kDataFilter =
    "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
inline constexpr const char* kPcmFilter =
    "PCM files (*.pcm)|*.pcm|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
inline constexpr const char* kWaveFilter = "Wave files (*.wav)|*.wav|All files (*.*)|*.*||";
inline constexpr const char* kBankHexFilter = "Bank-switch hex files (*.he?)|*.he?|All files (*.*)|*.*||";
inline constexpr const char* kTextFilter = "Text files (*.txt)|*.txt|All files (*.*)|*.*||";

inline constexpr const char* kSrcNameKey = "SrcName";
inline constexpr const char* kDstNameKey = "DstName";

using FileRole = FileDialogSpec::Role;

// One file question of a tool. Its role decides the rest: a source is asked with an open dialog and
// remembered as "SrcName", the destination with a save dialog and remembered as "DstName".
struct FileChoice {
  const char* section;      // the tool's store section, e.g. "HEX2BIN"
  FileRole role;            // Source or Destination
  const char* defaultName;  // offered when nothing is stored
  const char* defaultExt;   // as the dialog takes it, e.g. "*.hex"
  const char* filter;

  constexpr const char* Key() const { return role == FileRole::Destination ? kDstNameKey : kSrcNameKey; }
  constexpr FileDialogSpec::Mode Mode() const {
    return role == FileRole::Destination ? FileDialogSpec::Mode::Save : FileDialogSpec::Mode::Open;
  }
};

// Shows the dialog with the stored name (or the default); the chosen path, or nothing when cancelled.
// The choice is not stored.
std::optional<std::string> AskFile(Ui& ui, const FileChoice& choice);
// The same with the initial name given.
std::optional<std::string> AskFile(Ui& ui, const FileChoice& choice, const std::string& initialName);
// The stored name, or the default.
std::string StoredChoice(const FileChoice& choice);
// Remembers a choice. A store that cannot take it is said (the store file and the reason) and the tool
// goes on: the name only saves typing next time. Inside a store batch the batch's commit says it instead.
void StoreChoice(Ui& ui, const FileChoice& choice, const std::string& path);
// AskFile, then StoreChoice of a confirmed choice.
std::optional<std::string> ChooseFile(Ui& ui, const FileChoice& choice);

// The two messages of the tools that read a source and create a destination.
inline constexpr const char* kCanNotOpenSource = "Can not open source file";
inline constexpr const char* kCanNotCreateDest = "Can not create dest file";

}  // namespace quill
