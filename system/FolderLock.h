#pragma once

// One run at a time per folder: a run holds an exclusive lock on the folder
// it renames in, so that two runs (of either program, of any user of this
// machine) never decide on the same names at once. The lock is the
// system's own (flock on the folder), dropped when its holder ends,
// however it ends.

#include <cstdint>
#include <string>

#include "system/SystemOps.h"

namespace quor {

// Moved, never copied; the lock goes when its last holder ends.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Unlock(); }
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `folder` unless another holds it: EWOULDBLOCK then,
  // also for another thread of this process. The thread that holds a
  // folder's lock takes it again at once, so that what a run does inside
  // its lock (repairing an interrupted run, the walk itself) may lock the
  // same folder; the folder is one entry, whatever path names it. Any other
  // error means the folder cannot be locked at all (it cannot be opened, or
  // its file system keeps no such locks).
  [[nodiscard]] SysResult TryLock(const std::string& folder);
  [[nodiscard]] bool Held() const { return held_; }
  void Unlock();

 private:
  bool held_ = false;
  std::uint64_t dev_ = 0;
  std::uint64_t ino_ = 0;
};

}  // namespace quor
