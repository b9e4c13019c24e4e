#include "engine/rename/Undo.h"

#include <algorithm>
#include <utility>

#include "system/SystemOps.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using Kind = Refusal::Kind;

}  // namespace

UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress, JournalWriter* journal) {
  UndoOutcome outcome;
  const std::size_t total = std::min({undo.OldPaths.size(), undo.NewPaths.size(), undo.Ids.size()});
  // Entry k of the walk is rename total - 1 - k: the last rename first.
  const auto index = [total](std::size_t k) { return total - 1 - k; };
  std::vector<std::size_t> refused;  // kept for another try, in run order once reversed
  std::vector<std::string> folders;
  for (std::size_t i = 0; i < total; ++i) folders.emplace_back(ContainingFolder(undo.NewPaths[i]));
  IdentityCheck identities;
  const WalkEnd end = JournaledWalk(
      journal, progress, std::move(folders), [total] { return total; },
      [&](std::size_t begin, std::size_t stop) {
        if (!journal) return;
        for (std::size_t k = begin; k < stop; ++k) {
          const std::size_t i = index(k);
          if (!undo.OldPaths[i].empty() && !undo.NewPaths[i].empty())
            journal->Intend(k, undo.Ids[i], undo.NewPaths[i], undo.OldPaths[i]);
        }
      },
      [&](std::size_t k) {
        const std::size_t i = index(k);
        const std::string& oldPath = undo.OldPaths[i];
        const std::string& newPath = undo.NewPaths[i];
        if (oldPath.empty() || newPath.empty()) return;
        Refusal why;
        int error = 0;  // the system's, for the record
        bool gone = false;
        EntryId now;
        const SysResult found = IdentityOf(newPath, now);
        if (!found) {
          error = found.Error();
          why = RefusalOf(RenameResult(error));
          gone = why.What == Kind::Vanished;
        } else {
          if (!identities.Same(undo.Ids[i], now, newPath)) {
            // Whatever bears the name now, the run never renamed it.
            why = Refusal(Kind::Replaced);
            gone = true;
          } else {
            const RenameResult result = RenameOnRecord(journal, k, newPath, oldPath);
            error = result.Error();
            why = RefusalOf(result);
            // The entry was there a moment ago: what is missing is the folder to go back to.
            if (why.What == Kind::Vanished && EntryExists(newPath)) why.What = Kind::FolderGone;
            gone = why.What == Kind::Vanished;
          }
        }
        if (gone) {
          if (journal) journal->Gone(k, why.What == Kind::Replaced);
          ++outcome.Gone;
        } else if (why) {
          if (journal) journal->Refused(k, error);
          refused.push_back(i);
        }
        const bool ok = !why;
        outcome.Lines.push_back({ok, oldPath, newPath, std::move(why)});
      });
  outcome.Cancelled = end.Cancelled;
  outcome.Failure = end.Failure;
  const std::size_t errors = ErrorCount(outcome.Lines);
  CloseRecord(journal, end, outcome.Lines.size() - errors, errors - outcome.Gone, outcome.Gone);
  if (journal) outcome.RemovedUndoable = journal->RemovedUndoable();
  // What was not replayed, then what was refused, each in run order.
  const std::size_t next = total - end.Tried;  // entries [0, next) are not replayed yet
  const auto keep = [&](auto& list) {
    using List = std::remove_reference_t<decltype(list)>;
    List kept(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(next));
    for (auto it = refused.rbegin(); it != refused.rend(); ++it) kept.push_back(std::move(list[*it]));
    list = std::move(kept);
  };
  keep(undo.OldPaths);
  keep(undo.NewPaths);
  keep(undo.Ids);
  return outcome;
}

}  // namespace quor
