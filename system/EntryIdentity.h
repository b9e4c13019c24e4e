#pragma once

// Whether an entry is still the one a run renamed, and what a case-only
// rename may take for the same entry under another spelling.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <climits>

#include "system/SystemOps.h"

namespace quor {

// What tells one entry from another, as the system keeps it; links are not
// followed. A value that is not known is left as it is here.
struct EntryId {
  char Type = '?';              // 'f' file, 'd' folder, 'l' symbolic link, 'o' anything else, '?' unknown
  std::uint64_t Dev = 0;        // the device, 0 unknown
  std::uint64_t Ino = 0;        // the inode number, 0 unknown
  std::uint64_t Size = kUnknown;
  std::int64_t Mtime = kNoTime;  // last change of content, in nanoseconds since 1970
  std::int64_t Btime = kNoTime;  // birth, where the file system keeps it
  std::uint64_t Gen = kUnknown;  // the inode's generation, which a reused inode number does not keep
  // What a run knows of all its entries at once, without a look at each:
  // the file system's own id (kept through a remount that renumbers the
  // device; 0 unknown), and a time by which every entry it renamed was born.
  std::uint64_t Fsid = 0;
  std::int64_t BornBy = kNoTime;

  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  static constexpr std::int64_t kNoTime = INT64_MIN;
  friend bool operator==(const EntryId&, const EntryId&) = default;
};

// The identity of the entry at `path`: ENOENT when there is none.
[[nodiscard]] SysResult IdentityOf(const std::string& path, EntryId& id, bool generation = false);
// The same for the entry `name` of the folder open as `folderFd`, in one
// system call; `generation` also asks for the inode's generation (three
// more, where the file system keeps no birth time).
[[nodiscard]] SysResult IdentityAt(int folderFd, const std::string& name, EntryId& id, bool generation = false);

// False where inode numbers are made up by the driver and may change at a
// remount, or give one file two numbers (FUSE, FAT, exFAT, SMB): there the
// size and the modification time tell files apart instead. True when the
// folder's file system cannot be told.
[[nodiscard]] bool InodesAreStable(const std::string& folder);
// The same for a file system of the type statfs gives.
[[nodiscard]] bool InodesAreStableOn(unsigned long fileSystemType);

// True when `now` may be taken for the entry that `recorded` describes.
// Always: the same kind of entry, and the same birth time where both are
// known; a birth after `recorded.BornBy` is another entry. Where inode
// numbers are stable: the same inode, on the same file system (the same
// device, or the same file system id, or the same size and time after a
// remount that renumbered it), and what tells a reused inode number apart:
// the birth time, else the generation, else the size and modification time.
// With a birth time or a generation the content may have changed since.
// Elsewhere: a file of the same size and modification time, a folder of the
// same kind. What `recorded` does not know is not compared: an identity of
// nothing but unknowns matches any entry, and one of an inode number alone
// (a record of the first version) any entry of that number.
[[nodiscard]] bool SameEntry(const EntryId& recorded, const EntryId& now, bool inodesStable);

// The file system's own id of the folder's file system; 0 when it has none.
[[nodiscard]] std::uint64_t FileSystemId(const std::string& folder);

// Longest entry name, in bytes, that the file system of `folder` takes.
[[nodiscard]] std::size_t MaxNameLength(const std::string& folder);

// Tells whether a name, spelt exactly so, is an entry of the folder.
using ListedFn = std::function<bool(std::string_view name)>;

// True when `newPath` finds the very entry at `oldPath` under another
// spelling, as a case-insensitive volume does ("A.MP4" and "a.mp4"): both in
// one folder, the names equal but for case (ASCII and full-width letters),
// the exact new name not itself an entry of the folder, and the new name
// leading to an entry on the same device. Two entries that differ only in
// case, or two hard links, are never taken for one. Some FUSE drivers give
// each spelling its own inode number, so the inode is not compared: the
// exact listing decides. `listed` answers from a listing the caller keeps;
// without one the folder is read.
[[nodiscard]] bool SameEntryByAnotherSpelling(const std::string& oldPath, const std::string& newPath,
                                              const ListedFn& listed = {});
// The same for two names (or relative paths) of the folder open as `dir`.
[[nodiscard]] bool SameEntryByAnotherSpellingAt(int dir, const std::string& oldPath, const std::string& newPath,
                                                const ListedFn& listed = {});

// Whether an entry may be created in `folder`: EROFS, EACCES and the like
// as a rename into it would meet them first.
[[nodiscard]] SysResult CanCreateIn(const std::string& folder);

}  // namespace quor
