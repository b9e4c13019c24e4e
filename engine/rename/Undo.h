#pragma once

// The Undo command without a window: the renames of a run given back, the
// last first.

#include <exception>
#include <string>
#include <vector>

#include "engine/record/Journal.h"
#include "engine/rename/JournaledWalk.h"
#include "engine/rename/LogLines.h"

namespace quor {

// The parallel undo lists: entry i of both is one successful rename.
struct UndoLists {
  std::vector<std::string>& OldPaths;
  std::vector<std::string>& NewPaths;
};

struct UndoOutcome {
  std::vector<UndoLine> Lines;
  bool Cancelled = false;
  std::exception_ptr Failure;  // as in RenameOutcome
};

// Renames the entries of the last run back, the last rename first (a chain
// A->B, C->A only comes apart in that order); files and folders alike. An
// entry whose new path no longer exists gets an "Error" line and leaves the
// list. An entry whose rename back is refused (an entry under the old name,
// a read-only folder) gets an "Error" line and stays in the list, so that
// Undo can try it again once the cause is gone; so do the entries not yet
// replayed when the undo is cancelled or fails.
UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress = {}, JournalWriter* journal = nullptr);

}  // namespace quor
