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

// What a recorded run takes besides its folder text and rules.
struct RecordedRunAsked {
  const NameSet* Only = nullptr;  // RunRename's `only`
  std::string RecordText;         // what the run was asked to rename; "": the folder text
  std::optional<UndoLists> Undo;  // the window's undo lists: RunRename then, else RunRecordedRename
  // The renames of earlier runs that files coming late follow; none given:
  // the history's own (EarlierRenamesFrom), read as the run lists its folder.
  EarlierRenamesFn Earlier;
  const NameSet* Exclude = nullptr;  // RunRename's `exclude`: entries left out
};

// RunRename or RunRecordedRename of `folderText`, recorded in `historyDir`.
// A wait for the lock that `progress` gives up ends the run cancelled
// before anything was read, repaired or recorded, with the undo lists as
// they were.
RenameOutcome RenameRecorded(const std::string& historyDir, const std::string& folderText,
                             const RenameOptions& options, RecordedRunNotes& notes, const ProgressFn& progress = {},
                             const RecordedRunAsked& asked = {});

}  // namespace quor
