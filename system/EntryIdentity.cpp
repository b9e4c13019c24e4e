#include "system/EntryIdentity.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "text/TextOps.h"

namespace quor {

std::uint64_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
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
