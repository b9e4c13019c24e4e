#include "engine/rename/RenameRun.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/files/File.h"
#include "engine/rename/Planner.h"
#include "system/EntryIdentity.h"

namespace quor {

namespace {

// The one walk behind the run and the preview: `rename` is the real rename
// or the simulated one, and everything else is shared, so that the two
// cannot drift apart. A real run holds its folder's lock throughout and puts
// each entry's identity on record with the intent to rename it.
template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const NameSet* only, const RenameOptions& options,
                      const ProgressFn& progress, RenameFn&& rename, JournalWriter* journal, bool real,
                      const SimulatedFolder* simulated = nullptr) {
  RenameOutcome outcome;
  std::vector<Listed> entries;
  std::vector<Step> steps;  // of the batch in progress
  std::vector<EntryId> ids;
  std::size_t batchStart = 0;
  std::optional<Planner> planner;  // made in the walk, so that a broken row ends it as a failure
  std::vector<std::string> folders;
  if (real) folders.push_back(FolderOfText(folderText));
  const WalkEnd end = JournaledWalk(
      journal, progress, std::move(folders),
      [&] {
        planner.emplace(options);
        entries = ListFolder(folderText, only, outcome.Folder, outcome.FolderError);
        if (simulated) simulated->Adjust(entries, folderText, only);
        if (only) {
          NameSet missing = *only;
          for (const Listed& entry : entries) missing.erase(entry.Name);
          outcome.NotFound.assign(missing.begin(), missing.end());
        }
        outcome.Listed = entries.size();
        return entries.size();
      },
      [&](std::size_t begin, std::size_t stop) {
        steps.clear();
        ids.assign(stop - begin, EntryId());
        batchStart = begin;
        for (std::size_t i = begin; i < stop; ++i) {
          steps.push_back(planner->Plan(entries[i]));
          const Step& step = steps.back();
          if (!real || step.Unchanged || step.Why) continue;
          // As the listing gave it, should the entry be gone by now.
          EntryId& id = ids[i - begin];
          if (!IdentityOf(entries[i].FullPath, id)) id.Ino = entries[i].Inode;
          if (journal) journal->Intend(i, id, entries[i].FullPath, step.NewPath, step.Plain);
        }
      },
      [&](std::size_t i) {
        const Listed& entry = entries[i];
        Step& step = steps[i - batchStart];
        if (step.Unchanged) return;
        Refusal why = step.Why;
        if (!why) {
          const RenameResult result = rename(i, entry.FullPath, step.NewPath, ids[i - batchStart]);
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
  if (journal) outcome.RemovedUndoable = journal->RemovedUndoable();
  return outcome;
}

}  // namespace

RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress, JournalWriter* journal, const NameSet* only) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  undo.Ids.clear();
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath, const EntryId& id) {
        RenameResult result = RenameOnRecord(journal, seq, oldPath, newPath);
        if (result) {
          undo.OldPaths.push_back(oldPath);
          undo.NewPaths.push_back(newPath);
          undo.Ids.push_back(id);
        }
        return result;
      },
      journal, true);
}

RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress, const NameSet* only) {
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath, const EntryId&) {
        return RenameOnRecord(&journal, seq, oldPath, newPath);
      },
      &journal, true);
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only) {
  SimulatedFolder folder;
  return PreviewRename(folder, folderText, options, progress, only);
}

RenameOutcome PreviewRename(SimulatedFolder& folder, const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only) {
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t, const std::string& oldPath, const std::string& newPath, const EntryId&) {
        return folder.Rename(oldPath, newPath);
      },
      nullptr, false, &folder);
}

}  // namespace quor
