#include "engine/rename/RenameRun.h"

#include <utility>

#include "engine/rename/Planner.h"

namespace quor {

namespace {

// The one walk behind the run and the preview: `rename` is the real rename
// or the simulated one, and everything else is shared, so that the two
// cannot drift apart.
template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const NameSet* only, const RenameOptions& options,
                      const ProgressFn& progress, RenameFn&& rename, JournalWriter* journal) {
  RenameOutcome outcome;
  std::vector<Listed> entries;
  std::vector<Step> steps;  // of the batch in progress
  std::size_t batchStart = 0;
  const Planner planner(options);
  const WalkEnd end = JournaledWalk(
      journal, progress,
      [&] {
        entries = ListFolder(folderText, only, outcome.Folder, outcome.FolderError);
        outcome.Listed = entries.size();
        return entries.size();
      },
      [&](std::size_t begin, std::size_t stop) {
        steps.clear();
        batchStart = begin;
        for (std::size_t i = begin; i < stop; ++i) {
          steps.push_back(planner.Plan(entries[i]));
          const Step& step = steps.back();
          if (journal && !step.Unchanged && !step.Why)
            journal->Intend(i, entries[i].Inode, entries[i].FullPath, step.NewPath, step.Plain);
        }
      },
      [&](std::size_t i) {
        const Listed& entry = entries[i];
        Step& step = steps[i - batchStart];
        if (step.Unchanged) return;
        Refusal why = step.Why;
        if (!why) {
          const RenameResult result = rename(i, entry.FullPath, step.NewPath);
          why = RefusalOf(result);
          if (journal && !result) journal->Refused(i, result.Error());
        }
        const bool ok = !why;
        outcome.Lines.push_back({ok, std::move(step.NewName), entry.Name, std::move(why), step.Plain});
      });
  outcome.Cancelled = end.Cancelled;
  outcome.Failure = end.Failure;
  const std::size_t errors = ErrorCount(outcome.Lines);
  CloseRecord(journal, end, outcome.Lines.size() - errors, errors);
  return outcome;
}

}  // namespace

RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress, JournalWriter* journal, const NameSet* only) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath) {
        RenameResult result = RenameOnRecord(journal, seq, oldPath, newPath);
        if (result) {
          undo.OldPaths.push_back(oldPath);
          undo.NewPaths.push_back(newPath);
        }
        return result;
      },
      journal);
}

RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress, const NameSet* only) {
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath) {
        return RenameOnRecord(&journal, seq, oldPath, newPath);
      },
      &journal);
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only) {
  SimulatedFolder folder;
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t, const std::string& oldPath, const std::string& newPath) { return folder.Rename(oldPath, newPath); },
      nullptr);
}

}  // namespace quor
