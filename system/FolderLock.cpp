#include "system/FolderLock.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>

#include "text/Bytes.h"

namespace quor {

SysResult FolderLock::TryLock(const std::string& folder) {
  Unlock();
  if (HasNulByte(folder)) return SysResult(EINVAL);
  Descriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  if (!fd.IsOpen()) return SysResult(errno);
  if (const SysResult locked = LockNow(fd); !locked) return locked;
  fd_ = std::move(fd);
  return {};
}

}  // namespace quor
