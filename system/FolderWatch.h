#pragma once

// What a watch of folders needs from the kernel: the events of a folder's
// entries (inotify), whether a file is still open for writing (a read
// lease), a value that changes with an entry or a folder's tree, and a wait
// on several descriptors at once. Which file system a folder is on:
// system/Mounts.h.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "system/Descriptor.h"
#include "system/SystemOps.h"

namespace quor {

struct FolderEvent {
  enum class Kind {
    Created,     // a new entry
    MovedIn,     // an entry renamed into the folder, or to this name within it
    Changed,     // written, closed after writing, its attributes or times set
    Left,        // deleted or moved away (a rename within the folder: Left, then MovedIn)
    FolderGone,  // the folder itself was deleted, moved away or unmounted: its watch has ended
    Overflow,    // the kernel's queue of events overflowed: events of any folder were lost
  };
  Kind What = Kind::Changed;
  int Watch = -1;    // the folder, as Add numbered it; -1 for Overflow
  std::string Name;  // the entry; empty for FolderGone and Overflow
  bool IsFolder = false;
};

// The events of the entries of some folders (inotify), each as the kernel
// reports it, none merged. What happens inside a subfolder is not seen, nor
// what other machines write into a network share.
class FolderWatcher {
 public:
  FolderWatcher();
  // Whether the kernel gave an instance (EMFILE: the user's limit of
  // instances is reached ...).
  [[nodiscard]] SysResult Ready() const { return ready_; }
  // Readable while events wait.
  [[nodiscard]] int Fd() const { return fd_.Get(); }
  // Starts watching the entries of `folder` (a link to a folder is
  // followed): its number, the same for one folder named twice, or -1 with
  // why in `why` (ENOSPC: the user's limit of watches is reached; ENOENT,
  // ENOTDIR ...).
  [[nodiscard]] int Add(const std::string& folder, SysResult& why);
  // Ends a folder's watch; its events that still wait are dropped.
  void Remove(int watch);
  // Appends the events that wait, without blocking. A folder's watch ends
  // with one FolderGone.
  [[nodiscard]] SysResult Read(std::vector<FolderEvent>& events);

 private:
  Descriptor fd_;
  SysResult ready_;
  std::set<int> ended_;  // watches removed or gone, whose later events mean nothing
};

// Whether any process of this machine holds a file open for writing. Told
// by a read lease, taken and given back at once, which the kernel refuses
// while a writer has the file open; it needs no scan of other processes.
enum class Writers {
  None,     // no writer (also for anything that is not a regular file)
  Some,     // a writer has it open, or holds a lease that a reader would break
  Unknown,  // no lease to be had: another user's file without CAP_LEASE, a file
            // system without leases (network and FUSE file systems), leases
            // switched off (fs.leases-enable)
};
[[nodiscard]] Writers WritersOf(const std::string& path);

// A value that changes whenever the entry at `path` changes: a file's (or a
// link's) size, modification time and inode; for a folder, those of every
// entry in its tree too (links not followed, the first 10,000 entries), so
// that a folder that is still being filled shows it. ENOENT when there is
// no entry.
[[nodiscard]] SysResult ChangeSignature(const std::string& path, std::uint64_t& signature);

// One descriptor to wait for: readable, or with `Priority` an exceptional
// condition (the mount table's sign that a mount came or went).
struct Waited {
  int Fd = -1;
  bool Priority = false;
  bool Ready = false;  // set by WaitForAny
};

// Blocks until one of `fds` is ready or `timeoutMs` milliseconds pass (-1:
// no limit; no time is spent while nothing happens). A signal ends the wait
// early with none ready and no error.
[[nodiscard]] SysResult WaitForAny(std::vector<Waited>& fds, int timeoutMs);

}  // namespace quor
