#pragma once

// The preview's work, off the GUI thread: one thread that lists the folder
// into a snapshot, plans the run on it and answers the plan's renames as
// the system would (engine/rename/RunPlan.h), then filters and sorts the
// rows to show. Only the newest request is ever finished: a newer one stops
// the work on an older one at its next check. A change of rules or
// exclusions plans again from the same snapshot; only a change of the
// folder, or of what it holds, lists it again.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/rename/RunPlan.h"

class QObject;

namespace quor {

// Which entries the table shows.
enum class PreviewFilter {
  Changed,   // every entry whose name the rules change or refuse: the run's lines, and those left out
  All,       // unchanged entries too
  Errors,    // the run's "Error" lines
  Excluded,  // the entries left out
};

// A column to sort by, or none: the run's own order.
enum class PreviewSort { RunOrder, Tick, State, NewName, OldName };

// A planned run and what the system would answer to it, made once and then
// only read.
struct PreviewPlan {
  std::shared_ptr<const FolderSnapshot> Snapshot;
  RunPlan Plan;
  std::vector<PlanRefusal> Why;  // by position in the plan: the refusal each tried entry meets
  std::string Problem;       // why nothing was planned (a regex row that does not compile)
  std::size_t Renames = 0;   // the run's "Rename" lines
  std::size_t Errors = 0;    // its "Error" lines
};

// The new name that entry k's row shows: its line's. An unchanged entry,
// and a companion whose recording is refused, keep their own.
[[nodiscard]] std::string_view NewNameOf(const PreviewPlan& p, std::uint32_t k);

struct PreviewRequest {
  std::string FolderText;
  RenameOptions Options;
  std::shared_ptr<const NameSet> Exclude;  // shared: made again only when the ticks change
  EarlierRenamesFn Earlier;  // the renames that files coming late follow, asked at a listing
  bool Relist = false;  // what the folder holds may have changed
  bool Replan = false;  // the rules or the exclusions changed
  // Nothing is shown yet: the first rows of the run come before the rest.
  bool FirstRowsFirst = false;
  PreviewFilter Filter = PreviewFilter::Changed;
  PreviewSort Sort = PreviewSort::RunOrder;
  bool Descending = false;
};

struct PreviewResult {
  std::uint64_t Generation = 0;
  std::shared_ptr<const PreviewPlan> Plan;
  std::vector<std::uint32_t> Rows;  // positions in the plan, in the order shown
  // The entries of the rows, in their order, in one number: two results
  // with the same key show the same entries in the same rows.
  std::uint64_t RowsKey = 0;
  // Only the entries that the run takes first, each as it will stay: the
  // whole follows.
  bool Partial = false;
};

// Byte strings in natural order: runs of ASCII digits compare by their
// value, so that 第2話 comes before 第10話; everything else byte by byte.
// Negative, zero or positive as for strcmp; zero only for equal strings.
[[nodiscard]] int NaturalCompare(std::string_view a, std::string_view b);

class TPreviewWorker {
 public:
  // `deliver` runs on the thread of `context`, once for each request that
  // is finished, never for one that a newer request overtook.
  TPreviewWorker(QObject* context, std::function<void(PreviewResult)> deliver);
  // Stops the work in progress and waits for the thread.
  ~TPreviewWorker();
  TPreviewWorker(const TPreviewWorker&) = delete;
  TPreviewWorker& operator=(const TPreviewWorker&) = delete;

  // Starts `request`; whatever older request is still going is abandoned,
  // but the listing or the planning that it asked for is still done. The
  // generation of the request, which its result carries.
  std::uint64_t Request(PreviewRequest request);
  // The newest generation asked for.
  [[nodiscard]] std::uint64_t Latest() const { return latest_.load(); }
  // Forgets the snapshot and the plan (their memory is freed once no
  // result holds them either); the next request lists the folder.
  void Forget();
  // Lets go of a result that the GUI no longer shows, on the worker's
  // thread, and gives the memory of the plans freed back to the system.
  void Dispose(PreviewResult old);

  // Called on the worker thread between the planning and the answers of
  // each request, with its generation: tests hold the work there.
  std::function<void(std::uint64_t generation)> WorkHook;

 private:
  void Run();
  void Work(const PreviewRequest& request, std::uint64_t generation);
  // The plan of `request` on the snapshot, answered; null when a newer
  // request stopped it (a `whole` plan only: the first rows' stop early).
  std::shared_ptr<const PreviewPlan> MakePlan(const PreviewRequest& request, const NameSet* exclude,
                                              const StopFn& stop, std::uint64_t generation, bool whole);
  // Sends the rows of `plan` to the GUI thread, unless a newer request came.
  void Post(std::uint64_t generation, std::shared_ptr<const PreviewPlan> plan, const PreviewRequest& request,
            bool partial);

  QObject* context_;
  std::function<void(PreviewResult)> deliver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<PreviewRequest> pending_;
  bool quit_ = false;
  bool forget_ = false;
  std::vector<PreviewResult> disposed_;
  std::atomic<std::uint64_t> latest_{0};
  // The worker thread's own: what it last listed and planned, and what is
  // still to do after a request was abandoned.
  std::shared_ptr<const FolderSnapshot> snapshot_;
  // The run's order on it, with or without companions as `orderCompanions_`.
  std::unique_ptr<const RunOrder> order_;
  bool orderCompanions_ = false;
  std::shared_ptr<const PreviewPlan> plan_;
  bool relist_ = true;
  bool replan_ = true;
  std::thread thread_;
};

}  // namespace quor
