#include "engine/history/Recovery.h"

#include <map>

#include "engine/files/Findfile.h"
#include "engine/record/RecordFolder.h"
#include "engine/record/RecordFormat.h"
#include "engine/rename/LogLines.h"
#include "system/EntryIdentity.h"
#include "system/RecordFile.h"
#include "text/TextOps.h"

namespace quor {

namespace {

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

std::string FormatLine(const Repair& repair) { return RecoverLine(repair.PathNow, repair.TempPath, repair.Why); }

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

}  // namespace quor
