#include "engine/rename/Listing.h"

#include "engine/files/File.h"
#include "system/SystemOps.h"
#include "text/TextOps.h"

namespace quor {

// The whole listing first: renaming while the folder is read can hand out a
// renamed entry again, and the rules would run on it twice.
std::vector<Listed> ListFolder(const std::string& folderText, const NameSet* only, FolderState& state, int& error) {
  std::vector<Listed> entries;
  // Anything but an absolute path would list whatever folder the program
  // happens to run in, which the user never chose.
  if (folderText.empty() || folderText.front() != PathDelim) {
    state = FolderState::NotAbsolute;
    return entries;
  }
  TFindFile find;
  find.OnlyNames = only;
  find.First(MakeSearchPattern(folderText));
  while (find.Next()) entries.push_back({find.FullPath, find.cFileName, find.Inode});
  if (!entries.empty()) return entries;
  // Nothing listed: an empty folder, or one that would not be read, which
  // must not pass for a folder with nothing to rename.
  const std::string folder = FolderOfText(folderText);
  if (!DirectoryExists(folder)) {
    state = FolderState::Missing;
  } else if (const SysResult listable = CanListFolder(folder); !listable) {
    state = FolderState::Unreadable;
    error = listable.Error();
  }
  return entries;
}

}  // namespace quor
