// What every fuzz target shares beyond the test support (tests/support: the silent Ui, temporary folders,
// the private settings store, the loopback addresses): a work folder in memory-backed storage for the files
// a target writes, a host-name lookup that never reaches a name server, and checks that stop the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/silent_ui.h"

namespace quill::fuzz {

using test::SilentUi;

// A folder of this process, made on first use and removed with everything in it when the process ends.
const std::string& WorkFolder();
// WorkFolder()/name.
std::string WorkFile(const std::string& name);
// Replaces the file's content; stops the run when it cannot, as a target that cannot write its input tests
// nothing.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Points the settings store at a folder inside WorkFolder() (with the QCoreApplication QSettings wants),
// so that fuzzing never touches the user's own settings.
void UsePrivateStore();

// Host names resolve from a fixed table ("phone.lan" is the fuzz targets' loopback address; nothing else
// resolves), so that a name in fuzzed input never becomes a DNS query.
void UseOfflineHostNames();

// Stops the run with a message when a property the target checks does not hold; libFuzzer then saves
// the input as a crash.
[[noreturn]] void Fail(const char* what);
inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace quill::fuzz
