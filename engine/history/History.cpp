#include "engine/history/History.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <utility>

#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "system/SystemOps.h"

namespace quor {

namespace {

RunSummary SummaryOf(RecordHead head) {
  using State = RunSummary::State;
  RunSummary run;
  run.Undone = head.TakenBack;
  run.GivenUp = head.GivenUp;
  const RunRecord& r = head.Record;
  if (r.Readable) {
    switch (r.End) {
      case RunEnd::Unfinished: run.Now = head.Live ? State::Running : State::Interrupted; break;
      case RunEnd::Finished: run.Now = State::Finished; break;
      case RunEnd::Cancelled: run.Now = State::Cancelled; break;
      case RunEnd::Failed: run.Now = State::Failed; break;
      case RunEnd::Recovered: run.Now = State::Recovered; break;
    }
    // What undo runs gave back; a run of which they gave nothing back yet,
    // and found only some gone, keeps its own state.
    if (r.Kind == RunKind::Rename && r.End != RunEnd::Unfinished) {
      if (run.Undone > 0)
        run.Now = run.Undone >= r.Renamed ? State::Undone : State::PartlyUndone;
      else if (run.GivenUp > 0 && run.GivenUp >= r.Renamed)
        run.Now = State::NotUndone;
    }
  }
  run.Record = std::move(head.Record);
  return run;
}

}  // namespace

std::vector<RunSummary> ListRuns(const std::string& historyDir) {
  std::vector<RunSummary> runs;
  for (RecordHead& head : ReadRecordHeads(historyDir)) runs.push_back(SummaryOf(std::move(head)));
  return runs;
}

namespace {

// PlanUndo with the heads of the folder's records read already.
UndoPlan PlanUndoIn(const std::vector<RecordHead>& heads, const std::string& runId) {
  UndoPlan plan;
  plan.RunId = runId;
  const auto it = std::find_if(heads.begin(), heads.end(), [&](const RecordHead& h) { return h.Record.Id == runId; });
  if (it == heads.end()) {
    plan.Why = UndoPlan::Block::NoSuchRun;
    plan.Problem = "no such run";
    return plan;
  }
  const RunRecord run = ReadRecord(it->Record.Path, true);
  if (!run.Readable) {
    plan.Why = UndoPlan::Block::Unreadable;
    plan.Problem = "the record cannot be read: " + run.Problem;
    return plan;
  }
  if (run.Kind != RunKind::Rename) {
    plan.Why = UndoPlan::Block::NotARename;
    plan.Problem = "an undo is not undone";
    return plan;
  }
  if (run.End == RunEnd::Unfinished) {
    const bool running = IsLockedByAnother(run.Path);
    plan.Why = running ? UndoPlan::Block::Running : UndoPlan::Block::Interrupted;
    plan.Problem = running ? "the run is still going on" : "the run was interrupted and is not repaired yet";
    return plan;
  }
  plan.Folder = run.Folder;
  // A later run of the same folder that still has something to undo may
  // have renamed the same entries again.
  for (auto later = heads.begin(); later != it; ++later)
    if (later->Undoable() && later->Record.EntriesFolder == run.EntriesFolder) plan.Newest = false;
  // Renames taken back or given up by earlier undos of this run, by their
  // two paths.
  std::set<std::pair<std::string, std::string>> settled;
  for (const RecordHead& h : heads) {
    const RunRecord& head = h.Record;
    if (!head.Readable || head.Kind != RunKind::Undo || head.Undoes != runId) continue;
    const RunRecord undo = ReadRecord(head.Path, true);
    for (const RecordedRename& r : undo.Renames) {
      using State = RecordedRename::State;
      // The first version wrote a vanished entry as refused; it is gone all
      // the same when nothing bears its name.
      const bool oldGone =
          undo.Version == 1 && r.Outcome == State::Refused && r.Error == ENOENT && !EntryExists(r.OldPath);
      if (r.Outcome == State::Done || r.Outcome == State::Gone || oldGone) settled.insert({r.OldPath, r.NewPath});
    }
  }
  for (const RecordedRename& r : run.Renames) {
    if (r.Outcome != RecordedRename::State::Done || settled.count({r.NewPath, r.OldPath}) != 0) continue;
    plan.OldPaths.push_back(r.OldPath);
    plan.NewPaths.push_back(r.NewPath);
    plan.Ids.push_back(r.Id);
  }
  if (plan.OldPaths.empty()) {
    plan.Why = UndoPlan::Block::NothingLeft;
    plan.Problem = "nothing is left to undo";
  }
  return plan;
}

}  // namespace

UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId) {
  // Heads and ends: the run and its undos are read through where they count.
  return PlanUndoIn(ReadRecordHeads(historyDir, 0), runId);
}

std::string LocalTimeText(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local {};
  if (localtime_r(&t, &local) == nullptr) return {};
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) != 0 ? text : "";
}

bool IsUndoable(const RunSummary& run) {
  const RunRecord& r = run.Record;
  return r.Readable && r.Kind == RunKind::Rename && r.End != RunEnd::Unfinished && r.Renamed > run.Undone + run.GivenUp;
}

std::string NewestUndoableRun(const std::string& historyDir) {
  const std::vector<RecordHead> heads = ReadRecordHeads(historyDir, 0);
  for (const RecordHead& head : heads) {
    if (!head.Undoable()) continue;
    // The counts may promise more than the renames hold (what a record of
    // the first version calls refused may be gone): the plan decides.
    if (PlanUndoIn(heads, head.Record.Id).Why == UndoPlan::Block::None) return head.Record.Id;
  }
  return {};
}

UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress,
                            std::string* problem) {
  JournalWriter journal(historyDir, RunKind::Undo, plan.Folder, plan.RunId);
  UndoOutcome outcome = RunUndo({plan.OldPaths, plan.NewPaths, plan.Ids}, progress, &journal);
  if (problem != nullptr) *problem = journal.Problem();
  return outcome;
}

}  // namespace quor
