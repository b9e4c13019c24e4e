#include "system/Descriptor.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace quor {

void Descriptor::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SysResult LockNow(const Descriptor& fd) {
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) return {};
  return SysResult(errno == EAGAIN ? EWOULDBLOCK : errno);
}

}  // namespace quor
