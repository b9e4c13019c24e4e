#pragma once

// The one skeleton behind the rename run and the undo: entries are taken in
// batches, each batch planned and its intents put on record before the
// first of them is tried; after each entry the progress is told; after each
// batch the record gets a checkpoint. Whatever stops the walk (a cancel, an
// exception) leaves the record with a checkpoint of what was tried.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/record/Journal.h"
#include "engine/rename/LogLines.h"
#include "system/FolderLock.h"
#include "system/OpenFolder.h"

namespace quor {

// What a run tells while it goes, and asks whether to go on.
class ProgressFn {
 public:
  // Called after each entry with the count done and the total; returning
  // false stops the command there (after the entry in progress).
  using StepFn = std::function<bool(std::size_t done, std::size_t total)>;
  // Called now and then while the run waits for another run on `folder` to
  // end; returning false gives up the wait, and the run with it.
  using WaitFn = std::function<bool(const std::string& folder)>;

  ProgressFn() = default;
  template <typename F, std::enable_if_t<std::is_invocable_r_v<bool, F&, std::size_t, std::size_t>, int> = 0>
  ProgressFn(F step) : Step(std::move(step)) {}  // NOLINT: a plain step function is a progress

  StepFn Step;
  WaitFn Waiting;
  // Told each line as the run or the undo writes it; a run with one keeps
  // no lines in its outcome, only their counts (100,000 lines need not stay
  // for a caller that prints them as they come).
  std::function<void(const RenameLine&)> RenameLineTold;
  std::function<void(const UndoLineView&)> UndoLineTold;

  explicit operator bool() const { return static_cast<bool>(Step); }
  bool operator()(std::size_t done, std::size_t total) const { return !Step || Step(done, total); }
  // False when the wait was given up.
  bool Wait(const std::string& folder) const { return !Waiting || Waiting(folder); }
};

// Renames planned, put on record, then tried, this many at a time.
inline constexpr std::size_t kBatch = 512;

// How a walk ended.
struct WalkEnd {
  std::size_t Tried = 0;        // entries handled, from the first on
  bool Cancelled = false;       // stopped with entries left
  std::exception_ptr Failure;   // what stopped it early, if anything did
};

// Takes the locks of `folders` for as long as it lives, one run at a time
// per folder: waits while another run holds one, telling `progress`, which
// may give up. A folder that cannot be locked at all (it is gone, or its
// file system keeps no locks) is left unlocked.
class FolderLocks {
 public:
  FolderLocks(std::vector<std::string> folders, const ProgressFn& progress);
  // False when the wait was given up: nothing may be done then.
  [[nodiscard]] bool Held() const { return held_; }

 private:
  std::vector<FolderLock> locks_;
  bool held_ = true;
};

// `prepare()` returns how many entries there are; `plan(begin, end)` puts
// the intents of entries [begin, end) on the journal's buffer; `step(k)`
// handles entry k. Exceptions from any of them end the walk in `Failure`.
// The walk holds the locks of `folders` from before `prepare` to its end; a
// wait given up ends it cancelled before anything was read.
template <typename Prepare, typename Plan, typename StepFn>
WalkEnd JournaledWalk(JournalWriter* journal, const ProgressFn& progress, std::vector<std::string> folders,
                      Prepare&& prepare, Plan&& plan, StepFn&& step) {
  WalkEnd end;
  try {
    const FolderLocks locks(std::move(folders), progress);
    if (!locks.Held()) {
      end.Cancelled = true;
      return end;
    }
    const std::size_t total = prepare();
    for (std::size_t start = 0; start < total && !end.Cancelled; start = end.Tried) {
      const std::size_t stop = std::min(start + kBatch, total);
      plan(start, stop);
      if (journal) journal->FlushIntents();
      for (std::size_t k = start; k < stop; ++k) {
        step(k);
        end.Tried = k + 1;
        if (progress && !progress(k + 1, total)) {
          end.Cancelled = k + 1 < total;
          break;
        }
      }
      if (journal && end.Tried > 0) journal->Checkpoint(end.Tried - 1);
    }
  } catch (...) {
    // Whatever ended the walk, the entries done so far keep their record.
    end.Failure = std::current_exception();
    if (journal && end.Tried > 0) journal->Checkpoint(end.Tried - 1);
  }
  return end;
}

// Ends a run's record with how the run ended and its counts.
void CloseRecord(JournalWriter* journal, const WalkEnd& end, std::size_t renamed, std::size_t refused,
                 std::size_t gone = 0);

// A rename whose temporary name, should it take one, goes on record first.
RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const std::string& from, const std::string& to);
// The same through `folder`'s descriptor when both paths are in it.
RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const OpenFolder& folder, const std::string& from,
                            const std::string& to);
// The same of two names within `folder`.
RenameResult RenameNamesOnRecord(JournalWriter* journal, std::size_t seq, const OpenFolder& folder,
                                 const std::string& oldName, const std::string& newName);

}  // namespace quor
