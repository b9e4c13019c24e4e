#include "system/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "text/Bytes.h"

namespace quor {

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

SysResult FolderLock::TryLock(const std::string& folder) {
  Unlock();
  if (HasNulByte(folder)) return SysResult(EINVAL);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return SysResult(errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno == EAGAIN ? EWOULDBLOCK : errno;
    ::close(fd);
    return SysResult(err);
  }
  fd_ = fd;
  return {};
}

void FolderLock::Unlock() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace quor
