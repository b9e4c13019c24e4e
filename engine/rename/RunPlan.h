#pragma once

// A run decided before anything is tried, as a value: the folder's listing
// taken once (FolderSnapshot), and for each entry that the run takes, in
// the order it takes them, the new name or why it is refused (RunPlan). The
// run carries a plan out under its folder's lock; the preview answers the
// same plan's renames in a SimulatedFolder. After a change of rules or of
// exclusions a plan is made again from the same snapshot, without listing
// the folder again, and a newer change may stop one that is being made.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/rename/Companions.h"
#include "engine/rename/Listing.h"
#include "engine/rename/LogLines.h"
#include "engine/rename/NameRules.h"
#include "engine/rename/Planner.h"
#include "engine/rename/Refusal.h"

namespace quor {

// A folder as one listing found it.
struct FolderSnapshot {
  std::string FolderText;
  FolderState Folder = FolderState::Listed;
  int FolderError = 0;  // the system's reason when the folder is Unreadable
  // Every entry of the folder, in listing order: companions and the names
  // that new names meet count entries that a mask leaves out. Their
  // FullPath is left empty, since it is always PathPrefix and the name: a
  // folder of 100,000 entries is kept by the preview, and the paths would
  // take as much room as the names (see FullPathOf and ListedOf).
  std::vector<Listed> Entries;
  // What every entry's path starts with: the folder as listed, and '/'.
  std::string PathPrefix;
  // The entries that the folder text (its mask) and `only` select.
  std::vector<char> Selected;
  // The names of `only` that the folder does not hold, in any order.
  std::vector<std::string> NotFound;
  // Entries by name, to answer any number of plans on this listing.
  ListingIndex Names;
  // The renames of earlier runs that files coming late follow (see
  // Companions.h), asked when the order of a run is found.
  EarlierRenamesFn Earlier;
};

// Lists the folder that `folderText` names, whole, and marks what the text
// (and `only`, the exact names of a single-entry run) selects. With `after`,
// the listing is as it would be after that simulated folder's renames (see
// SimulatedFolder::Adjust): a folder that they renamed away, or a folder
// above it, is Missing; one that they renamed into the path is listed where
// it stands, under the path it would have.
[[nodiscard]] FolderSnapshot TakeSnapshot(const std::string& folderText, const NameSet* only = nullptr,
                                          const SimulatedFolder* after = nullptr, EarlierRenamesFn earlier = {});

// The full path of a snapshot's entry.
[[nodiscard]] std::string FullPathOf(const FolderSnapshot& snapshot, const Listed& entry);
// The entry as the listing gave it, full path included.
[[nodiscard]] Listed ListedOf(const FolderSnapshot& snapshot, std::size_t entry);

// Asked now and then while a plan is made; true stops it.
using StopFn = std::function<bool()>;

// A refusal in the few bytes that a plan keeps of it: what a plan or a
// simulated folder refuses never strands an entry, so it names no place.
class PlanRefusal {
 public:
  PlanRefusal() = default;
  explicit PlanRefusal(const Refusal& why)
      : what_(why.What), error_(why.Error), row_(static_cast<std::uint32_t>(why.Row)) {}
  [[nodiscard]] Refusal Full() const {
    Refusal why(what_, error_);
    why.Row = row_;
    return why;
  }
  [[nodiscard]] Refusal::Kind What() const { return what_; }
  [[nodiscard]] explicit operator bool() const { return what_ != Refusal::Kind::None; }

 private:
  Refusal::Kind what_ = Refusal::Kind::None;
  int error_ = 0;
  std::uint32_t row_ = 0;
};

// What the run does with one entry: a plan of 100,000 entries is kept by
// the preview, so it takes few bytes besides the new name.
struct PlannedEntry {
  std::string NewName;         // as the rules returned it
  std::size_t Main = kNoMain;  // position in the plan of the entry it follows, if it is a companion
  std::uint32_t Entry = 0;     // position in the snapshot's Entries
  std::uint32_t Placed = 0;    // how many bytes of NewName the new path ends in
  PlanRefusal Why;             // refused before anything is tried
  bool Unchanged = false;      // the path stays as it is: no line
  bool Plain = false;          // both names plain text
  bool HasCompanions = false;  // another entry follows this one
  bool Excluded = false;       // left out: not touched, no line, and it keeps its name

  // Whether the run tries it and writes its line.
  [[nodiscard]] bool Tried() const { return !Unchanged && !Excluded; }
};

struct RunPlan {
  std::vector<PlannedEntry> Entries;  // in the order the run takes them
  std::size_t Excluded = 0;           // entries left out
  // The files that came late, by their position in Entries (RunOrder::LateOf).
  std::unordered_map<std::size_t, RunOrder::Late> Late;
  // Stopped before its end: it holds the entries that the run takes
  // first, as far as it got, and is never to be carried out.
  bool Stopped = false;
};

// The plan of a run on `snapshot` under `options` (see RunRename for what
// refuses a new name). An entry spelt exactly as one of `exclude` is left
// out, and so are the companions that follow it. `stop` is asked every few
// hundred entries. Throws quor::Exception, saying which, when a
// regular-expression row does not compile.
[[nodiscard]] RunPlan PlanRun(const FolderSnapshot& snapshot, const RenameOptions& options,
                              const NameSet* exclude = nullptr, const StopFn& stop = {});

// The order in which a run on `snapshot` takes its entries: the selected
// ones in listing order, with `companions` each followed by its companion
// files (see Companions.h).
[[nodiscard]] RunOrder RunOrderOf(const FolderSnapshot& snapshot, bool companions);
// PlanRun in an order made once for the many plans of one snapshot: it is
// RunOrderOf(snapshot, options.Companions).
[[nodiscard]] RunPlan PlanRun(const FolderSnapshot& snapshot, const RunOrder& order, const RenameOptions& options,
                              const NameSet* exclude = nullptr, const StopFn& stop = {});

// The path that a planned entry is renamed to: the folder part byte for
// byte as listed, then its name.
[[nodiscard]] std::string NewPathOf(const FolderSnapshot& snapshot, const PlannedEntry& entry);
// The name of that path.
[[nodiscard]] inline std::string_view NewNameOf(const PlannedEntry& entry) {
  return std::string_view(entry.NewName).substr(0, entry.Placed);
}

// The name that the entry at position k of `plan` takes under `planner`'s
// rules (its own when it keeps it), as PlanRun would plan it: for a
// companion, after its recording's new name. For a few entries at a time,
// such as the rows on screen while the whole plan is made again.
[[nodiscard]] std::string PlannedName(const Planner& planner, const FolderSnapshot& snapshot, const RunPlan& plan,
                                      std::size_t k);

// The tries of a plan's entries, in run order, as the run and the preview
// both take them: an entry is refused as planned, or because the entry it
// follows was refused when it was tried, or else renamed by `rename`.
class PlanWalk {
 public:
  explicit PlanWalk(const RunPlan& plan) : plan_(plan), refused_(plan.Entries.size()) {}

  // The refusal that entry k, which the run tries, meets; none when
  // `rename(k)`, a RenameResult, succeeds. Called once per entry, in order.
  template <typename RenameFn>
  Refusal Try(std::size_t k, RenameFn&& rename) {
    const PlannedEntry& entry = plan_.Entries[k];
    Refusal why = entry.Why.Full();
    if (!why && entry.Main != kNoMain && refused_[entry.Main])
      why.What = Refusal::Kind::MainNotRenamed;
    else if (!why)
      why = RefusalOf(rename(k));
    if (why) refused_[k] = 1;
    return why;
  }

 private:
  const RunPlan& plan_;
  std::vector<char> refused_;
};

// The plan's renames answered as the system would answer them, touching
// nothing: the refusal that each entry of the plan would meet, by position
// (none for a rename, and for an entry that is not tried). `folder` holds
// the renames of earlier previews, and of these. `goOn(done, total)` hears
// each entry tried and stops the answers when it returns false; the entries
// answered so far are then `Answered`.
struct PlanAnswers {
  std::vector<PlanRefusal> Why;
  std::size_t Answered = 0;
  bool Stopped = false;
};
[[nodiscard]] PlanAnswers AnswerPlan(const RunPlan& plan, const FolderSnapshot& snapshot, SimulatedFolder& folder,
                                     const std::function<bool(std::size_t done, std::size_t total)>& goOn = {});

// The log line of the entry at position k of `plan`, which the run tries,
// given the refusal it met: a companion whose recording was refused shows
// its own name, and a file that came late the recording it followed.
[[nodiscard]] RenameLine LineOf(const FolderSnapshot& snapshot, const RunPlan& plan, std::size_t k, Refusal why);

}  // namespace quor
