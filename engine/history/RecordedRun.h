#pragma once

// A rename run as both programs start it: its folder locked (waiting while
// another run holds it), the runs that a crash or a kill interrupted
// repaired, then the run itself with its record. The repair comes under the
// lock and before the listing, so that a run that waited for one that died
// never renames over what that one left half done.

#include <optional>
#include <string>

#include "engine/history/Recovery.h"
#include "engine/rename/RenameRun.h"

namespace quor {

// What the history says of a run besides its lines.
struct RecordedRunNotes {
  RecoveryReport Repaired;  // what the repair under the run's lock did
  std::string Id;           // the run's record; "" when it has none
  std::string Problem;      // why it has no complete record; "" when all is well
};

// RunRename (with `undo`) or RunRecordedRename of `folderText`, recorded in
// `historyDir` under `recordText` (what the run was asked to rename; "":
// the folder text). A wait for the lock that `progress` gives up ends the
// run cancelled before anything was read, repaired or recorded, with the
// undo lists as they were.
RenameOutcome RenameRecorded(const std::string& historyDir, const std::string& folderText,
                             const RenameOptions& options, RecordedRunNotes& notes, const ProgressFn& progress = {},
                             const NameSet* only = nullptr, const std::string& recordText = {},
                             std::optional<UndoLists> undo = std::nullopt);

}  // namespace quor
