#include "engine/history/Recovery.h"

#include <map>
#include <optional>

#include "engine/files/Findfile.h"
#include "engine/history/LaterRuns.h"
#include "engine/record/RecordFolder.h"
#include "engine/record/RecordFormat.h"
#include "engine/rename/JournaledWalk.h"
#include "engine/rename/LogLines.h"
#include "system/EntryIdentity.h"
#include "system/OpenFolder.h"
#include "system/RecordFile.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using State = RecordedRename::State;

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

enum class Found { Done, NotDone, Either };

// Where the disk shows the entry of a rename whose outcome never reached the
// record. A case-only rename is told by the exact names the folder lists (on
// a case-insensitive volume both spellings find the entry); any other by the
// entry's identity under each name. `r`'s paths are where later runs put
// the entry's names.
Found ReadOffTheDisk(const RecordedRename& r, FolderNames& names, IdentityCheck& identities) {
  const Codepage cp = NativeCodepage();
  bool atNew = false;
  bool atOld = false;
  if (FolderView(r.OldPath) == FolderView(r.NewPath) &&
      AnsiUpperCase(FileNameView(r.OldPath), cp) == AnsiUpperCase(FileNameView(r.NewPath), cp)) {
    atNew = names.Has(r.NewPath);
    atOld = names.Has(r.OldPath);
  } else {
    atNew = identities.Holds(r.Id, r.NewPath);
    atOld = identities.Holds(r.Id, r.OldPath);
  }
  if (atNew && atOld) return Found::Either;
  return atNew ? Found::Done : Found::NotDone;
}

// Moves the entries that a killed case-only rename left under a temporary
// name on, or back; with `dryRun` only says where each would go.
void FinishTemporaryNames(const RunRecord& record, RecordedRename& r, bool dryRun, FolderNames& names,
                          std::string& lines, RecoveryReport& report) {
  for (const std::string& temp : r.Temps) {
    if (!EntryExists(temp)) continue;
    Repair repair{record.Id, temp, {}, {}};
    if (dryRun) {
      repair.PathNow = EntryExists(r.NewPath) ? r.OldPath : r.NewPath;
      report.Repairs.push_back(std::move(repair));
      continue;
    }
    // The entry never reached either name: finish the rename, or undo it.
    RenameResult moved = RenameFile(temp, r.NewPath);
    if (moved) {
      repair.PathNow = r.NewPath;
      r.Outcome = State::Done;
    } else if (RenameFile(temp, r.OldPath)) {
      repair.PathNow = r.OldPath;
      r.Outcome = State::Refused;
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
}

// The paths of `record` where the runs after it put them: a run that
// began later may have moved the folder, or renamed an entry again.
void FollowLaterRuns(RunRecord& record, const std::vector<RecordHead>& heads) {
  const LaterRuns later(heads, record.Id);
  std::vector<std::string> paths;
  for (const RecordedRename& r : record.Renames) {
    paths.push_back(r.OldPath);
    paths.push_back(r.NewPath);
    for (const std::string& temp : r.Temps) paths.push_back(temp);
  }
  const std::vector<Followed> followed = later.Follow(paths);
  std::size_t at = 0;
  for (RecordedRename& r : record.Renames) {
    r.OldPath = followed[at++].Path;
    r.NewPath = followed[at++].Path;
    for (std::string& temp : r.Temps) temp = followed[at++].Place;
  }
}

// Finishes one interrupted record, whose lock the caller holds. What it
// writes keeps the record's own paths: only the disk is read where later
// runs put the entries.
void Recover(RunRecord& record, RecordFile& file, bool dryRun, const std::vector<RecordHead>& heads,
             RecoveryReport& report) {
  FollowLaterRuns(record, heads);
  // Its folder may be in the hands of a live run: then later.
  std::vector<std::string> folders;
  for (const RecordedRename& r : record.Renames) folders.emplace_back(ContainingFolder(r.OldPath));
  ProgressFn noWait;
  noWait.Waiting = [](const std::string&) { return false; };
  const FolderLocks locks(std::move(folders), noWait);
  if (!locks.Held()) return;

  FolderNames names;
  IdentityCheck identities;
  std::string lines;
  std::vector<Found> found(record.Renames.size(), Found::NotDone);
  // A run tries its intents in order: one that shows it was tried (done on
  // the disk, or with an outcome on record) tells that those before it were.
  std::size_t lastTried = 0;  // + 1
  for (std::size_t i = 0; i < record.Renames.size(); ++i) {
    RecordedRename& r = record.Renames[i];
    const bool moved = !r.Temps.empty();
    if (r.Outcome != State::Unknown || moved) lastTried = i + 1;
    FinishTemporaryNames(record, r, dryRun, names, lines, report);
    if (r.Outcome == State::Unknown) {
      found[i] = ReadOffTheDisk(r, names, identities);
      if (found[i] == Found::Done) lastTried = i + 1;
    } else if (moved && !dryRun) {
      // Moved from its temporary name just now: what became of it goes on record.
      if (r.Outcome == State::Done) AppendDoneLine(lines, r.Seq);
      if (r.Outcome == State::Refused) AppendRefusedLine(lines, r.Seq, r.Error);
    }
  }
  report.Runs.push_back(record.Id);
  if (dryRun) return;

  std::size_t renamed = 0;
  std::size_t refused = 0;
  std::size_t gone = 0;
  for (std::size_t i = 0; i < record.Renames.size(); ++i) {
    RecordedRename& r = record.Renames[i];
    if (r.Outcome == State::Unknown) {
      // Tried when a later one was: done where the disk allows it, else
      // refused. Never tried after the last one tried.
      const bool tried = i + 1 < lastTried;
      if (found[i] == Found::Done || (tried && found[i] == Found::Either)) {
        r.Outcome = State::Done;
        AppendDoneLine(lines, r.Seq);
      } else if (tried) {
        r.Outcome = State::Refused;
        AppendRefusedLine(lines, r.Seq, 0);  // found not done
      } else {
        r.Outcome = State::NotTried;
        AppendNotTriedLine(lines, r.Seq);
      }
    }
    renamed += r.Outcome == State::Done ? 1 : 0;
    refused += r.Outcome == State::Refused ? 1 : 0;
    gone += r.Outcome == State::Gone ? 1 : 0;
  }
  if (!record.Renames.empty()) AppendCheckpointLine(lines, record.Renames.back().Seq);
  AppendEndLine(lines, RunEnd::Recovered, renamed, refused, gone);
  // Half a line its writer never finished goes, so that the record reads on.
  if (!file.Truncate(record.WholeLines) || !file.Append(lines) || !file.Sync()) report.Runs.pop_back();
}

}  // namespace

std::string FormatLine(const Repair& repair) { return RecoverLine(repair.PathNow, repair.TempPath, repair.Why); }

RecoveryReport RecoverInterruptedRuns(const std::string& historyDir, bool dryRun) {
  RecoveryReport report;
  std::optional<std::vector<RecordHead>> heads;  // read once there is something to repair
  for (const RecordFileEntry& f : RecordFiles(historyDir)) {
    const RunRecord head = ReadRecord(f.Path, false);
    if (!head.Readable || head.End != RunEnd::Unfinished) continue;
    RecordFile file;
    if (dryRun) {
      if (IsLockedByAnother(f.Path)) continue;
    } else if (!file.OpenUnlocked(f.Path)) {
      // The lock is free only when the writer is gone; holding it keeps a
      // second program from repairing the same run at the same time.
      continue;
    }
    RunRecord record = ReadRecord(f.Path, true);
    if (!record.Readable || record.End != RunEnd::Unfinished) continue;
    if (!heads) heads = ReadRecordHeads(historyDir, 0);
    Recover(record, file, dryRun, *heads, report);
  }
  return report;
}

}  // namespace quor
