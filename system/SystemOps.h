#pragma once

// File operations over POSIX, on byte-string paths in the native code page.
// None of them throws. A path holding a NUL byte names nothing: it would be
// cut short at the system call.

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "system/Find.h"

namespace quor {

// What a system operation did: success, or the errno that says why not.
class [[nodiscard]] SysResult {
 public:
  constexpr SysResult() = default;
  constexpr explicit SysResult(int error) : error_(error) {}
  constexpr explicit operator bool() const { return error_ == 0; }
  // 0 on success.
  [[nodiscard]] constexpr int Error() const { return error_; }
  // The system's own words for the error; "" on success.
  [[nodiscard]] std::string Message() const;

 private:
  int error_ = 0;
};

// RenameFile's answer. When a rename through a temporary name could neither
// finish nor put the entry back, the entry is under neither of its names:
// StrandedAt says where it is.
class [[nodiscard]] RenameResult : public SysResult {
 public:
  using SysResult::SysResult;
  RenameResult(int error, std::string strandedAt) : SysResult(error), StrandedAt(std::move(strandedAt)) {}
  std::string StrandedAt;
};

// Renames or moves a file or folder. True on success; false on any failure,
// in particular when an entry already exists under the new path: it never
// replaces anything, not even on file systems that lack an atomic no-replace
// rename (there the target is checked just before a plain rename).
//
// A change of case only ("A.MP4" to "A.mp4") works on case-insensitive file
// systems too, where the new name finds the old entry itself: the entry goes
// through a unique temporary name in its folder, and is put back under its
// old name when the second step fails. A different entry whose name differs
// only in case is an existing target and makes the rename fail. A failure
// carries its errno (EEXIST for an existing target).
//
// `beforeTemp` hears the temporary name just before the entry moves there,
// so that a record of it can exist should the process die in between.
using TempRouteFn = std::function<void(const std::string& tempPath)>;
RenameResult RenameFile(const std::string& oldPath, const std::string& newPath, const TempRouteFn& beforeTemp = {});
// The same for two names of the folder open as `folderFd`, whose path is
// `folderPath` (for the temporary name's path and StrandedAt): the system
// looks the names up in that folder, not along the whole path each time.
RenameResult RenameFileAt(int folderFd, const std::string& folderPath, const std::string& oldName,
                          const std::string& newName, const TempRouteFn& beforeTemp = {});

// The temporary names of that middle step start with this.
inline constexpr std::string_view kTempNamePrefix = ".quor-rename-";

// True for a name that the middle step makes: ".quor-rename-4242-0-0.tmp"
// (the process, a counter, the attempt). No run takes such an entry for one
// of the folder's own: it is an entry on its way, which the repair of the
// run that left it moves on.
[[nodiscard]] bool IsTemporaryName(std::string_view name);

// True for an entry that is not a folder: a file, a link to one, or a link
// whose target is missing (the link itself is the entry). False for a
// folder, a link to a folder and nothing.
[[nodiscard]] bool FileExists(const std::string& path);

// True only for a folder or a link to one.
[[nodiscard]] bool DirectoryExists(const std::string& path);

// True for any entry, links not followed: a dangling link exists.
[[nodiscard]] bool EntryExists(const std::string& path);
// The same with the system's answer when there is none: ENOENT, or ENOTDIR
// for "file.mp4/" (a file named as a folder), EACCES ...
[[nodiscard]] SysResult LookUpEntry(const std::string& path);

// This process's id.
[[nodiscard]] long ProcessId();

// Full path of the running program; "" when the system does not tell.
[[nodiscard]] std::string ExecutablePath();

// The folder the process runs in, as the system spells it (no links);
// "" when it is gone or cannot be told.
[[nodiscard]] std::string CurrentFolder();

// The absolute path of an existing entry with every link on the way and at
// its end resolved; "" when it does not exist or cannot be resolved.
[[nodiscard]] std::string ResolvedPath(const std::string& path);

// Whether the folder's entries can be listed: a folder without read
// permission lists as empty, which a caller must not take for empty.
[[nodiscard]] SysResult CanListFolder(const std::string& path);

// True when the descriptor is a terminal, where a person watches.
[[nodiscard]] bool IsTerminal(int fd);

// True for a folder in which this process may create entries.
[[nodiscard]] bool IsWritableDirectory(const std::string& path);

// True for a writable folder that this process's user owns.
[[nodiscard]] bool IsOwnWritableDirectory(const std::string& path);

}  // namespace quor
