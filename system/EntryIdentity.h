#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "system/SystemOps.h"

namespace quor {

// The inode number of an entry (links not followed); 0 when there is none.
[[nodiscard]] std::uint64_t InodeOf(const std::string& path);

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

// Whether an entry may be created in `folder`: EROFS, EACCES and the like
// as a rename into it would meet them first.
[[nodiscard]] SysResult CanCreateIn(const std::string& folder);

}  // namespace quor
