#include "engine/rename/Listing.h"

#include "engine/files/File.h"
#include "system/SystemOps.h"
#include "text/FindMask.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// The entries that `pattern` lists in `folder`, which the caller named.
std::vector<Listed> ListPattern(const std::string& pattern, const std::string& folder, const NameSet* only,
                                FolderState& state, int& error) {
  std::vector<Listed> entries;
  TFindFile find;
  find.OnlyNames = only;
  find.First(pattern);
  while (find.Next()) {
    // An entry on its way through a temporary name is the repair's, never the rules'.
    if (IsTemporaryName(find.cFileName)) continue;
    entries.push_back(
        {find.FullPath, find.cFileName, find.Inode, find.HasAnyAttribute(FILE_ATTRIBUTE_DIRECTORY), find.Kind()});
  }
  if (!entries.empty()) return entries;
  // Nothing listed: an empty folder, or one that would not be read, which
  // must not pass for a folder with nothing to rename.
  if (!DirectoryExists(folder)) {
    state = FolderState::Missing;
  } else if (const SysResult listable = CanListFolder(folder); !listable) {
    state = FolderState::Unreadable;
    error = listable.Error();
  }
  return entries;
}

// Anything but an absolute path would list whatever folder the program
// happens to run in, which the user never chose.
bool Absolute(const std::string& text, FolderState& state) {
  if (!text.empty() && text.front() == PathDelim) return true;
  state = FolderState::NotAbsolute;
  return false;
}

}  // namespace

// The whole listing first: renaming while the folder is read can hand out a
// renamed entry again, and the rules would run on it twice.
std::vector<Listed> ListFolder(const std::string& folderText, const NameSet* only, FolderState& state, int& error) {
  if (!Absolute(folderText, state)) return {};
  return ListPattern(MakeSearchPattern(folderText), FolderOfText(folderText), only, state, error);
}

std::vector<Listed> ListWholeFolder(const std::string& folder, FolderState& state, int& error) {
  if (!Absolute(folder, state)) return {};
  return ListPattern(JoinPath(folder, "*.*"), folder, nullptr, state, error);
}

bool SelectsName(const std::string& name, const std::string& mask, const NameSet* only) {
  if (only) return only->count(name) != 0;
  return mask.empty() || MatchesFindMask(name, mask, NativeCodepage());
}

}  // namespace quor
