#pragma once

// File operations over POSIX, on byte-string paths in the native code page.
// None of them throws. A path holding a NUL byte names nothing: it would be
// cut short at the system call.

#include <string>

#include "platform/Find.h"

namespace quor {

// Renames or moves a file or folder. True on success; false on any failure,
// in particular when an entry already exists under the new path: it never
// replaces anything, not even on file systems that lack an atomic no-replace
// rename (there the target is checked just before a plain rename).
//
// A change of case only ("A.MP4" to "A.mp4") works on case-insensitive file
// systems too, where the new name finds the old entry itself: the entry goes
// through a unique temporary name in its folder, and is put back under its
// old name when the second step fails. A different entry whose name differs
// only in case is an existing target and makes the rename fail.
bool RenameFile(const std::string& oldPath, const std::string& newPath);

// errno of the last RenameFile that failed (EEXIST for an existing target);
// 0 when none has failed yet on this thread.
[[nodiscard]] int LastRenameError();

// True for an entry that is not a folder: a file, a link to one, or a link
// whose target is missing (the link itself is the entry). False for a
// folder, a link to a folder and nothing.
[[nodiscard]] bool FileExists(const std::string& path);

// True only for a folder or a link to one.
[[nodiscard]] bool DirectoryExists(const std::string& path);

// True for any entry, links not followed: a dangling link exists.
[[nodiscard]] bool EntryExists(const std::string& path);

// Full path of the running program; "" when the system does not tell.
[[nodiscard]] std::string ExecutablePath();

// True for a folder in which this process may create entries.
[[nodiscard]] bool IsWritableDirectory(const std::string& path);

// True for a writable folder that this process's user owns.
[[nodiscard]] bool IsOwnWritableDirectory(const std::string& path);

}  // namespace quor
