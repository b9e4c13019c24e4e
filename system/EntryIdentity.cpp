#include "system/EntryIdentity.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/vfs.h>
#include <unistd.h>

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

SysResult IdentityOf(const std::string& path, EntryId& id) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return SysResult(errno);
  id = EntryId();
  if (sx.stx_mask & STATX_TYPE) id.Type = TypeOf(sx.stx_mode);
  id.Dev = (std::uint64_t{sx.stx_dev_major} << 32) | sx.stx_dev_minor;
  if (sx.stx_mask & STATX_INO) id.Ino = sx.stx_ino;
  if (sx.stx_mask & STATX_SIZE) id.Size = sx.stx_size;
  if (sx.stx_mask & STATX_MTIME) id.Mtime = Nanoseconds(sx.stx_mtime);
  if (sx.stx_mask & STATX_BTIME) id.Btime = Nanoseconds(sx.stx_btime);
  return {};
}

bool InodesAreStable(const std::string& folder) {
  struct statfs fs {};
  if (::statfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return true;
  switch (static_cast<unsigned long>(fs.f_type)) {
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
  if (recorded.Btime != kNoTime && now.Btime != kNoTime && recorded.Btime != now.Btime) return false;
  const bool sizeKnown = recorded.Size != kUnknown && recorded.Mtime != kNoTime;
  const bool sameContent = sizeKnown && now.Size == recorded.Size && now.Mtime == recorded.Mtime;
  if (inodesStable && recorded.Ino != 0)
    return now.Ino == recorded.Ino && (recorded.Dev == 0 || now.Dev == recorded.Dev || sameContent);
  // A folder's size and time change with what it holds: its kind is all.
  if (recorded.Type == 'd') return true;
  return !sizeKnown || sameContent;
}

bool IdentityCheck::Same(const EntryId& recorded, const EntryId& now, const std::string& path) {
  const std::string_view folder = ContainingFolder(path);
  auto it = stable_.find(folder);
  if (it == stable_.end()) {
    const std::string name(folder);
    it = stable_.emplace(name, InodesAreStable(name)).first;
  }
  return SameEntry(recorded, now, it->second);
}

std::size_t MaxNameLength(const std::string& folder) {
  const long n = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : NAME_MAX;
}

namespace {

bool ReadFolderFor(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return true;  // cannot tell: assume the worst, another entry
  bool found = false;
  while (const dirent* e = ::readdir(dir)) {
    if (name == e->d_name) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

bool SameEntryByAnotherSpelling(const std::string& oldPath, const std::string& newPath, const ListedFn& listed) {
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
  if (::lstat(oldPath.c_str(), &a) != 0 || ::lstat(newPath.c_str(), &b) != 0 || a.st_dev != b.st_dev) return false;
  const std::string folder(FolderView(oldBase));
  return listed ? !listed(newName) : !ReadFolderFor(folder, newName);
}

SysResult CanCreateIn(const std::string& folder) {
  const char* path = folder.empty() ? "." : folder.c_str();
  if (::faccessat(AT_FDCWD, path, W_OK | X_OK, AT_EACCESS) == 0) return {};
  return SysResult(errno);
}

}  // namespace quor
