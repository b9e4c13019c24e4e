#include "engine/history/RecordedRun.h"

#include "engine/files/File.h"
#include "engine/history/FolderHistory.h"
#include "engine/record/Journal.h"

namespace quor {

RenameOutcome RenameRecorded(const std::string& historyDir, const std::string& folderText,
                             const RenameOptions& options, RecordedRunNotes& notes, const ProgressFn& progress,
                             const RecordedRunAsked& asked) {
  notes = RecordedRunNotes();
  // The run's own walk takes this lock again, as the thread that holds it.
  const FolderLocks locks({FolderOfText(folderText)}, progress);
  if (!locks.Held()) {
    RenameOutcome outcome;
    outcome.Cancelled = true;
    return outcome;
  }
  notes.Repaired = RecoverInterruptedRuns(historyDir);
  JournalWriter journal(historyDir, RunKind::Rename, asked.RecordText.empty() ? folderText : asked.RecordText);
  const EarlierRenamesFn earlier = asked.Earlier ? asked.Earlier : EarlierRenamesFrom(historyDir);
  RenameOutcome outcome =
      asked.Undo ? RunRename(folderText, options, *asked.Undo, progress, &journal, asked.Only, asked.Exclude, earlier)
                 : RunRecordedRename(folderText, options, journal, progress, asked.Only, asked.Exclude, earlier);
  notes.Id = journal.Id();
  notes.Problem = journal.Problem();
  return outcome;
}

}  // namespace quor
