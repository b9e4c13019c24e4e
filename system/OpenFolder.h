#pragma once

// A folder held open by its descriptor, so that a run names its entries
// relative to it: the system looks each name up in that folder instead of
// walking the folder's whole path again for every call. What the folder's
// file system keeps about its entries is asked once, when it is opened.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "system/Descriptor.h"
#include "system/EntryIdentity.h"
#include "system/SystemOps.h"

namespace quor {

class OpenFolder {
 public:
  // Opens the folder at `path`; the system's reason when it cannot.
  [[nodiscard]] SysResult Open(const std::string& path);
  [[nodiscard]] bool IsOpen() const { return fd_.IsOpen(); }
  [[nodiscard]] const std::string& Path() const { return path_; }

  // Whether its inode numbers stay with their entries (InodesAreStable).
  [[nodiscard]] bool StableInodes() const { return stable_; }
  // Whether its file system stamps every entry with a birth time that this
  // machine's clock made, and keeps it: a local ext4, Btrfs, XFS, F2FS,
  // bcachefs or tmpfs whose folder shows one. Then an entry's inode number
  // and a time by which it was born tell it from any later one, with no
  // look at the entry itself. Not so on file systems of other machines
  // (whose clocks may differ) or of inodes without a birth time.
  [[nodiscard]] bool BirthTimes() const { return births_; }
  // Whether an entry's generation is worth asking for: ext2, ext3 and ext4
  // keep one per inode, which a reused inode number does not keep, and this
  // folder shows no birth times.
  [[nodiscard]] bool Generations() const { return generations_; }
  [[nodiscard]] std::uint64_t Dev() const { return dev_; }
  [[nodiscard]] std::uint64_t Fsid() const { return fsid_; }

  // RenameFileAt for two names of this folder.
  [[nodiscard]] RenameResult Rename(const std::string& oldName, const std::string& newName,
                                    const TempRouteFn& beforeTemp = {}) const;
  // IdentityAt for a name of this folder, with the file system's id.
  [[nodiscard]] SysResult Identity(const std::string& name, EntryId& id, bool generation = false) const;

 private:
  Descriptor fd_;
  std::string path_;
  std::string prefix_;  // path_ and a '/', what goes before a name of it
  bool stable_ = true;
  bool births_ = false;
  bool generations_ = false;
  std::uint64_t dev_ = 0;
  std::uint64_t fsid_ = 0;
};

// SameEntry across many entries, each looked at by its name within its
// folder, held open from the first entry of it: what the folder's file
// system keeps is asked once.
class IdentityCheck {
 public:
  // True when the entry at `path` may be taken for the entry that
  // `recorded` describes; `found` gets the system's answer to the look.
  [[nodiscard]] bool Holds(const EntryId& recorded, const std::string& path, SysResult* found = nullptr);
  // The same for `now`, the identity of the entry at `path`, looked at already.
  [[nodiscard]] bool Same(const EntryId& recorded, EntryId now, const std::string& path);
  // The folder that `path` is in, held open (or, should it not open, by its path).
  [[nodiscard]] const OpenFolder& FolderOf(const std::string& path);

 private:
  std::map<std::string, OpenFolder, std::less<>> folders_;
  const OpenFolder* last_ = nullptr;  // nearly every entry is in the folder of the one before it
  std::string name_;                  // its buffer kept from one look to the next
};

}  // namespace quor
