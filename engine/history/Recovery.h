#pragma once

// The repair of runs that a crash or a kill interrupted, done at the next
// start of either program before anything reads or adds to the history.

#include <string>
#include <vector>

#include "engine/rename/Refusal.h"

namespace quor {

// One entry moved back from the temporary name where a killed run left it.
struct Repair {
  std::string RunId;
  std::string TempPath;
  std::string PathNow;  // its new name, or its old one when the new was taken; "" when it could not move
  Refusal Why;          // why it could not
};

// The log's line for a repair: "Recover\t<path now>\t←\t<temporary path>",
// or an "Error" line with the reason when the entry could not move.
[[nodiscard]] std::string FormatLine(const Repair& repair);

struct RecoveryReport {
  std::vector<std::string> Runs;  // the records closed as recovered
  std::vector<Repair> Repairs;
};

// Finds the records of runs that did not finish and whose process is gone,
// and finishes what they began: an entry still under its temporary name is
// renamed to its new name, or back to its old one when the new one is taken;
// no other entry is touched. What each interrupted rename did is read off
// the disk and put on record, and the record is closed as recovered: a
// rename is done when the entry under its new name is the one it renamed
// (its recorded identity) and not the one under its old name; where both
// names hold such an entry, the renames after it tell (a run tries its
// intents in order, so one done later means this one was tried). Intents
// after the last one found done were never tried. A run whose folder
// another run holds is left for a later call. Unreadable records are left
// alone.
//
// With `dryRun` nothing is moved or written: the report says what a repair
// would do now (PathNow the name an entry would move to).
RecoveryReport RecoverInterruptedRuns(const std::string& historyDir, bool dryRun = false);

}  // namespace quor
