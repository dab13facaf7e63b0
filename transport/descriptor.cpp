#include "transport/descriptor.h"

#include <fcntl.h>
#include <unistd.h>

namespace quill {

void Descriptor::Close() {
  int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

bool Descriptor::Neutralise() {
  int fd = fd_.load();
  if (fd < 0) return true;
  int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  bool replaced = null >= 0 && ::dup3(null, fd, O_CLOEXEC) == fd;
  if (null >= 0) ::close(null);
  if (!replaced) Close();
  return replaced;
}

}  // namespace quill
