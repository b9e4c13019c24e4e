#pragma once

// The Undo command without a window: the renames of a run given back, the
// last first.

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "engine/record/Journal.h"
#include "engine/rename/JournaledWalk.h"
#include "engine/rename/LogLines.h"
#include "system/EntryIdentity.h"

namespace quor {

// What a later run did to an entry that an undo takes back.
struct LaterMove {
  std::string Run;      // the later run; "" when none renamed the entry or a folder above it
  bool Itself = false;  // it renamed the entry itself: that run is to be undone first
};

// The parallel undo lists: entry i of each is one successful rename, with
// the identity the entry had (system/EntryIdentity.h). An undo of a
// recorded run knows more, in lists of the same length: each rename's
// number in the run, and what later runs did (the paths are then where the
// later runs put the entry and its old name).
struct UndoLists {
  std::vector<std::string>& OldPaths;
  std::vector<std::string>& NewPaths;
  std::vector<EntryId>& Ids;
  std::vector<std::size_t>* Seqs = nullptr;
  std::vector<LaterMove>* Later = nullptr;
};

struct UndoOutcome {
  std::vector<UndoLine> Lines;
  std::size_t GivenBack = 0;  // its "Undo" lines, whether kept or told (ProgressFn)
  std::size_t Errors = 0;     // its "Error" lines
  std::size_t Gone = 0;  // "Error" lines of entries that left the list for good
  bool Cancelled = false;
  std::exception_ptr Failure;  // as in RenameOutcome
  std::vector<std::string> RemovedUndoable;  // as in RenameOutcome
};

// Renames the entries of the last run back, the last rename first (a chain
// A->B, C->A only comes apart in that order); files and folders alike, and
// only the very entry that the run renamed: an entry under the new name is
// compared with the recorded identity first. An entry already under its old
// name (a person renamed it back) counts as given back. An entry whose new
// path no longer exists, or now names another entry, gets an "Error" line
// and leaves the list for good; but where a later run moved it or its
// folder, it only cannot go back yet. An entry whose rename back is refused
// (an entry under the old name, a read-only folder), or that a later run
// renamed again, gets an "Error" line and stays in the list, so that Undo
// can try it again once the cause is gone; so do the entries not yet
// replayed when the undo is cancelled or fails. The undo holds the locks
// of the entries' folders, as a rename run does.
UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress = {}, JournalWriter* journal = nullptr);

}  // namespace quor
