#include "sim/unique_fd.h"

#include <unistd.h>

namespace quill::sim {

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace quill::sim
