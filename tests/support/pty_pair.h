// A pseudo-terminal pair for serial tests: the tool opens the slave as its COM port, the simulator or the
// test works the master.
#pragma once

#include <string>

namespace quill::test {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool IsValid() const { return master_ >= 0; }
  int Master() const { return master_; }
  // The slave's device path (/dev/pts/N); the slave descriptor itself is kept open by the pair so that the
  // master does not read EIO while the tool has not yet opened the device.
  const std::string& SlavePath() const { return slavePath_; }
  int Slave() const { return slave_; }
  void CloseMaster();
  void CloseSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace quill::test
