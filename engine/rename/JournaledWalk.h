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

#include "engine/record/Journal.h"

namespace quor {

// Called after each entry with the count done and the total; returning
// false stops the command there (after the entry in progress).
using ProgressFn = std::function<bool(std::size_t done, std::size_t total)>;

// Renames planned, put on record, then tried, this many at a time.
inline constexpr std::size_t kBatch = 512;

// How a walk ended.
struct WalkEnd {
  std::size_t Tried = 0;        // entries handled, from the first on
  bool Cancelled = false;       // stopped with entries left
  std::exception_ptr Failure;   // what stopped it early, if anything did
};

// `prepare()` returns how many entries there are; `plan(begin, end)` puts
// the intents of entries [begin, end) on the journal's buffer; `step(k)`
// handles entry k. Exceptions from any of them end the walk in `Failure`.
template <typename Prepare, typename Plan, typename StepFn>
WalkEnd JournaledWalk(JournalWriter* journal, const ProgressFn& progress, Prepare&& prepare, Plan&& plan,
                      StepFn&& step) {
  WalkEnd end;
  try {
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
void CloseRecord(JournalWriter* journal, const WalkEnd& end, std::size_t renamed, std::size_t refused);

// A rename whose temporary name, should it take one, goes on record first.
RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const std::string& from, const std::string& to);

}  // namespace quor
