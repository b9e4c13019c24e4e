#pragma once

// The recorded runs of the history folder and what can be done with them:
// list them, repair the ones a kill interrupted, undo one, keep the folder
// small. The window and the command line share all of it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/history/Journal.h"
#include "engine/rename/Refusal.h"
#include "engine/rename/RenameRun.h"

namespace quor {

struct RunSummary {
  enum class State {
    Finished,
    Cancelled,
    Failed,       // ended by an error after some renames
    Interrupted,  // its process died; the next start repairs it
    Recovered,    // repaired after its process died
    Running,      // its writer is still at work
    Undone,       // every rename taken back
    PartlyUndone,
    Unreadable,   // cut short, damaged, of another version: never acted on
  };
  RunRecord Record;        // the head and the end only
  std::size_t Undone = 0;  // renames taken back by later undo runs
  State Now = State::Unreadable;
};

// Every record of the folder, newest first.
[[nodiscard]] std::vector<RunSummary> ListRuns(const std::string& historyDir);

// When a record's run started, in local time: "2026-12-07 14:15:30"; "" when
// the system cannot tell.
[[nodiscard]] std::string LocalTimeText(std::int64_t seconds);

// A rename run, on record to its end, with renames not taken back yet.
[[nodiscard]] bool IsUndoable(const RunSummary& run);

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
// the disk and put on record, and the record is closed as recovered.
// Unreadable records are left alone.
RecoveryReport RecoverInterruptedRuns(const std::string& historyDir);

// The renames of a recorded run that are still to undo: done by the run and
// not taken back by a later undo of it, in run order.
struct UndoPlan {
  enum class Block { None, NoSuchRun, Unreadable, NotARename, Running, Interrupted, NothingLeft };
  std::string RunId;
  std::string Folder;
  std::vector<std::string> OldPaths;
  std::vector<std::string> NewPaths;
  bool Newest = true;   // no later rename run for the same folder
  Block Why = Block::None;
  std::string Problem;  // why the run cannot be undone, in English words; "" when it can
};
[[nodiscard]] UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId);

// The newest rename run with renames left to undo; "" when there is none.
[[nodiscard]] std::string NewestUndoableRun(const std::string& historyDir);

// Undoes a planned run exactly as Undo does (last rename first, refused
// entries kept for another try, vanished ones reported), recorded as an undo
// run of its own. The plan's lists end holding what is left to undo.
UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress = {},
                            std::string* problem = nullptr);

// Keeps the newest `keepRuns` records within `keepBytes`, removes the older
// ones; never a record that is still written or still to be repaired.
inline constexpr std::size_t kKeepRuns = 100;
inline constexpr std::uint64_t kKeepBytes = 200ull << 20;
void PruneHistory(const std::string& historyDir, std::size_t keepRuns = kKeepRuns, std::uint64_t keepBytes = kKeepBytes);

}  // namespace quor
