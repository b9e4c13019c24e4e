#include "engine/rename/RunPlan.h"

#include <utility>

#include "engine/files/File.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// How often a long plan asks whether to stop: often enough that a newer
// change waits well under a millisecond, seldom enough to cost nothing.
constexpr std::size_t kStopEvery = 256;

std::size_t FolderLength(const Listed& entry) { return entry.FullPath.size() - entry.Name.size(); }

}  // namespace

FolderSnapshot TakeSnapshot(const std::string& folderText, const NameSet* only, const SimulatedFolder* after) {
  FolderSnapshot snapshot;
  snapshot.FolderText = folderText;
  // Companions beside an entry, and the names a new name may meet, count
  // whatever a mask or a single name selects: the whole folder is read.
  const std::string folder = FolderOfText(folderText);
  snapshot.Entries = ListWholeFolder(folder, snapshot.Folder, snapshot.FolderError);
  if (after) after->Adjust(snapshot.Entries, JoinPath(folder, "*.*"), nullptr);
  snapshot.Selected = Selected(snapshot.Entries, folderText, only);
  if (only) {
    NameSet missing = *only;
    for (std::size_t i = 0; i < snapshot.Entries.size(); ++i)
      if (snapshot.Selected[i]) missing.erase(snapshot.Entries[i].Name);
    snapshot.NotFound.assign(missing.begin(), missing.end());
  }
  return snapshot;
}

RunPlan PlanRun(const FolderSnapshot& snapshot, const RenameOptions& options, const NameSet* exclude,
                const StopFn& stop) {
  const Planner planner(options);
  const RunOrder order =
      options.Companions ? WithCompanions(snapshot.Entries, snapshot.Selected) : InListingOrder(snapshot.Selected);
  RunPlan plan;
  plan.Entries.resize(order.Entries.size());
  for (std::size_t k = 0; k < order.Entries.size(); ++k) {
    if (k % kStopEvery == 0 && stop && stop()) {
      plan.Stopped = true;
      return plan;
    }
    const Listed& listed = snapshot.Entries[order.Entries[k]];
    PlannedEntry& entry = plan.Entries[k];
    entry.Entry = order.Entries[k];
    entry.Main = order.MainOf[k];
    entry.HasCompanions = order.HasCompanions[k] != 0;
    Step step;
    if (entry.Main == kNoMain) {
      step = planner.Plan(listed);
    } else {
      // A companion takes the name its recording takes (its own when it
      // keeps it), refused with it.
      const PlannedEntry& main = plan.Entries[entry.Main];
      const Listed& mainListed = snapshot.Entries[main.Entry];
      const std::string_view mainName =
          main.Unchanged ? std::string_view(mainListed.Name) : std::string_view(main.NewName).substr(0, main.Placed);
      step = planner.PlanCompanion(listed, mainListed.Name.size(), mainName, static_cast<bool>(main.Why));
    }
    entry.Unchanged = step.Unchanged;
    entry.Plain = step.Plain;
    entry.Why = std::move(step.Why);
    entry.Placed = step.NewPath.size() - FolderLength(listed);
    entry.NewName = std::move(step.NewName);
    // A companion keeps its recording's tick.
    entry.Excluded = exclude && (exclude->count(listed.Name) != 0 ||
                                 (entry.Main != kNoMain && plan.Entries[entry.Main].Excluded));
    plan.Excluded += entry.Excluded ? 1 : 0;
  }
  return plan;
}

std::string NewPathOf(const FolderSnapshot& snapshot, const PlannedEntry& entry) {
  const Listed& listed = snapshot.Entries[entry.Entry];
  std::string path;
  path.reserve(FolderLength(listed) + entry.Placed);
  path.append(listed.FullPath, 0, FolderLength(listed)).append(entry.NewName, 0, entry.Placed);
  return path;
}

PlanAnswers AnswerPlan(const RunPlan& plan, const FolderSnapshot& snapshot, SimulatedFolder& folder,
                       const std::function<bool(std::size_t done, std::size_t total)>& goOn) {
  PlanAnswers answers;
  answers.Why.resize(plan.Entries.size());
  PlanWalk walk(plan);
  folder.Know(snapshot.Entries);
  struct Forget {
    SimulatedFolder& folder;
    ~Forget() { folder.Forget(); }
  } forget{folder};
  const std::size_t total = plan.Entries.size();
  for (std::size_t k = 0; k < total; ++k) {
    const PlannedEntry& entry = plan.Entries[k];
    if (entry.Tried())
      answers.Why[k] = walk.Try(k, [&](std::size_t) {
        return folder.Rename(snapshot.Entries[entry.Entry].FullPath, NewPathOf(snapshot, entry));
      });
    answers.Answered = k + 1;
    if (goOn && !goOn(k + 1, total)) {
      answers.Stopped = k + 1 < total;
      break;
    }
  }
  return answers;
}

RenameLine LineOf(const FolderSnapshot& snapshot, const PlannedEntry& entry, Refusal why) {
  const bool ok = !why;
  return {ok, entry.NewName, snapshot.Entries[entry.Entry].Name, std::move(why), entry.Plain};
}

}  // namespace quor
