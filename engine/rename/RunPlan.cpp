#include "engine/rename/RunPlan.h"

#include <utility>

#include "engine/files/File.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// How often a long plan asks whether to stop: often enough that a newer
// change waits well under a millisecond, seldom enough to cost nothing.
constexpr std::size_t kStopEvery = 256;

// The step of the snapshot's entry `entryIndex`, which follows the entry at
// position `main` of `plan` (planned already) or none, or came late after a
// recording (`late`); `scratch` is reused for the entry with its full path.
Step StepOf(const Planner& planner, const FolderSnapshot& snapshot, const RunPlan& plan, std::size_t entryIndex,
            std::size_t main, const RunOrder::Late* late, Listed& scratch) {
  const Listed& listed = snapshot.Entries[entryIndex];
  scratch.FullPath.assign(snapshot.PathPrefix).append(listed.Name);
  scratch.Name.assign(listed.Name);
  scratch.Inode = listed.Inode;
  scratch.IsFolder = listed.IsFolder;
  scratch.Type = listed.Type;
  // A file that came late, its recording not in this run: after the name
  // that the recording bears.
  if (main == kNoMain && late != nullptr) return planner.PlanCompanion(scratch, late->OldLength, late->Recording, false);
  if (main == kNoMain) return planner.Plan(scratch);
  // A companion takes the name its recording takes (its own when it keeps
  // it), refused with it.
  const PlannedEntry& recording = plan.Entries[main];
  const Listed& mainListed = snapshot.Entries[recording.Entry];
  const std::string_view mainName = recording.Unchanged
                                        ? std::string_view(mainListed.Name)
                                        : std::string_view(recording.NewName).substr(0, recording.Placed);
  const std::size_t stem = late != nullptr ? late->OldLength : mainListed.Name.size();
  return planner.PlanCompanion(scratch, stem, mainName, static_cast<bool>(recording.Why));
}

const RunOrder::Late* LateAt(const std::unordered_map<std::size_t, RunOrder::Late>& late, std::size_t k) {
  if (late.empty()) return nullptr;
  const auto it = late.find(k);
  return it == late.end() ? nullptr : &it->second;
}

// Fills `entry` from its step.
void Take(PlannedEntry& entry, Step&& step, std::size_t prefix) {
  entry.Unchanged = step.Unchanged;
  entry.Plain = step.Plain;
  entry.Why = PlanRefusal(step.Why);
  entry.Placed = static_cast<std::uint32_t>(step.NewPath.size() - prefix);
  entry.NewName = std::move(step.NewName);
}

}  // namespace

std::string FullPathOf(const FolderSnapshot& snapshot, const Listed& entry) { return snapshot.PathPrefix + entry.Name; }

Listed ListedOf(const FolderSnapshot& snapshot, std::size_t entry) {
  Listed listed = snapshot.Entries[entry];
  listed.FullPath = FullPathOf(snapshot, listed);
  return listed;
}

FolderSnapshot TakeSnapshot(const std::string& folderText, const NameSet* only, const SimulatedFolder* after,
                            EarlierRenamesFn earlier) {
  FolderSnapshot snapshot;
  snapshot.FolderText = folderText;
  snapshot.Earlier = std::move(earlier);
  // Companions beside an entry, and the names a new name may meet, count
  // whatever a mask or a single name selects: the whole folder is read.
  const std::string folder = FolderOfText(folderText);
  std::string now = folder;
  if (after && !after->Locate(folder, now)) {
    snapshot.Folder = folder.starts_with(PathDelim) ? FolderState::Missing : FolderState::NotAbsolute;
  } else {
    snapshot.Entries = ListWholeFolder(now, snapshot.Folder, snapshot.FolderError);
    // Listed where it stands, under the path it would have.
    if (now != folder)
      for (Listed& e : snapshot.Entries) e.FullPath = folder + e.FullPath.substr(now.size());
  }
  if (after) after->Adjust(snapshot.Entries, JoinPath(folder, "*.*"), nullptr);
  snapshot.Selected = Selected(snapshot.Entries, folderText, only);
  snapshot.Names = ListingIndex(snapshot.Entries);
  if (!snapshot.Entries.empty()) snapshot.PathPrefix = FolderView(snapshot.Entries.front().FullPath);
  for (Listed& entry : snapshot.Entries) std::string().swap(entry.FullPath);
  if (only) {
    NameSet missing = *only;
    for (std::size_t i = 0; i < snapshot.Entries.size(); ++i)
      if (snapshot.Selected[i]) missing.erase(snapshot.Entries[i].Name);
    snapshot.NotFound.assign(missing.begin(), missing.end());
  }
  return snapshot;
}

RunOrder RunOrderOf(const FolderSnapshot& snapshot, bool companions) {
  return companions ? WithCompanions(snapshot.Entries, snapshot.Selected, snapshot.PathPrefix, snapshot.Earlier)
                    : InListingOrder(snapshot.Selected);
}

RunPlan PlanRun(const FolderSnapshot& snapshot, const RenameOptions& options, const NameSet* exclude,
                const StopFn& stop) {
  return PlanRun(snapshot, RunOrderOf(snapshot, options.Companions), options, exclude, stop);
}

RunPlan PlanRun(const FolderSnapshot& snapshot, const RunOrder& order, const RenameOptions& options,
                const NameSet* exclude, const StopFn& stop) {
  const Planner planner(options);
  RunPlan plan;
  plan.Entries.resize(order.Entries.size());
  plan.Late = order.LateOf;
  Listed scratch;
  for (std::size_t k = 0; k < order.Entries.size(); ++k) {
    if (k % kStopEvery == 0 && stop && stop()) {
      plan.Stopped = true;
      plan.Entries.resize(k);
      return plan;
    }
    const Listed& listed = snapshot.Entries[order.Entries[k]];
    PlannedEntry& entry = plan.Entries[k];
    entry.Entry = static_cast<std::uint32_t>(order.Entries[k]);
    entry.Main = order.MainOf[k];
    entry.HasCompanions = order.HasCompanions[k] != 0;
    Take(entry, StepOf(planner, snapshot, plan, entry.Entry, entry.Main, LateAt(plan.Late, k), scratch),
         snapshot.PathPrefix.size());
    // A companion keeps its recording's tick.
    entry.Excluded = exclude && (exclude->count(listed.Name) != 0 ||
                                 (entry.Main != kNoMain && plan.Entries[entry.Main].Excluded));
    plan.Excluded += entry.Excluded ? 1 : 0;
  }
  return plan;
}

std::string NewPathOf(const FolderSnapshot& snapshot, const PlannedEntry& entry) {
  std::string path;
  path.reserve(snapshot.PathPrefix.size() + entry.Placed);
  path.append(snapshot.PathPrefix).append(entry.NewName, 0, entry.Placed);
  return path;
}

std::string PlannedName(const Planner& planner, const FolderSnapshot& snapshot, const RunPlan& plan, std::size_t k) {
  const PlannedEntry& entry = plan.Entries[k];
  Listed scratch;
  PlannedEntry planned;
  // A companion's recording planned under these rules first.
  RunPlan recording;
  std::size_t main = entry.Main;
  if (main != kNoMain) {
    const PlannedEntry& old = plan.Entries[main];
    recording.Entries.resize(1);
    recording.Entries[0].Entry = old.Entry;
    Take(recording.Entries[0], StepOf(planner, snapshot, recording, old.Entry, kNoMain, LateAt(plan.Late, main), scratch),
         snapshot.PathPrefix.size());
    main = 0;
  }
  Take(planned, StepOf(planner, snapshot, recording, entry.Entry, main, LateAt(plan.Late, k), scratch),
       snapshot.PathPrefix.size());
  return planned.Unchanged ? snapshot.Entries[entry.Entry].Name : planned.NewName;
}

PlanAnswers AnswerPlan(const RunPlan& plan, const FolderSnapshot& snapshot, SimulatedFolder& folder,
                       const std::function<bool(std::size_t done, std::size_t total)>& goOn) {
  PlanAnswers answers;
  answers.Why.resize(plan.Entries.size());
  PlanWalk walk(plan);
  folder.Know(snapshot.PathPrefix, snapshot.Entries, snapshot.Names, plan.Entries.size());
  struct Forget {
    SimulatedFolder& folder;
    ~Forget() { folder.Forget(); }
  } forget{folder};
  const std::size_t total = plan.Entries.size();
  for (std::size_t k = 0; k < total; ++k) {
    const PlannedEntry& entry = plan.Entries[k];
    if (entry.Tried())
      answers.Why[k] = PlanRefusal(walk.Try(k, [&](std::size_t) {
        return folder.Rename(FullPathOf(snapshot, snapshot.Entries[entry.Entry]), NewPathOf(snapshot, entry));
      }));
    answers.Answered = k + 1;
    if (goOn && !goOn(k + 1, total)) {
      answers.Stopped = k + 1 < total;
      break;
    }
  }
  return answers;
}

RenameLine LineOf(const FolderSnapshot& snapshot, const RunPlan& plan, std::size_t k, Refusal why) {
  const PlannedEntry& entry = plan.Entries[k];
  const bool ok = !why;
  const std::string& name = snapshot.Entries[entry.Entry].Name;
  // The recording it follows was refused when it was tried: it keeps its
  // own name, and so does its line.
  const bool keeps = why.What == Refusal::Kind::MainNotRenamed;
  RenameLine line{ok, keeps ? name : entry.NewName, name, std::move(why), entry.Plain};
  // A file that came late says which recording it followed.
  if (const RunOrder::Late* late = LateAt(plan.Late, k)) {
    if (entry.Main == kNoMain) {
      line.Follows = late->Recording;
    } else {
      const PlannedEntry& recording = plan.Entries[entry.Main];
      line.Follows = recording.Unchanged ? snapshot.Entries[recording.Entry].Name
                                         : recording.NewName.substr(0, recording.Placed);
    }
  }
  return line;
}

}  // namespace quor
