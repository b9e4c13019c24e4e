#include "engine/history/History.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <utility>

#include "engine/files/Findfile.h"
#include "system/EntryIdentity.h"
#include "system/RecordFile.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor {

namespace {

constexpr std::uint64_t kCheckedBytes = 4u << 20;

struct RecordFileEntry {
  std::string Id;
  std::string Path;
  std::uint64_t Size = 0;
};

// The records of the folder, newest first: ids sort by their time.
std::vector<RecordFileEntry> RecordFiles(const std::string& dir) {
  std::vector<RecordFileEntry> files;
  if (dir.empty()) return files;
  TFindFile find;
  find.ExcludeAttr = FILE_ATTRIBUTE_DIRECTORY;
  find.First(dir + "/*.log");
  while (find.Next()) {
    const std::string& name = find.cFileName;
    if (name.size() <= 4 || name.ends_with(".log") == false) continue;
    files.push_back({name.substr(0, name.size() - 4), find.FullPath, find.FileSize()});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Id > b.Id; });
  return files;
}

// The exact names in folders, read once per folder.
class FolderNames {
 public:
  bool Has(const std::string& path) {
    const std::string folder(FolderView(path));
    auto it = names_.find(folder);
    if (it == names_.end()) it = names_.emplace(folder, ListEntryNames(folder)).first;
    return it->second.count(std::string(FileNameView(path))) != 0;
  }
  // After an entry moved: read again when next asked.
  void Forget() { names_.clear(); }

 private:
  std::map<std::string, NameSet> names_;
};

// What a rename whose outcome never reached the record did, read off the
// disk. A case-only rename is told by the exact names the folder lists (on
// a case-insensitive volume both spellings find the entry); otherwise the
// inode as listed says where the entry is, where the file system keeps
// inodes stable, and else the names do.
bool FoundDone(const RecordedRename& r, FolderNames& names) {
  const Codepage cp = NativeCodepage();
  if (FolderView(r.OldPath) == FolderView(r.NewPath) &&
      AnsiUpperCase(FileNameView(r.OldPath), cp) == AnsiUpperCase(FileNameView(r.NewPath), cp))
    return names.Has(r.NewPath) && !names.Has(r.OldPath);
  if (r.Inode != 0) {
    if (InodeOf(r.NewPath) == r.Inode) return true;
    if (InodeOf(r.OldPath) == r.Inode) return false;
  }
  return !EntryExists(r.OldPath) && EntryExists(r.NewPath);
}

// Finishes one interrupted record, whose lock the caller holds.
void Recover(RunRecord& record, RecordFile& file, RecoveryReport& report) {
  FolderNames names;
  std::string lines;
  std::size_t renamed = 0;
  std::size_t refused = 0;
  std::size_t lastSeq = 0;
  for (RecordedRename& r : record.Renames) {
    lastSeq = r.Seq;
    for (const std::string& temp : r.Temps) {
      if (!EntryExists(temp)) continue;
      Repair repair{record.Id, temp, {}, {}};
      // The entry never reached either name: finish the rename, or undo it.
      RenameResult moved = RenameFile(temp, r.NewPath);
      if (moved) {
        repair.PathNow = r.NewPath;
        r.Outcome = RecordedRename::State::Done;
      } else if (RenameFile(temp, r.OldPath)) {
        repair.PathNow = r.OldPath;
        r.Outcome = RecordedRename::State::Refused;
        r.Error = moved.Error();
      } else {
        repair.Why = RefusalOf(moved);
      }
      if (!repair.PathNow.empty()) {
        names.Forget();
        AppendFixedLine(lines, r.Seq, temp, repair.PathNow);
      }
      report.Repairs.push_back(std::move(repair));
    }
    if (r.Outcome == RecordedRename::State::Unknown) {
      if (FoundDone(r, names)) {
        r.Outcome = RecordedRename::State::Done;
        AppendDoneLine(lines, r.Seq);
      } else {
        r.Outcome = RecordedRename::State::Refused;
        AppendRefusedLine(lines, r.Seq, 0);  // found not done
      }
    } else if (r.Outcome == RecordedRename::State::Done && !r.Temps.empty()) {
      AppendDoneLine(lines, r.Seq);
    } else if (r.Outcome == RecordedRename::State::Refused && !r.Temps.empty()) {
      AppendRefusedLine(lines, r.Seq, r.Error);
    }
    renamed += r.Outcome == RecordedRename::State::Done ? 1 : 0;
    refused += r.Outcome == RecordedRename::State::Refused ? 1 : 0;
  }
  if (!record.Renames.empty()) AppendCheckpointLine(lines, lastSeq);
  AppendEndLine(lines, RunEnd::Recovered, renamed, refused);
  // Half a line its writer never finished goes, so that the record reads on.
  if (file.Truncate(record.WholeLines) && file.Append(lines) && file.Sync()) report.Runs.push_back(record.Id);
}

}  // namespace

std::string FormatLine(const Repair& repair) {
  if (repair.PathNow.empty())
    return "Error\t" + DisplayPath(repair.TempPath) + "\t\xE2\x86\x90\t" + DisplayPath(repair.TempPath) + "\t" +
           RefusalText(repair.Why);
  return "Recover\t" + DisplayPath(repair.PathNow) + "\t\xE2\x86\x90\t" + DisplayPath(repair.TempPath);
}

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

RecoveryReport RecoverInterruptedRuns(const std::string& historyDir) {
  RecoveryReport report;
  for (const RecordFileEntry& f : RecordFiles(historyDir)) {
    const RunRecord head = ReadRecord(f.Path, false);
    if (!head.Readable || head.End != RunEnd::Unfinished) continue;
    RecordFile file;
    // The lock is free only when the writer is gone; holding it keeps a
    // second program from repairing the same run at the same time.
    if (!file.OpenUnlocked(f.Path)) continue;
    RunRecord record = ReadRecord(f.Path, true);
    if (!record.Readable || record.End != RunEnd::Unfinished) continue;
    Recover(record, file, report);
  }
  return report;
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

void PruneHistory(const std::string& historyDir, std::size_t keepRuns, std::uint64_t keepBytes) {
  std::size_t kept = 0;
  std::uint64_t bytes = 0;
  for (const RecordFileEntry& f : RecordFiles(historyDir)) {
    if (kept < keepRuns && bytes + f.Size <= keepBytes) {
      ++kept;
      bytes += f.Size;
      continue;
    }
    // A record still written, or still to be repaired, stays.
    const RunRecord head = ReadRecord(f.Path, false);
    if (head.Readable && head.End == RunEnd::Unfinished) continue;
    (void)RemoveFile(f.Path);
  }
}

}  // namespace quor
