#include "system/RecordFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

SysResult RecordFile::Create(const std::string& path) {
  Close();
  if (HasNulByte(path)) return SysResult(EINVAL);
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600));
  if (!fd.IsOpen()) return SysResult(errno);
  // A new file nobody else knows yet: the lock cannot be taken by another.
  if (const SysResult locked = LockNow(fd); !locked) {
    fd.Close();
    ::unlink(path.c_str());
    return locked;
  }
  fd_ = std::move(fd);
  return {};
}

SysResult RecordFile::OpenUnlocked(const std::string& path) {
  Close();
  if (HasNulByte(path)) return SysResult(EINVAL);
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
  if (!fd.IsOpen()) return SysResult(errno);
  if (const SysResult locked = LockNow(fd); !locked) return locked;
  fd_ = std::move(fd);
  return {};
}

SysResult RecordFile::Append(std::string_view data) {
  if (!fd_.IsOpen()) return SysResult(EBADF);
  while (!data.empty()) {
    const ssize_t n = ::write(fd_.Get(), data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return SysResult(errno);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

SysResult RecordFile::Truncate(std::uint64_t size) {
  if (!fd_.IsOpen()) return SysResult(EBADF);
  return ::ftruncate(fd_.Get(), static_cast<off_t>(size)) == 0 ? SysResult() : SysResult(errno);
}

void RecordFile::StartWriteback() {
  if (fd_.IsOpen()) (void)::sync_file_range(fd_.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
}

SysResult RecordFile::Sync() {
  if (!fd_.IsOpen()) return SysResult(EBADF);
  return ::fdatasync(fd_.Get()) == 0 ? SysResult() : SysResult(errno);
}

SysResult ReadFileEnds(const std::string& path, std::size_t n, std::string& head, std::string& tail) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return SysResult(errno);
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) err = errno;
  else if (!S_ISREG(st.st_mode)) err = EINVAL;
  const auto readAt = [&](std::string& out, off_t at, std::size_t size) {
    out.assign(size, '\0');
    std::size_t got = 0;
    while (err == 0 && got < size) {
      const ssize_t r = ::pread(fd, out.data() + got, size - got, at + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) err = errno;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    out.resize(got);
  };
  if (err == 0) {
    const auto size = static_cast<std::size_t>(st.st_size);
    readAt(head, 0, std::min(n, size));
    readAt(tail, static_cast<off_t>(size - std::min(n, size)), std::min(n, size));
  }
  ::close(fd);
  return SysResult(err);
}

bool IsLockedByAnother(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

SysResult MakeFolders(const std::string& path, unsigned mode) {
  if (path.empty() || HasNulByte(path)) return SysResult(EINVAL);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? SysResult() : SysResult(ENOTDIR);
  const std::string_view parent = ContainingFolder(path);
  if (!parent.empty() && parent != "/") {
    const SysResult made = MakeFolders(std::string(parent), mode);
    if (!made) return made;
  }
  if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return SysResult(errno);
  return {};
}

SysResult RemoveFile(const std::string& path) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  return ::unlink(path.c_str()) == 0 ? SysResult() : SysResult(errno);
}

}  // namespace quor
