#include "engine/rename/RenameRun.h"

#include <optional>
#include <utility>

#include "engine/files/File.h"
#include "engine/rename/Companions.h"
#include "engine/rename/Planner.h"
#include "engine/rename/RunFolder.h"
#include "engine/rename/RunPlan.h"
#include "system/EntryIdentity.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// The one walk behind both real runs: the listing taken and the plan made
// under the folder's lock, then the plan carried out, each rename on record
// before it is tried. `rename` is where the two differ (the undo list).
template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const NameSet* only, const RenameOptions& options,
                      const NameSet* exclude, const EarlierRenamesFn& earlier, const ProgressFn& progress,
                      RunFolder& folder, RenameFn&& rename, JournalWriter* journal) {
  RenameOutcome outcome;
  FolderSnapshot snapshot;
  RunPlan plan;
  std::optional<PlanWalk> walk;
  // Of the batch in progress: each tried entry's identity.
  std::vector<EntryId> ids;
  std::size_t batchStart = 0;
  const WalkEnd end = JournaledWalk(
      journal, progress, {FolderOfText(folderText)},
      [&] {
        folder.Open(FolderOfText(folderText));
        snapshot = TakeSnapshot(folderText, only, nullptr, earlier);
        outcome.Folder = snapshot.Folder;
        outcome.FolderError = snapshot.FolderError;
        outcome.NotFound = std::move(snapshot.NotFound);
        // Made in the walk, so that a broken row ends it as a failure.
        plan = PlanRun(snapshot, options, exclude);
        walk.emplace(plan);
        outcome.Listed = plan.Entries.size();
        outcome.Excluded = plan.Excluded;
        return plan.Entries.size();
      },
      [&](std::size_t begin, std::size_t stop) {
        batchStart = begin;
        ids.assign(stop - begin, EntryId());
        for (std::size_t i = begin; i < stop; ++i) {
          const PlannedEntry& entry = plan.Entries[i];
          if (!entry.Tried() || entry.Why) continue;
          const Listed& listed = snapshot.Entries[entry.Entry];
          EntryId& id = ids[i - begin];
          id = folder.Identity(listed);
          if (journal) journal->IntendIn(i, id, snapshot.PathPrefix, listed.Name, NewNameOf(entry), entry.Plain);
        }
      },
      [&](std::size_t i) {
        const PlannedEntry& entry = plan.Entries[i];
        if (!entry.Tried()) return;
        Refusal why = walk->Try(i, [&](std::size_t) {
          RenameResult result = rename(i, snapshot.PathPrefix, snapshot.Entries[entry.Entry].Name, NewNameOf(entry),
                                       ids[i - batchStart]);
          if (journal && !result) journal->Refused(i, result.Error());
          return result;
        });
        // The entry it follows was refused when it was tried.
        if (journal && !entry.Why && why.What == Refusal::Kind::MainNotRenamed) journal->Refused(i, 0);
        RenameLine line = LineOf(snapshot, plan, i, std::move(why));
        ++(line.Ok ? outcome.Renamed : outcome.Errors);
        if (progress.RenameLineTold)
          progress.RenameLineTold(line);
        else
          outcome.Lines.push_back(std::move(line));
      });
  outcome.Cancelled = end.Cancelled;
  outcome.Failure = end.Failure;
  CloseRecord(journal, end, outcome.Renamed, outcome.Errors);
  if (journal) outcome.RemovedUndoable = journal->RemovedUndoable();
  return outcome;
}

}  // namespace

RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress, JournalWriter* journal, const NameSet* only,
                        const NameSet* exclude, const EarlierRenamesFn& earlier) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  undo.Ids.clear();
  if (undo.Seqs) undo.Seqs->clear();
  RunFolder folder;
  return Execute(
      folderText, only, options, exclude, earlier, progress, folder,
      [&](std::size_t seq, const std::string& prefix, const std::string& oldName, std::string_view newName,
          const EntryId& id) {
        RenameResult result = folder.Rename(oldName, newName, journal, seq);
        if (result) {
          undo.OldPaths.push_back(prefix + oldName);
          undo.NewPaths.push_back(std::string(prefix).append(newName));
          undo.Ids.push_back(id);
          if (undo.Seqs) undo.Seqs->push_back(seq);
        }
        return result;
      },
      journal);
}

RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress, const NameSet* only, const NameSet* exclude,
                                const EarlierRenamesFn& earlier) {
  RunFolder folder;
  return Execute(
      folderText, only, options, exclude, earlier, progress, folder,
      [&](std::size_t seq, const std::string&, const std::string& oldName, std::string_view newName, const EntryId&) {
        return folder.Rename(oldName, newName, &journal, seq);
      },
      &journal);
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only, const NameSet* exclude,
                            const EarlierRenamesFn& earlier) {
  SimulatedFolder folder;
  return PreviewRename(folder, folderText, options, progress, only, exclude, earlier);
}

RenameOutcome PreviewRename(SimulatedFolder& folder, const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only, const NameSet* exclude,
                            const EarlierRenamesFn& earlier) {
  RenameOutcome outcome;
  try {
    FolderSnapshot snapshot = TakeSnapshot(folderText, only, &folder, earlier);
    outcome.Folder = snapshot.Folder;
    outcome.FolderError = snapshot.FolderError;
    outcome.NotFound = std::move(snapshot.NotFound);
    const RunPlan plan = PlanRun(snapshot, options, exclude);
    outcome.Listed = plan.Entries.size();
    outcome.Excluded = plan.Excluded;
    PlanAnswers answers = AnswerPlan(plan, snapshot, folder, [&](std::size_t done, std::size_t total) {
      return progress(done, total);
    });
    for (std::size_t k = 0; k < answers.Answered; ++k)
      if (plan.Entries[k].Tried()) {
        outcome.Lines.push_back(LineOf(snapshot, plan, k, answers.Why[k].Full()));
        ++(outcome.Lines.back().Ok ? outcome.Renamed : outcome.Errors);
      }
    outcome.Cancelled = answers.Stopped;
  } catch (...) {
    outcome.Failure = std::current_exception();
  }
  return outcome;
}

}  // namespace quor
