#pragma once

// One run at a time per folder: a run holds an exclusive lock on the folder
// it renames in, so that two runs (of either program, of any user of this
// machine) never decide on the same names at once. The lock is the
// system's own (flock on the folder), dropped when its holder ends,
// however it ends.

#include <string>

#include "system/SystemOps.h"

namespace quor {

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Unlock(); }
  FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `folder` unless another holds it: EWOULDBLOCK then.
  // Any other error means the folder cannot be locked at all (it cannot be
  // opened, or its file system keeps no such locks).
  [[nodiscard]] SysResult TryLock(const std::string& folder);
  [[nodiscard]] bool Held() const { return fd_ >= 0; }
  void Unlock();

 private:
  int fd_ = -1;
};

}  // namespace quor
