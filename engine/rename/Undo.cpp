#include "engine/rename/Undo.h"

#include <algorithm>
#include <utility>

#include "system/SystemOps.h"

namespace quor {

UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress, JournalWriter* journal) {
  using Kind = Refusal::Kind;
  UndoOutcome outcome;
  const std::size_t total = std::min(undo.OldPaths.size(), undo.NewPaths.size());
  // Entry k of the walk is rename total - 1 - k: the last rename first.
  const auto index = [total](std::size_t k) { return total - 1 - k; };
  std::vector<std::size_t> refused;  // kept for another try, in run order once reversed
  const WalkEnd end = JournaledWalk(
      journal, progress, [total] { return total; },
      [&](std::size_t begin, std::size_t stop) {
        if (!journal) return;
        for (std::size_t k = begin; k < stop; ++k) {
          const std::size_t i = index(k);
          if (!undo.OldPaths[i].empty() && !undo.NewPaths[i].empty())
            journal->Intend(k, 0, undo.NewPaths[i], undo.OldPaths[i]);
        }
      },
      [&](std::size_t k) {
        const std::size_t i = index(k);
        const std::string& oldPath = undo.OldPaths[i];
        const std::string& newPath = undo.NewPaths[i];
        if (oldPath.empty() || newPath.empty()) return;
        // The rename itself finds out whether the entry is there, so the
        // common case costs one system call.
        const RenameResult result = RenameOnRecord(journal, k, newPath, oldPath);
        if (journal && !result) journal->Refused(k, result.Error());
        Refusal why = RefusalOf(result);
        if (why.What == Kind::Vanished && EntryExists(newPath)) {
          why.What = Kind::FolderGone;
          refused.push_back(i);
        } else if (why && why.What != Kind::Vanished) {
          refused.push_back(i);
        }
        const bool ok = !why;
        outcome.Lines.push_back({ok, oldPath, newPath, std::move(why)});
      });
  outcome.Cancelled = end.Cancelled;
  outcome.Failure = end.Failure;
  const std::size_t errors = ErrorCount(outcome.Lines);
  CloseRecord(journal, end, outcome.Lines.size() - errors, errors);
  // What was not replayed, then what was refused, each in run order.
  const std::size_t next = total - end.Tried;  // entries [0, next) are not replayed yet
  std::vector<std::string> oldPaths(undo.OldPaths.begin(), undo.OldPaths.begin() + static_cast<std::ptrdiff_t>(next));
  std::vector<std::string> newPaths(undo.NewPaths.begin(), undo.NewPaths.begin() + static_cast<std::ptrdiff_t>(next));
  for (auto it = refused.rbegin(); it != refused.rend(); ++it) {
    oldPaths.push_back(std::move(undo.OldPaths[*it]));
    newPaths.push_back(std::move(undo.NewPaths[*it]));
  }
  undo.OldPaths = std::move(oldPaths);
  undo.NewPaths = std::move(newPaths);
  return outcome;
}

}  // namespace quor
