// Test environment helpers: temporary folders, a private settings store, and counts of the process's
// descriptors and threads (so a test can show that nothing was left behind).
#pragma once

#include <string>
#include <vector>

namespace quill::test {

// A folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points the settings store of this process at a fresh folder; called by the test mains.
void UsePrivateStore();
// Removes every value of the store (each test starts from an empty store).
void ClearStore();

int OpenDescriptorCount();
int ThreadCount();
// The thread count to compare a later ThreadCount() with. A thread checker starts a helper thread of its own
// with the process's first thread, so one is started and joined first; and a joined thread stays listed
// until the system has finished ending it, so the count is read only once that one has left the list.
int SettledThreadCount();

std::string ReadFile(const std::string& path);
std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace quill::test
