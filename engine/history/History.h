#pragma once

// The recorded runs of the history folder and what can be done with them:
// list them and undo one. The window and the command line share all of it
// (the repair of interrupted runs: engine/history/Recovery.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/record/RecordFormat.h"
#include "engine/rename/Refusal.h"
#include "engine/rename/Undo.h"
#include "system/EntryIdentity.h"

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
    NotUndone,    // none taken back: undo runs found every one gone or replaced
    Unreadable,   // cut short, damaged, of another version: never acted on
  };
  RunRecord Record;        // the head and the end only
  std::size_t Undone = 0;  // renames taken back by later undo runs
  std::size_t GivenUp = 0; // renames that later undo runs found gone or replaced
  State Now = State::Unreadable;
};

// Every record of the folder, newest first.
[[nodiscard]] std::vector<RunSummary> ListRuns(const std::string& historyDir);

// When a record's run started, in local time: "2026-12-07 14:15:30"; "" when
// the system cannot tell.
[[nodiscard]] std::string LocalTimeText(std::int64_t seconds);

// A rename run, on record to its end, with renames not taken back yet: all
// are taken back once each is given back or was found gone or replaced.
[[nodiscard]] bool IsUndoable(const RunSummary& run);

// The renames of a recorded run that are still to undo: done by the run and
// neither taken back by a later undo of it nor found gone or replaced by
// one, in run order, with the identities they were recorded with.
struct UndoPlan {
  enum class Block { None, NoSuchRun, Unreadable, NotARename, Running, Interrupted, NothingLeft };
  std::string RunId;
  std::string Folder;
  std::vector<std::string> OldPaths;
  std::vector<std::string> NewPaths;
  std::vector<EntryId> Ids;
  bool Newest = true;   // no later rename run of the same folder with renames left to undo
  Block Why = Block::None;
  std::string Problem;  // why the run cannot be undone, in English words; "" when it can
};
[[nodiscard]] UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId);

// The newest rename run with renames left to undo; "" when there is none.
// A run whose renames were all given back or given up is passed over.
[[nodiscard]] std::string NewestUndoableRun(const std::string& historyDir);

// Undoes a planned run exactly as Undo does (last rename first, refused
// entries kept for another try, vanished ones reported), recorded as an undo
// run of its own. The plan's lists end holding what is left to undo.
UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress = {},
                            std::string* problem = nullptr);

}  // namespace quor
