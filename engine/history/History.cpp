#include "engine/history/History.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <utility>

#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "system/RecordFile.h"

namespace quor {

namespace {

constexpr std::uint64_t kCheckedBytes = 4u << 20;

}  // namespace

std::vector<RunSummary> ListRuns(const std::string& historyDir) {
  std::vector<RunSummary> runs;
  std::map<std::string, std::size_t> undone;  // run id -> renames taken back
  for (const RecordFileEntry& f : RecordFiles(historyDir)) {
    RunSummary run;
    // Read through where that is cheap, so that damage shows in the list;
    // a large record is read through when it is acted on.
    run.Record = ReadRecord(f.Path, f.Size <= kCheckedBytes);
    run.Record.Renames.clear();
    if (run.Record.Readable && run.Record.Kind == RunKind::Undo && !run.Record.Undoes.empty())
      undone[run.Record.Undoes] += run.Record.Renamed;
    runs.push_back(std::move(run));
  }
  using State = RunSummary::State;
  for (RunSummary& run : runs) {
    const RunRecord& r = run.Record;
    if (!r.Readable) continue;
    const auto it = undone.find(r.Id);
    run.Undone = it == undone.end() ? 0 : it->second;
    switch (r.End) {
      case RunEnd::Unfinished: run.Now = IsLockedByAnother(r.Path) ? State::Running : State::Interrupted; break;
      case RunEnd::Finished: run.Now = State::Finished; break;
      case RunEnd::Cancelled: run.Now = State::Cancelled; break;
      case RunEnd::Failed: run.Now = State::Failed; break;
      case RunEnd::Recovered: run.Now = State::Recovered; break;
    }
    if (r.Kind == RunKind::Rename && r.End != RunEnd::Unfinished && run.Undone > 0)
      run.Now = run.Undone >= r.Renamed ? State::Undone : State::PartlyUndone;
  }
  return runs;
}

UndoPlan PlanUndo(const std::string& historyDir, const std::string& runId) {
  UndoPlan plan;
  plan.RunId = runId;
  const std::vector<RecordFileEntry> files = RecordFiles(historyDir);
  const auto it = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.Id == runId; });
  if (it == files.end()) {
    plan.Why = UndoPlan::Block::NoSuchRun;
    plan.Problem = "no such run";
    return plan;
  }
  const RunRecord run = ReadRecord(it->Path, true);
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
  // Renames taken back by earlier undos of this run, by their two paths.
  std::set<std::pair<std::string, std::string>> takenBack;
  for (auto f = files.begin(); f != files.end(); ++f) {
    if (f->Id == runId) continue;
    const RunRecord head = ReadRecord(f->Path, false);
    if (!head.Readable) continue;
    if (head.Kind == RunKind::Rename && f->Id > runId && head.Folder == run.Folder) plan.Newest = false;
    if (head.Kind != RunKind::Undo || head.Undoes != runId) continue;
    for (const RecordedRename& r : ReadRecord(f->Path, true).Renames)
      if (r.Outcome == RecordedRename::State::Done) takenBack.insert({r.NewPath, r.OldPath});
  }
  for (const RecordedRename& r : run.Renames) {
    if (r.Outcome != RecordedRename::State::Done || takenBack.count({r.OldPath, r.NewPath}) != 0) continue;
    plan.OldPaths.push_back(r.OldPath);
    plan.NewPaths.push_back(r.NewPath);
  }
  if (plan.OldPaths.empty()) {
    plan.Why = UndoPlan::Block::NothingLeft;
    plan.Problem = "nothing is left to undo";
  }
  return plan;
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
  return r.Readable && r.Kind == RunKind::Rename && r.End != RunEnd::Unfinished && r.Renamed > run.Undone;
}

std::string NewestUndoableRun(const std::string& historyDir) {
  for (const RunSummary& run : ListRuns(historyDir))
    if (IsUndoable(run)) return run.Record.Id;
  return {};
}

UndoOutcome UndoRecordedRun(const std::string& historyDir, UndoPlan& plan, const ProgressFn& progress,
                            std::string* problem) {
  JournalWriter journal(historyDir, RunKind::Undo, plan.Folder, plan.RunId);
  UndoOutcome outcome = RunUndo({plan.OldPaths, plan.NewPaths}, progress, &journal);
  if (problem != nullptr) *problem = journal.Problem();
  return outcome;
}

}  // namespace quor
