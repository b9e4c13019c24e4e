#pragma once

// One run at a time per folder: a run holds an exclusive lock on the folder
// it renames in, so that two runs (of either program, of any user of this
// machine) never decide on the same names at once. The lock is the
// system's own (flock on the folder), dropped when its holder ends,
// however it ends.

#include <string>

#include "system/Descriptor.h"
#include "system/SystemOps.h"

namespace quor {

// Moved, never copied; the lock goes when its holder ends.
class FolderLock {
 public:
  // Takes the lock of `folder` unless another holds it: EWOULDBLOCK then.
  // Any other error means the folder cannot be locked at all (it cannot be
  // opened, or its file system keeps no such locks).
  [[nodiscard]] SysResult TryLock(const std::string& folder);
  [[nodiscard]] bool Held() const { return fd_.IsOpen(); }
  void Unlock() { fd_.Close(); }

 private:
  Descriptor fd_;
};

}  // namespace quor
