#include "engine/rename/Undo.h"

#include <algorithm>
#include <utility>

#include "engine/files/Findfile.h"
#include "system/OpenFolder.h"
#include "system/SystemOps.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using Kind = Refusal::Kind;

// True when the folder lists the entry under the exact spelling of
// `oldPath` and no longer under that of `newPath`: on a case-insensitive
// volume both spellings find it, and only the listing tells which it bears.
bool BearsOldSpelling(const std::string& oldPath, const std::string& newPath) {
  const Codepage cp = NativeCodepage();
  if (ContainingFolder(oldPath) != ContainingFolder(newPath) ||
      AnsiUpperCase(FileNameView(oldPath), cp) != AnsiUpperCase(FileNameView(newPath), cp))
    return false;
  const NameSet names = ListEntryNames(std::string(ContainingFolder(oldPath)));
  return names.count(std::string(FileNameView(oldPath))) != 0 && names.count(std::string(FileNameView(newPath))) == 0;
}

}  // namespace

UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress, JournalWriter* journal) {
  UndoOutcome outcome;
  const std::size_t total = std::min({undo.OldPaths.size(), undo.NewPaths.size(), undo.Ids.size()});
  const auto later = [&](std::size_t i) { return undo.Later && i < undo.Later->size() ? (*undo.Later)[i] : LaterMove(); };
  // Entry k of the walk is rename total - 1 - k: the last rename first.
  const auto index = [total](std::size_t k) { return total - 1 - k; };
  std::vector<std::size_t> refused;  // kept for another try, in run order once reversed
  std::vector<std::string> folders;
  for (std::size_t i = 0; i < total; ++i) {
    // Nearly every entry is in the folder of the one before it.
    if (folders.empty() || NameInFolder(undo.NewPaths[i], folders.back()).empty())
      folders.emplace_back(ContainingFolder(undo.NewPaths[i]));
  }
  // Each folder held open once: an entry costs the look at its identity
  // and the rename, each named within its folder.
  IdentityCheck identities;
  const auto holds = [&](const std::string& path, const EntryId& id, SysResult* found = nullptr) {
    return identities.Holds(id, path, found);
  };
  const WalkEnd end = JournaledWalk(
      journal, progress, std::move(folders), [total] { return total; },
      [&](std::size_t begin, std::size_t stop) {
        if (!journal) return;
        for (std::size_t k = begin; k < stop; ++k) {
          const std::size_t i = index(k);
          if (undo.OldPaths[i].empty() || undo.NewPaths[i].empty() || later(i).Itself) continue;
          journal->Intend(k, undo.Ids[i], undo.NewPaths[i], undo.OldPaths[i], false,
                          undo.Seqs && i < undo.Seqs->size() ? (*undo.Seqs)[i] : kNoSeq);
        }
      },
      [&](std::size_t k) {
        const std::size_t i = index(k);
        const std::string& oldPath = undo.OldPaths[i];
        const std::string& newPath = undo.NewPaths[i];
        if (oldPath.empty() || newPath.empty()) return;
        const LaterMove moved = later(i);
        Refusal why;
        int error = 0;  // the system's, for the record
        bool gone = false;
        bool tried = true;
        SysResult found;
        if (moved.Itself) {
          // Its name is another run's now: that run gives it back first.
          why = Refusal(Kind::LaterRun, 0, moved.Run);
          tried = false;
        } else if (holds(newPath, undo.Ids[i], &found)) {
          const RenameResult result = RenameOnRecord(journal, k, identities.FolderOf(newPath), newPath, oldPath);
          error = result.Error();
          why = RefusalOf(result);
          // The entry was there a moment ago: what is missing is the folder to go back to.
          if (why.What == Kind::Vanished && EntryExists(newPath)) why.What = Kind::FolderGone;
          // A case-insensitive volume finds the old spelling the entry already bears.
          if (why.What == Kind::Exists && BearsOldSpelling(oldPath, newPath)) why = Refusal();
          gone = why.What == Kind::Vanished;
        } else if (holds(oldPath, undo.Ids[i])) {
          // Already back under its old name: given back all the same.
        } else if (!moved.Run.empty()) {
          // Not where the later runs put it: undoing them may bring it back.
          why = Refusal(Kind::LaterRun, 0, moved.Run);
        } else if (!found) {
          error = found.Error();
          why = RefusalOf(RenameResult(error));
          gone = why.What == Kind::Vanished;
        } else {
          // Whatever bears the name now, the run never renamed it.
          why = Refusal(Kind::Replaced);
          gone = true;
        }
        if (gone) {
          if (journal) journal->Gone(k, why.What == Kind::Replaced);
          ++outcome.Gone;
        } else if (why) {
          if (journal && tried) journal->Refused(k, error);
          refused.push_back(i);
        }
        const bool ok = !why;
        ++(ok ? outcome.GivenBack : outcome.Errors);
        if (progress.UndoLineTold)
          progress.UndoLineTold(UndoLineView{ok, oldPath, newPath, why});
        else
          outcome.Lines.push_back({ok, oldPath, newPath, std::move(why)});
      });
  outcome.Cancelled = end.Cancelled;
  outcome.Failure = end.Failure;
  CloseRecord(journal, end, outcome.GivenBack, outcome.Errors - outcome.Gone, outcome.Gone);
  if (journal) outcome.RemovedUndoable = journal->RemovedUndoable();
  // What was not replayed, then what was refused, each in run order.
  const std::size_t next = total - end.Tried;  // entries [0, next) are not replayed yet
  const auto keep = [&](auto& list) {
    using List = std::remove_reference_t<decltype(list)>;
    if (list.size() < total) return;
    List kept(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(next));
    for (auto it = refused.rbegin(); it != refused.rend(); ++it) kept.push_back(std::move(list[*it]));
    list = std::move(kept);
  };
  keep(undo.OldPaths);
  keep(undo.NewPaths);
  keep(undo.Ids);
  if (undo.Seqs) keep(*undo.Seqs);
  if (undo.Later) keep(*undo.Later);
  return outcome;
}

}  // namespace quor
