#include "system/ExactNames.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>

#include "system/Descriptor.h"

namespace quor {

bool LooksUpExactNames(const std::string& folder) {
  struct statfs fs {};
  if (::statfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return false;
  bool mayFold = false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53ul:      // ext2, ext3, ext4
    case 0xF2F52010ul:  // F2FS
    case 0x01021994ul:  // tmpfs
      mayFold = true;   // a folder of theirs may fold case
      break;
    case 0x58465342ul:  // XFS
    case 0x9123683Eul:  // Btrfs
      return true;
    default:
      return false;
  }
  if (!mayFold) return true;
  Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.IsOpen()) return false;
  int flags = 0;
  // A kernel that keeps no such attribute folds nothing.
  if (::ioctl(dir.Get(), FS_IOC_GETFLAGS, &flags) != 0) return errno == ENOTTY || errno == EOPNOTSUPP;
  return (flags & FS_CASEFOLD_FL) == 0;
}

}  // namespace quor
