#include "system/SystemOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "system/EntryIdentity.h"
#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Renames without ever replacing; 0 or the errno. `from` and `to` name
// entries of the folder open as `dir`, or are paths (AT_FDCWD).
int RenameNoReplace(int dir, const char* from, const char* to) {
  if (renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system refuses the flag (FUSE exFAT does, and it has no link()
  // either), or the system lacks the call: look right before a plain rename,
  // the best that allows. A genuine EINVAL (a folder into itself) comes back from
  // rename() as well.
  struct stat st {};
  if (fstatat(dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return renameat(dir, from, dir, to) == 0 ? 0 : errno;
}

// A unique name in the folder of `path` for the middle step of a case-only
// rename. Hidden, and marked as ours should it ever be seen.
std::string TempPathBeside(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  std::string folder(FolderView(WithoutTrailingSeparators(path)));
  char name[64];
  std::snprintf(name, sizeof name, "%ld-%u-%u.tmp", static_cast<long>(getpid()), counter.fetch_add(1), attempt);
  return folder.append(kTempNamePrefix).append(name);
}

bool Exists(int dir, const std::string& path, int& err) {
  struct stat st {};
  if (fstatat(dir, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
  err = errno;
  return false;
}

// The case-only rename: old -> temp -> new. Some case-insensitive file
// systems treat a direct rename to another spelling as a no-op. With the old
// entry out of the way, the no-replace rename to the new name fails exactly
// when a different entry holds that name. (A plain lstat of the new name
// would not do: FUSE keeps the lookup that found the old entry cached for a
// while, while the rename looks again.) `folder` is what goes before a
// name of `dir` to make its path ("" for paths).
RenameResult RenameThroughTemp(int dir, const std::string& folder, const std::string& oldPath,
                               const std::string& newPath, const TempRouteFn& beforeTemp) {
  std::string temp;
  int err = EEXIST;
  for (unsigned attempt = 0; attempt < 16 && err == EEXIST; ++attempt) {
    temp = TempPathBeside(oldPath, attempt);
    if (beforeTemp) beforeTemp(folder + temp);
    err = RenameNoReplace(dir, oldPath.c_str(), temp.c_str());
  }
  if (err != 0) return RenameResult(err);

  err = RenameNoReplace(dir, temp.c_str(), newPath.c_str());
  if (err == 0) {
    // Check where the entry ended up: under the new name and nowhere else.
    int lookErr = 0;
    if (Exists(dir, temp, lookErr)) err = EIO;
    else if (!Exists(dir, newPath, lookErr)) return RenameResult(lookErr);  // gone; nothing left to put back
  }
  if (err == 0) return {};
  // Never leave the entry under the temporary name. The old name was ours
  // a moment ago; only a racing process could have taken it since, and then
  // the caller must learn where the entry is.
  if (RenameNoReplace(dir, temp.c_str(), oldPath.c_str()) != 0) return RenameResult(err, folder + temp);
  return RenameResult(err);
}

RenameResult DoRename(int dir, const std::string& folder, const std::string& oldPath, const std::string& newPath,
                      const TempRouteFn& beforeTemp) {
  if (HasNulByte(oldPath) || HasNulByte(newPath)) return RenameResult(EINVAL);
  const int err = RenameNoReplace(dir, oldPath.c_str(), newPath.c_str());
  if (err != EEXIST) return RenameResult(err);
  // Only a new name that finds this very entry (a case-insensitive volume)
  // takes the way through a temporary name; another entry is never moved.
  if (!SameEntryByAnotherSpellingAt(dir, oldPath, newPath)) return RenameResult(EEXIST);
  return RenameThroughTemp(dir, folder, oldPath, newPath, beforeTemp);
}

}  // namespace

bool IsTemporaryName(std::string_view name) {
  if (!name.starts_with(kTempNamePrefix) || !name.ends_with(".tmp")) return false;
  name.remove_prefix(kTempNamePrefix.size());
  name.remove_suffix(4);
  // Three numbers joined by '-'.
  int numbers = 0;
  for (std::size_t at = 0;; ++numbers) {
    const std::size_t dash = name.find('-', at);
    const std::string_view number = name.substr(at, dash == std::string_view::npos ? dash : dash - at);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (dash == std::string_view::npos) return numbers == 2;
    at = dash + 1;
  }
}

std::string SysResult::Message() const { return error_ == 0 ? std::string() : std::strerror(error_); }

RenameResult RenameFile(const std::string& oldPath, const std::string& newPath, const TempRouteFn& beforeTemp) {
  try {
    return DoRename(AT_FDCWD, {}, oldPath, newPath, beforeTemp);
  } catch (...) {
    return RenameResult(ENOMEM);
  }
}

RenameResult RenameFileAt(int folderFd, const std::string& folderPath, const std::string& oldName,
                          const std::string& newName, const TempRouteFn& beforeTemp) {
  try {
    // A conditional expression would copy the path whichever way it went.
    if (folderPath.ends_with('/')) return DoRename(folderFd, folderPath, oldName, newName, beforeTemp);
    return DoRename(folderFd, folderPath + '/', oldName, newName, beforeTemp);
  } catch (...) {
    return RenameResult(ENOMEM);
  }
}

bool FileExists(const std::string& path) {
  if (HasNulByte(path)) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  // A link to nothing is still an entry, and not a folder.
  return lstat(path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& path) {
  if (HasNulByte(path)) return false;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path) {
  if (HasNulByte(path)) return false;
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

SysResult LookUpEntry(const std::string& path) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? SysResult() : SysResult(errno);
}

long ProcessId() { return static_cast<long>(getpid()); }

std::string ExecutablePath() {
  try {
    std::string buffer(256, '\0');
    for (;;) {
      const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (n < 0) return {};
      if (static_cast<std::size_t>(n) < buffer.size()) {
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
      }
      buffer.resize(buffer.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

std::string CurrentFolder() {
  try {
    std::string buffer(4096, '\0');
    for (;;) {
      if (getcwd(buffer.data(), buffer.size()) != nullptr) {
        buffer.resize(std::strlen(buffer.c_str()));
        // Linux prefixes "(unreachable)" when the folder is outside the root.
        return buffer.starts_with("/") ? buffer : std::string();
      }
      if (errno != ERANGE) return {};
      buffer.resize(buffer.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

std::string ResolvedPath(const std::string& path) {
  if (HasNulByte(path)) return {};
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string resolved(real);
  std::free(real);
  return resolved;
}

SysResult CanListFolder(const std::string& path) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return SysResult(errno);
  close(fd);
  return {};
}

bool IsTerminal(int fd) { return isatty(fd) == 1; }

bool IsWritableDirectory(const std::string& path) {
  return DirectoryExists(path) && faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsOwnWritableDirectory(const std::string& path) {
  if (HasNulByte(path)) return false;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_uid == geteuid() && IsWritableDirectory(path);
}

}  // namespace quor
