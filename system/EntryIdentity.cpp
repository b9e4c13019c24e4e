#include "system/EntryIdentity.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

namespace {

std::int64_t Nanoseconds(const struct statx_timestamp& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

char TypeOf(unsigned mode) {
  if (S_ISREG(mode)) return 'f';
  if (S_ISDIR(mode)) return 'd';
  if (S_ISLNK(mode)) return 'l';
  return 'o';
}

}  // namespace

SysResult IdentityAt(int folderFd, const std::string& name, EntryId& id, bool generation) {
  if (HasNulByte(name)) return SysResult(EINVAL);
  struct statx sx {};
  if (::statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return SysResult(errno);
  id = EntryId();
  if (sx.stx_mask & STATX_TYPE) id.Type = TypeOf(sx.stx_mode);
  id.Dev = (std::uint64_t{sx.stx_dev_major} << 32) | sx.stx_dev_minor;
  if (sx.stx_mask & STATX_INO) id.Ino = sx.stx_ino;
  if (sx.stx_mask & STATX_SIZE) id.Size = sx.stx_size;
  if (sx.stx_mask & STATX_MTIME) id.Mtime = Nanoseconds(sx.stx_mtime);
  if (sx.stx_mask & STATX_BTIME) id.Btime = Nanoseconds(sx.stx_btime);
  // Only files and folders are opened: a device or a pipe may act on an open.
  if (generation && id.Btime == EntryId::kNoTime && (id.Type == 'f' || id.Type == 'd')) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    int version = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETVERSION, &version) == 0) id.Gen = static_cast<std::uint32_t>(version);
    if (fd >= 0) ::close(fd);
  }
  return {};
}

SysResult IdentityOf(const std::string& path, EntryId& id, bool generation) {
  return IdentityAt(AT_FDCWD, path, id, generation);
}

std::uint64_t FileSystemId(const std::string& folder) {
  struct statfs fs {};
  if (::statfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return 0;
  std::uint64_t id = 0;
  std::memcpy(&id, &fs.f_fsid, std::min(sizeof id, sizeof fs.f_fsid));
  return id;
}

bool InodesAreStable(const std::string& folder) {
  struct statfs fs {};
  if (::statfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return true;
  return InodesAreStableOn(static_cast<unsigned long>(fs.f_type));
}

bool InodesAreStableOn(unsigned long fileSystemType) {
  switch (fileSystemType) {
    case 0x65735546ul:  // FUSE (exFAT, NTFS, sshfs ... through a driver in user space)
    case 0x4d44ul:      // FAT
    case 0x2011BAB0ul:  // exFAT
    case 0xFF534D42ul:  // SMB (CIFS), whose client may number inodes itself
    case 0xFE534D42ul:  // SMB2
    case 0x517Bul:      // SMB1
      return false;
    default:
      return true;
  }
}

bool SameEntry(const EntryId& recorded, const EntryId& now, bool inodesStable) {
  constexpr auto kUnknown = EntryId::kUnknown;
  constexpr auto kNoTime = EntryId::kNoTime;
  if (recorded.Type != '?' && now.Type != recorded.Type) return false;
  const bool births = recorded.Btime != kNoTime && now.Btime != kNoTime;
  if (births && recorded.Btime != now.Btime) return false;
  const bool bornBy = recorded.BornBy != kNoTime && now.Btime != kNoTime;
  if (bornBy && now.Btime > recorded.BornBy) return false;
  const bool generations = recorded.Gen != kUnknown && now.Gen != kUnknown;
  if (generations && recorded.Gen != now.Gen) return false;
  const bool sizeKnown = recorded.Size != kUnknown && recorded.Mtime != kNoTime;
  const bool sameContent = sizeKnown && now.Size == recorded.Size && now.Mtime == recorded.Mtime;
  if (inodesStable && recorded.Ino != 0) {
    const bool sameFileSystem = recorded.Dev == 0 || now.Dev == recorded.Dev ||
                                (recorded.Fsid != 0 && now.Fsid == recorded.Fsid) || sameContent;
    if (now.Ino != recorded.Ino || !sameFileSystem) return false;
    // A new entry may get the number of a deleted one: the number alone
    // proves nothing where something else could tell.
    if (births || bornBy || generations) return true;
    if (sizeKnown) return sameContent;
    return recorded.BornBy == kNoTime && recorded.Btime == kNoTime && recorded.Gen == kUnknown;
  }
  // A folder's size and time change with what it holds: its kind is all.
  if (recorded.Type == 'd') return true;
  return !sizeKnown || sameContent;
}

std::size_t MaxNameLength(const std::string& folder) {
  const long n = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : NAME_MAX;
}

namespace {

// Whether the folder `folder` of `dir` ("" for the folder itself, or a path
// with AT_FDCWD) lists `name` spelt exactly so.
bool ReadFolderFor(int dir, const std::string& folder, std::string_view name) {
  const int fd = ::openat(dir, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = fd < 0 ? nullptr : ::fdopendir(fd);
  if (listing == nullptr) {
    if (fd >= 0) ::close(fd);
    return true;  // cannot tell: assume the worst, another entry
  }
  bool found = false;
  while (const dirent* e = ::readdir(listing)) {
    if (name == e->d_name) {
      found = true;
      break;
    }
  }
  ::closedir(listing);
  return found;
}

}  // namespace

bool SameEntryByAnotherSpellingAt(int dir, const std::string& oldPath, const std::string& newPath,
                                  const ListedFn& listed) {
  const Codepage cp = NativeCodepage();
  const std::string_view oldBase = WithoutTrailingSeparators(oldPath);
  const std::string_view newBase = WithoutTrailingSeparators(newPath);
  if (FolderView(oldBase) != FolderView(newBase)) return false;
  const std::string_view oldName = FileNameView(oldBase);
  const std::string_view newName = FileNameView(newBase);
  if (oldName == newName || oldName.size() != newName.size() ||
      AnsiUpperCase(oldName, cp) != AnsiUpperCase(newName, cp))
    return false;
  struct stat a {};
  struct stat b {};
  if (::fstatat(dir, oldPath.c_str(), &a, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::fstatat(dir, newPath.c_str(), &b, AT_SYMLINK_NOFOLLOW) != 0 || a.st_dev != b.st_dev)
    return false;
  const std::string folder(FolderView(oldBase));
  return listed ? !listed(newName) : !ReadFolderFor(dir, folder, newName);
}

bool SameEntryByAnotherSpelling(const std::string& oldPath, const std::string& newPath, const ListedFn& listed) {
  return SameEntryByAnotherSpellingAt(AT_FDCWD, oldPath, newPath, listed);
}

SysResult CanCreateIn(const std::string& folder) {
  const char* path = folder.empty() ? "." : folder.c_str();
  if (::faccessat(AT_FDCWD, path, W_OK | X_OK, AT_EACCESS) == 0) return {};
  return SysResult(errno);
}

}  // namespace quor
