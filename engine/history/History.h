#pragma once

// The recorded runs of the history folder and what can be done with them:
// list them and undo one. The window and the command line share all of it
// (the repair of interrupted runs: engine/history/Recovery.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/history/Recovery.h"
#include "engine/record/RecordFolder.h"
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
// one, in run order, with the identities they were recorded with. Later
// runs may have moved an entry since: its paths are where they put it and
// its old name (engine/history/LaterRuns.h), and Later says which run.
struct UndoPlan {
  enum class Block { None, NoSuchRun, Unreadable, NotARename, Running, Interrupted, NothingLeft };
  std::string RunId;
  std::string Folder;
  std::vector<std::string> OldPaths;
  std::vector<std::string> NewPaths;
  std::vector<EntryId> Ids;
  std::vector<std::size_t> Seqs;  // each rename's number in the run
  std::vector<LaterMove> Later;   // what later runs did to each
  // No later rename run of the same folder with renames left to undo, and
  // no later run that renamed one of the entries, their folder or a folder
  // above; LaterRun names the newest such run that did.
  bool Newest = true;
  std::string LaterRun;
  Block Why = Block::None;
  std::string Problem;  // why the run cannot be undone, in English words; "" when it can
};
[[nodiscard]] UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId);
// The same with the heads of the folder's records read already
// (ReadRecordHeads(historyDir, 0)).
[[nodiscard]] UndoPlan PlanUndo(const std::vector<RecordHead>& heads, const std::string& runId);

// The newest rename run with renames left to undo; "" when there is none.
// A run whose renames were all given back or given up is passed over.
[[nodiscard]] std::string NewestUndoableRun(const std::string& historyDir);

// Undoes the run plan.RunId exactly as Undo does (last rename first,
// refused entries kept for another try, vanished ones reported), recorded
// as an undo run of its own. The folders it renames in are locked first,
// waiting as a run does while another run holds one (`progress` may give
// up: the outcome is then cancelled, nothing done); under the locks the
// interrupted runs are repaired (`repaired` hears what that did) and the
// plan is made again, so that what is undone is what the records and the
// disk say once no other run can change them. The plan ends holding what
// is left to undo, or why nothing could be (Why).
// `known`: the lists that the run itself made of its renames (the window's
// own undo list). Where the history shows no run after it and nothing of it
// undone, they are the plan, taken into it, and the record is not read.
UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress = {},
                            std::string* problem = nullptr, RecoveryReport* repaired = nullptr,
                            UndoLists* known = nullptr);

// UndoRecordedRun of the newest run with renames left to undo, chosen under
// the locks of its folders: a rename run still going on is waited for and
// then undone, and of two undos at once the second undoes the run before
// the one the first undid. `plan` says which run was undone; its RunId is
// "" when there was nothing to undo.
UndoOutcome UndoNewestRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress = {},
                          std::string* problem = nullptr, RecoveryReport* repaired = nullptr);

}  // namespace quor
