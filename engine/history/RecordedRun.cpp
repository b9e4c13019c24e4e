#include "engine/history/RecordedRun.h"

#include "engine/files/File.h"
#include "engine/record/Journal.h"

namespace quor {

RenameOutcome RenameRecorded(const std::string& historyDir, const std::string& folderText,
                             const RenameOptions& options, RecordedRunNotes& notes, const ProgressFn& progress,
                             const NameSet* only, const std::string& recordText, std::optional<UndoLists> undo) {
  notes = RecordedRunNotes();
  // The run's own walk takes this lock again, as the thread that holds it.
  const FolderLocks locks({FolderOfText(folderText)}, progress);
  if (!locks.Held()) {
    RenameOutcome outcome;
    outcome.Cancelled = true;
    return outcome;
  }
  notes.Repaired = RecoverInterruptedRuns(historyDir);
  JournalWriter journal(historyDir, RunKind::Rename, recordText.empty() ? folderText : recordText);
  RenameOutcome outcome = undo ? RunRename(folderText, options, *undo, progress, &journal, only)
                               : RunRecordedRename(folderText, options, journal, progress, only);
  notes.Id = journal.Id();
  notes.Problem = journal.Problem();
  return outcome;
}

}  // namespace quor
