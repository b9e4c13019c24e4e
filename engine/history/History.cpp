#include "engine/history/History.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <set>
#include <utility>

#include "engine/history/LaterRuns.h"
#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "system/SystemOps.h"
#include "text/TextOps.h"

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

UndoPlan PlanUndo(const std::vector<RecordHead>& heads, const std::string& runId) {
  UndoPlan plan;
  plan.RunId = runId;
  const auto it = std::find_if(heads.begin(), heads.end(), [&](const RecordHead& h) { return h.Record.Id == runId; });
  if (it == heads.end()) {
    plan.Why = UndoPlan::Block::NoSuchRun;
    plan.Problem = "no such run";
    return plan;
  }
  RunRecord run = ReadRecord(it->Record.Path, true);
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
  for (auto later = heads.begin(); later != it; ++later) {
    if (later->Undoable() && later->Record.EntriesFolder == run.EntriesFolder) {
      plan.Newest = false;
      if (plan.LaterRun.empty()) plan.LaterRun = later->Record.Id;
    }
  }
  // Renames taken back or given up by earlier undos of this run: by their
  // number in the run, or by their two paths in undos of older versions.
  std::set<std::size_t> settledSeqs;
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
      if (r.Outcome != State::Done && r.Outcome != State::Gone && !oldGone) continue;
      if (r.UndoneSeq != kNoSeq)
        settledSeqs.insert(r.UndoneSeq);
      else
        settled.insert({r.OldPath, r.NewPath});
    }
  }
  // The plan takes the record's paths: it is read for this plan alone.
  for (auto* list : {&plan.OldPaths, &plan.NewPaths}) list->reserve(run.Renames.size());
  plan.Ids.reserve(run.Renames.size());
  plan.Seqs.reserve(run.Renames.size());
  for (RecordedRename& r : run.Renames) {
    if (r.Outcome != RecordedRename::State::Done || settledSeqs.count(r.Seq) != 0 ||
        settled.count({r.NewPath, r.OldPath}) != 0)
      continue;
    plan.OldPaths.push_back(std::move(r.OldPath));
    plan.NewPaths.push_back(std::move(r.NewPath));
    plan.Ids.push_back(r.Id);
    plan.Seqs.push_back(r.Seq);
  }
  if (plan.OldPaths.empty()) {
    plan.Why = UndoPlan::Block::NothingLeft;
    plan.Problem = "nothing is left to undo";
    return plan;
  }
  // Where later runs put the entries and their old names.
  plan.Later.resize(plan.NewPaths.size());
  const LaterRuns later(heads, runId);
  if (later.Empty()) return plan;
  // Both names in one pass: the later records are read once.
  std::vector<std::string> paths = plan.NewPaths;
  paths.insert(paths.end(), plan.OldPaths.begin(), plan.OldPaths.end());
  const std::vector<Followed> followed = later.Follow(paths);
  const std::size_t n = plan.NewPaths.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Followed& entry = followed[i];
    const Followed& oldName = followed[n + i];
    if (entry.RenamedBy.empty() && entry.Path == plan.NewPaths[i] && oldName.Place == plan.OldPaths[i]) continue;
    plan.Later[i] = {entry.Blocker(), !entry.RenamedBy.empty()};
    plan.NewPaths[i] = entry.Path;
    plan.OldPaths[i] = oldName.Place;
    if (!plan.Later[i].Run.empty()) {
      plan.Newest = false;
      if (plan.LaterRun.empty() || plan.Later[i].Run > plan.LaterRun) plan.LaterRun = plan.Later[i].Run;
    }
  }
  return plan;
}

namespace {

// The folders an undo renames in, sorted.
std::vector<std::string> FoldersOf(const UndoPlan& plan) {
  std::set<std::string_view> folders;
  // Nearly every entry is in the folder of the one before it.
  std::string_view last;
  for (const auto* paths : {&plan.NewPaths, &plan.OldPaths}) {
    for (const std::string& path : *paths) {
      if (last.empty() || NameInFolder(path, last).empty()) folders.insert(last = ContainingFolder(path));
    }
  }
  return {folders.begin(), folders.end()};
}

bool Within(const std::vector<std::string>& some, const std::vector<std::string>& all) {
  return std::includes(all.begin(), all.end(), some.begin(), some.end());
}

void Append(RecoveryReport& to, RecoveryReport from) {
  to.Runs.insert(to.Runs.end(), from.Runs.begin(), from.Runs.end());
  for (Repair& r : from.Repairs) to.Repairs.push_back(std::move(r));
}

// The run an undo would take, and the folders to hold for it, chosen from
// the records' heads alone: the plan, which reads the run's whole record,
// is made once, under the locks.
struct Choice {
  std::string RunId;
  std::vector<std::string> Folders;
};

// The folder of run `id` to hold before its plan tells all of them.
Choice ChoiceOf(const std::vector<RecordHead>& heads, const std::string& id) {
  for (const RecordHead& h : heads)
    if (h.Record.Id == id) return {id, {h.Record.EntriesFolder}};
  return {id, {}};
}

// The plan that the run's own lists give, where nothing since could have
// changed them: no run recorded after it, nothing of it undone.
bool PlanFromKnown(const std::vector<RecordHead>& heads, const std::string& runId, UndoLists& known, UndoPlan& plan) {
  const auto it = std::find_if(heads.begin(), heads.end(), [&](const RecordHead& h) { return h.Record.Id == runId; });
  if (it == heads.end() || !it->Undoable() || it->TakenBack + it->GivenUp != 0 ||
      it->Record.Renamed != known.OldPaths.size() || known.NewPaths.size() != known.OldPaths.size() ||
      known.Ids.size() != known.OldPaths.size() || known.Seqs == nullptr ||
      known.Seqs->size() != known.OldPaths.size() || !LaterRuns(heads, runId).Empty())
    return false;
  plan = UndoPlan();
  plan.RunId = runId;
  plan.Folder = it->Record.Folder;
  plan.OldPaths = std::move(known.OldPaths);
  plan.NewPaths = std::move(known.NewPaths);
  plan.Ids = std::move(known.Ids);
  plan.Seqs = std::move(*known.Seqs);
  plan.Later.resize(plan.OldPaths.size());
  return true;
}

// A later run may change what is to undo until the folders are held:
// choose, lock, repair what died meanwhile, and choose again, until the
// choice is the same under the locks and its plan needs no folder that is
// not held. `candidate(heads, passed)` names the run, passing over those
// whose plan found nothing left.
template <typename CandidateFn>
UndoOutcome UndoUnderLocks(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress,
                           std::string* problem, RecoveryReport* repaired, CandidateFn&& candidate,
                           UndoLists* known = nullptr) {
  UndoOutcome outcome;
  // Said as soon as they are done: the undo's lines come after them.
  RecoveryReport own;
  RecoveryReport& repairs = repaired != nullptr ? *repaired : own;
  std::set<std::string> passed;
  Choice choice = candidate(ReadRecordHeads(historyDir, 0), passed);
  std::unique_ptr<FolderLocks> locks;
  plan = UndoPlan();
  // A bound on the rounds, should runs keep moving the folders: the last
  // plan is undone with the locks it holds.
  for (int round = 0; !choice.RunId.empty(); ++round) {
    locks.reset();
    locks = std::make_unique<FolderLocks>(choice.Folders, progress);
    if (!locks->Held()) {
      outcome.Cancelled = true;
      plan.RunId = choice.RunId;
      break;
    }
    Append(repairs, RecoverInterruptedRuns(historyDir));
    const std::vector<RecordHead> heads = ReadRecordHeads(historyDir, 0);
    const Choice again = candidate(heads, passed);
    if (again.RunId != choice.RunId) {
      choice = again;
      continue;
    }
    if (known == nullptr || !PlanFromKnown(heads, choice.RunId, *known, plan)) plan = PlanUndo(heads, choice.RunId);
    if (plan.Why == UndoPlan::Block::NothingLeft && passed.insert(choice.RunId).second) {
      // The counts promised more than the renames hold: the next run, if this one was but a candidate.
      choice = candidate(heads, passed);
      if (choice.RunId != plan.RunId) continue;
    }
    if (plan.Why != UndoPlan::Block::None) break;
    std::vector<std::string> needed = FoldersOf(plan);
    if (Within(needed, choice.Folders) || round >= 8) {
      JournalWriter journal(historyDir, RunKind::Undo, plan.Folder, plan.RunId);
      outcome = RunUndo({plan.OldPaths, plan.NewPaths, plan.Ids, &plan.Seqs, &plan.Later}, progress, &journal);
      if (problem != nullptr) *problem = journal.Problem();
      break;
    }
    // Later runs moved the entries: hold where they are now as well.
    needed.insert(needed.end(), choice.Folders.begin(), choice.Folders.end());
    std::sort(needed.begin(), needed.end());
    needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
    choice.Folders = std::move(needed);
  }
  if (choice.RunId.empty()) plan = UndoPlan();  // nothing (more) to undo
  return outcome;
}

}  // namespace

UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId) {
  // Heads and ends: the run and its undos are read through where they count.
  return PlanUndo(ReadRecordHeads(historyDir, 0), runId);
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
    if (PlanUndo(heads, head.Record.Id).Why == UndoPlan::Block::None) return head.Record.Id;
  }
  return {};
}

UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress,
                            std::string* problem, RecoveryReport* repaired, UndoLists* known) {
  const std::string runId = plan.RunId;
  UndoOutcome outcome = UndoUnderLocks(
      historyDir, plan, progress, problem, repaired,
      [&](const std::vector<RecordHead>& heads, const std::set<std::string>&) { return ChoiceOf(heads, runId); },
      known);
  plan.RunId = runId;
  return outcome;
}

UndoOutcome UndoNewestRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress,
                          std::string* problem, RecoveryReport* repaired) {
  const auto newest = [](const std::vector<RecordHead>& heads, const std::set<std::string>& passed) {
    for (const RecordHead& head : heads) {
      const RunRecord& r = head.Record;
      // A rename run still going on (or dead and not repaired) is the
      // newest: wait for it, then choose again.
      const bool unfinished = r.Readable && r.End == RunEnd::Unfinished && r.Kind == RunKind::Rename;
      if ((unfinished || head.Undoable()) && passed.count(r.Id) == 0) return ChoiceOf(heads, r.Id);
    }
    return Choice{};
  };
  return UndoUnderLocks(historyDir, plan, progress, problem, repaired, newest);
}

}  // namespace quor
