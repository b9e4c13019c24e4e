#pragma once

// Whether a folder finds its entries by their exact bytes alone, so that a
// listing of it tells whether a name is taken without asking the system.

#include <string>

namespace quor {

// True when the file system of `folder` looks a name up by its exact bytes:
// ext4, XFS, Btrfs, F2FS and tmpfs, in a folder without case folding (the
// casefold attribute of ext4, F2FS and tmpfs). False wherever another
// spelling may find an entry (FAT, exFAT, NTFS, SMB, a casefolded folder,
// ZFS with its normalisation), wherever the server decides (NFS), and
// whenever it cannot be told.
[[nodiscard]] bool LooksUpExactNames(const std::string& folder);

}  // namespace quor
