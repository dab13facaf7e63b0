// The files of the maintenance commands: their dialogs with the remembered names, and whole files read into
// buffers that go to the phone in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"
#include "platform/settings_store.h"
#include "platform/ui.h"

namespace quill {

// The file dialogs' filters, in the system's form.
constexpr std::string_view kBinaryFilter = "Binary files (*.bin)|*.bin|All files (*.*)|*.*||";
constexpr std::string_view kDataFilter =
    "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
constexpr std::string_view kTextFilter =
    "Text files (*.txt)|*.txt|All Text files|*.txt;|All files (*.*)|*.*||";

// A remembered file: the section and key of the store that keep it, and the name used before any was kept.
struct RememberedFile {
  std::string_view section;
  std::string_view key;  // "SrcName" or "DstName"
  std::string_view defaultName;
};

// A file the user chose, and whether the store kept its name for the next time.
struct ChosenFile {
  std::string path;
  // A remembered name is only the next dialog's initial name, never a value sent to the phone: a command
  // goes on without it, says the failure (naming the store file) and does not end as a success.
  StoreResult remembered;
};

// Opens the file dialog with the remembered name as its initial name; the chosen path is stored at once.
// Nothing when the dialog was cancelled.
std::optional<ChosenFile> ChooseFile(Ui& ui, FileDialogSpec::Mode mode, const RememberedFile& remembered,
                                     std::string_view defaultExt, std::string_view filter);

// A file read whole into a buffer rounded up to a multiple of 256 bytes, the rest filled with padding.
struct PaddedFile {
  std::vector<uint8_t> buffer;
  size_t length = 0;  // the file's own bytes at the start of buffer
};

// The largest file an update takes: many times the largest flash these phones carry (1 MiB), so no real
// image is refused, while a wrong choice (a disk image, a video) cannot exhaust the memory.
constexpr size_t kMaxUpdateFile = 16u << 20;

// A regular file only: a FIFO or a device is refused without waiting for it. error receives the path and
// the reason (for TooLarge, the size and the limit).
enum class FileReadStatus { Ok, CannotOpen, TooLarge };
FileReadStatus ReadPaddedFile(const std::string& path, uint8_t padding, PaddedFile& out, FileError* error);

}  // namespace quill
