#pragma once

// What a run takes from its folder: the whole listing, read before the first
// rename, and what the folder text named.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/files/Findfile.h"

namespace quor {

// What the folder text named.
enum class FolderState {
  Listed,       // a folder, listed (it may hold nothing that matches)
  NotAbsolute,  // empty, a bare mask or a relative path: the program's own current folder, which nobody chose
  Missing,      // no such folder
  Unreadable,   // a folder whose entries cannot be listed (no read permission, ...)
};

// One listed entry.
struct Listed {
  std::string FullPath;
  std::string Name;
  std::uint64_t Inode = 0;
  bool IsFolder = false;  // as the listing tells (a link to a folder is no folder)
  char Type = '?';        // FindData::Kind
};

// Every entry that the folder text lists (only those spelt as one of `only`
// when it is given), in listing order, but for the temporary names of a
// case-only rename (IsTemporaryName), which only a repair moves. A text
// that is not an absolute path lists nothing; nor does a folder that is
// missing or cannot be read, and `state` (with `error`, the system's
// reason) tells which.
[[nodiscard]] std::vector<Listed> ListFolder(const std::string& folderText, const NameSet* only, FolderState& state,
                                             int& error);

// Every entry of `folder`, taken as a folder, never as a mask (its own name
// may hold a '*').
[[nodiscard]] std::vector<Listed> ListWholeFolder(const std::string& folder, FolderState& state, int& error);

// Whether a listing of a folder text with `mask` (empty: none) and `only`
// selects `name`.
[[nodiscard]] bool SelectsName(const std::string& name, const std::string& mask, const NameSet* only);

}  // namespace quor
