#include "system/OpenFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

namespace {

constexpr unsigned long kExt = 0xEF53ul;

// Local file systems that give every inode a birth time from this
// machine's clock when its folder shows one.
bool KeepsBirthTimes(unsigned long type) {
  switch (type) {
    case kExt:          // ext4 (ext2 and ext3 share the number, and show no birth time)
    case 0x9123683Eul:  // Btrfs
    case 0x58465342ul:  // XFS
    case 0xF2F52010ul:  // F2FS
    case 0xCA451A4Eul:  // bcachefs
    case 0x01021994ul:  // tmpfs
      return true;
    default:
      return false;
  }
}

}  // namespace

SysResult OpenFolder::Open(const std::string& path) {
  fd_.Close();
  path_ = path;
  prefix_ = path.ends_with('/') ? path : path + '/';
  if (HasNulByte(path)) return SysResult(EINVAL);
  Descriptor fd(::open(path.empty() ? "." : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen()) return SysResult(errno);
  struct statfs fs {};
  struct statx sx {};
  if (::fstatfs(fd.Get(), &fs) != 0 || ::statx(fd.Get(), "", AT_EMPTY_PATH, STATX_BTIME, &sx) != 0)
    return SysResult(errno);
  stable_ = InodesAreStableOn(static_cast<unsigned long>(fs.f_type));
  births_ = stable_ && KeepsBirthTimes(static_cast<unsigned long>(fs.f_type)) && (sx.stx_mask & STATX_BTIME) != 0;
  generations_ = !births_ && static_cast<unsigned long>(fs.f_type) == kExt;
  dev_ = (std::uint64_t{sx.stx_dev_major} << 32) | sx.stx_dev_minor;
  std::memcpy(&fsid_, &fs.f_fsid, std::min(sizeof fsid_, sizeof fs.f_fsid));
  fd_ = std::move(fd);
  return {};
}

RenameResult OpenFolder::Rename(const std::string& oldName, const std::string& newName,
                                const TempRouteFn& beforeTemp) const {
  if (!IsOpen()) return RenameFile(path_ + "/" + oldName, path_ + "/" + newName, beforeTemp);
  return RenameFileAt(fd_.Get(), prefix_, oldName, newName, beforeTemp);
}

SysResult OpenFolder::Identity(const std::string& name, EntryId& id, bool generation) const {
  const SysResult found =
      IsOpen() ? IdentityAt(fd_.Get(), name, id, generation) : IdentityOf(path_ + "/" + name, id, generation);
  if (found) id.Fsid = fsid_;
  return found;
}

bool IdentityCheck::Holds(const EntryId& recorded, const std::string& path, SysResult* found) {
  const OpenFolder& folder = FolderOf(path);
  name_ = NameInFolder(path, folder.Path());
  EntryId now;
  const SysResult looked = folder.Identity(name_, now, recorded.Gen != EntryId::kUnknown);
  if (found != nullptr) *found = looked;
  return looked && SameEntry(recorded, now, folder.StableInodes());
}

bool IdentityCheck::Same(const EntryId& recorded, EntryId now, const std::string& path) {
  const OpenFolder& folder = FolderOf(path);
  now.Fsid = folder.Fsid();
  return SameEntry(recorded, now, folder.StableInodes());
}

const OpenFolder& IdentityCheck::FolderOf(const std::string& path) {
  if (last_ != nullptr && !NameInFolder(path, last_->Path()).empty()) return *last_;
  const std::string_view folder = ContainingFolder(path);
  auto it = folders_.find(folder);
  if (it == folders_.end()) {
    it = folders_.emplace(std::string(folder), OpenFolder()).first;
    (void)it->second.Open(it->first);
  }
  last_ = &it->second;
  return *last_;
}

}  // namespace quor
