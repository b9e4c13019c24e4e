#include "engine/rename/RenameRun.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "engine/files/File.h"
#include "engine/rename/Companions.h"
#include "engine/rename/Planner.h"
#include "engine/rename/RunFolder.h"
#include "system/EntryIdentity.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// The entries of the run in the order it takes them: the listing, or with
// companions the whole folder's listing, each selected entry followed by the
// files that follow it.
RunOrder ListRun(const std::string& folderText, const NameSet* only, bool companions,
                 const SimulatedFolder* simulated, const EarlierRenamesFn& earlier, RenameOutcome& outcome) {
  RunOrder order;
  std::vector<Listed> listed;
  if (companions) {
    // Companions beside an entry count whatever a mask or a single name
    // selects: the whole folder is read.
    const std::string folder = FolderOfText(folderText);
    listed = simulated ? simulated->List(folder, nullptr, true, outcome.Folder, outcome.FolderError)
                       : ListWholeFolder(folder, outcome.Folder, outcome.FolderError);
  } else {
    listed = simulated ? simulated->List(folderText, only, false, outcome.Folder, outcome.FolderError)
                       : ListFolder(folderText, only, outcome.Folder, outcome.FolderError);
  }
  std::vector<char> selected =
      companions ? Selected(listed, folderText, only) : std::vector<char>(listed.size(), 1);
  if (only) {
    NameSet missing = *only;
    for (std::size_t i = 0; i < listed.size(); ++i)
      if (selected[i]) missing.erase(listed[i].Name);
    outcome.NotFound.assign(missing.begin(), missing.end());
  }
  if (companions) return WithCompanions(std::move(listed), selected, earlier, FolderOfText(folderText));
  order.MainOf.assign(listed.size(), kNoMain);
  order.HasCompanions.assign(listed.size(), 0);
  order.Entries = std::move(listed);
  return order;
}

// The one walk behind the run and the preview: `rename` is the real rename
// or the simulated one, and everything else is shared, so that the two
// cannot drift apart. A real run holds its folder's lock throughout and puts
// each entry's identity on record with the intent to rename it.
template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const NameSet* only, const RenameOptions& options,
                      const ProgressFn& progress, RenameFn&& rename, JournalWriter* journal, RunFolder* real,
                      const EarlierRenamesFn& earlier, const SimulatedFolder* simulated = nullptr) {
  RenameOutcome outcome;
  RunOrder run;
  std::vector<Step> steps;  // of the batch in progress
  std::vector<EntryId> ids;
  std::size_t batchStart = 0;
  // What the entries that companions follow came to: the name each takes
  // (its own when it keeps it), and whether it was refused.
  struct Followed {
    std::string Name;
    bool Refused = false;
  };
  std::unordered_map<std::size_t, Followed> followed;
  std::optional<Planner> planner;  // made in the walk, so that a broken row ends it as a failure
  std::vector<std::string> folders;
  if (real) folders.push_back(FolderOfText(folderText));
  const WalkEnd end = JournaledWalk(
      journal, progress, std::move(folders),
      [&] {
        planner.emplace(options);
        run = ListRun(folderText, only, options.Companions, simulated, earlier, outcome);
        outcome.Listed = run.Entries.size();
        return run.Entries.size();
      },
      [&](std::size_t begin, std::size_t stop) {
        steps.clear();
        ids.assign(stop - begin, EntryId());
        batchStart = begin;
        for (std::size_t i = begin; i < stop; ++i) {
          const Listed& entry = run.Entries[i];
          const std::size_t main = run.MainOf[i];
          const auto late = run.LateOf.find(i);
          if (main != kNoMain) {
            const Followed& m = followed.at(main);
            const std::size_t stem = late != run.LateOf.end() ? late->second.OldLength : run.Entries[main].Name.size();
            steps.push_back(planner->PlanCompanion(entry, stem, m.Name, m.Refused));
          } else if (late != run.LateOf.end()) {
            steps.push_back(planner->PlanCompanion(entry, late->second.OldLength, late->second.Recording, false));
          } else {
            steps.push_back(planner->Plan(entry));
          }
          const Step& step = steps.back();
          if (run.HasCompanions[i])
            followed[i] = {std::string(step.Unchanged ? std::string_view(entry.Name) : FileNameView(step.NewPath)),
                           static_cast<bool>(step.Why)};
          if (!real || step.Unchanged || step.Why) continue;
          EntryId& id = ids[i - begin];
          id = real->Identity(entry);
          if (journal) journal->Intend(i, id, entry.FullPath, step.NewPath, step.Plain);
        }
      },
      [&](std::size_t i) {
        const Listed& entry = run.Entries[i];
        Step& step = steps[i - batchStart];
        if (step.Unchanged) return;
        Refusal why = step.Why;
        const std::size_t main = run.MainOf[i];
        if (!why && main != kNoMain && followed.at(main).Refused) {
          // The entry it follows was refused when it was tried: it keeps
          // its own name, and so does its line.
          why.What = Refusal::Kind::MainNotRenamed;
          step.NewName = entry.Name;
          if (journal) journal->Refused(i, 0);
        } else if (!why) {
          const RenameResult result = rename(i, entry, step.NewPath, ids[i - batchStart]);
          why = RefusalOf(result);
          if (journal && !result) journal->Refused(i, result.Error());
        }
        if (run.HasCompanions[i] && why) followed[i].Refused = true;
        const bool ok = !why;
        // A file that came late says which recording it followed.
        std::string follows;
        if (const auto late = run.LateOf.find(i); late != run.LateOf.end())
          follows = main == kNoMain ? late->second.Recording : followed.at(main).Name;
        outcome.Lines.push_back({ok, std::move(step.NewName), entry.Name, std::move(why), step.Plain, std::move(follows)});
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
                        const ProgressFn& progress, JournalWriter* journal, const NameSet* only,
                        const EarlierRenamesFn& earlier) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  undo.Ids.clear();
  RunFolder folder(FolderOfText(folderText));
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const Listed& entry, const std::string& newPath, const EntryId& id) {
        RenameResult result = folder.Rename(entry, newPath, journal, seq);
        if (result) {
          undo.OldPaths.push_back(entry.FullPath);
          undo.NewPaths.push_back(newPath);
          undo.Ids.push_back(id);
        }
        return result;
      },
      journal, &folder, earlier);
}

RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress, const NameSet* only, const EarlierRenamesFn& earlier) {
  RunFolder folder(FolderOfText(folderText));
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const Listed& entry, const std::string& newPath, const EntryId&) {
        return folder.Rename(entry, newPath, &journal, seq);
      },
      &journal, &folder, earlier);
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only, const EarlierRenamesFn& earlier) {
  SimulatedFolder folder;
  return PreviewRename(folder, folderText, options, progress, only, earlier);
}

RenameOutcome PreviewRename(SimulatedFolder& folder, const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only, const EarlierRenamesFn& earlier) {
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t, const Listed& entry, const std::string& newPath, const EntryId&) {
        return folder.Rename(entry.FullPath, newPath);
      },
      nullptr, nullptr, earlier, &folder);
}

}  // namespace quor
