#pragma once

// The folder a rename run renames in, held open for the run: each rename
// names its entries relative to it, and each renamed entry goes on record
// with the identity that its undo will check. Where the file system keeps
// birth times from this machine's clock (OpenFolder::BirthTimes), the
// listing already says all that is needed: the entry's kind and inode
// number, and for the whole run its file system and a time by which every
// listed entry was born. So a rename is one system call. Elsewhere each
// renamed entry is looked at once before its rename: its size and
// modification time, and its generation where inode numbers are stable
// but births are not kept.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/record/Journal.h"
#include "engine/rename/Listing.h"
#include "system/OpenFolder.h"

namespace quor {

class RunFolder {
 public:
  // Opens `folder`, once its run holds the lock; a folder that cannot be
  // opened is renamed in by its paths, with a look at each entry.
  void Open(const std::string& folder);

  // The identity `entry` goes on record with. The first call, which comes
  // after the listing and before the first rename, takes the time by which
  // the listed entries were born, and waits until the clock that stamps
  // new entries has passed it: no entry born after it can pass for one of
  // the listing.
  [[nodiscard]] EntryId Identity(const Listed& entry);

  // Renames the entry `oldName` of the folder to `newName`, its temporary
  // name put on record first should it take one.
  [[nodiscard]] RenameResult Rename(const std::string& oldName, std::string_view newName, JournalWriter* journal,
                                    std::size_t seq) const;

 private:
  OpenFolder folder_;
  std::int64_t bornBy_ = EntryId::kNoTime;
};

}  // namespace quor
