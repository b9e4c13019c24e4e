#pragma once

// Which file system holds a folder, as the mount table names it: a watch
// polls where this machine hears nothing of other machines' writes. Every
// FUSE mount has the same statfs magic, so the type comes from
// /proc/self/mountinfo ("fuse.sshfs").

#include <string>
#include <string_view>

#include "system/Descriptor.h"

namespace quor {

// The type of the file system that holds `path` ("ext4", "cifs",
// "fuse.sshfs"): that of the mount whose mount point is the longest that
// holds the path, after its links are resolved; the last of several mounts
// on one point, which hides the others. "" when it cannot be told.
[[nodiscard]] std::string FileSystemTypeOf(const std::string& path);

// The same from a mountinfo text, for a path without links:
//   FileSystemTypeIn("36 25 0:32 / /srv/tv rw - cifs //nas/tv rw\n", "/srv/tv/a") == "cifs"
[[nodiscard]] std::string FileSystemTypeIn(std::string_view mountinfo, std::string_view path);

// True for file systems that other machines write to without this
// machine's kernel hearing of it, so that no event comes of their writes:
// SMB (cifs, smb3), NFS, sshfs and the other FUSE clients of a remote
// store, cluster file systems, a virtual machine's share of its host.
[[nodiscard]] bool IsNetworkFileSystem(std::string_view type);

// The mount table, for a wait (system/FolderWatch.h, WaitForAny with
// Priority): ready each time a mount comes or goes.
[[nodiscard]] Descriptor OpenMountTable();

}  // namespace quor
