#include "engine/history/LaterRuns.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "engine/record/RecordFormat.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using Moves = std::unordered_map<std::string, std::string>;

// The path with the deepest of its folders that `moves` renamed replaced by
// its new path; false when none was.
bool FollowFolders(const Moves& moves, std::string& path) {
  for (std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    const auto it = moves.find(path.substr(0, slash));
    if (it == moves.end()) continue;
    path = it->second + path.substr(slash);
    return true;
  }
  return false;
}

}  // namespace

LaterRuns::LaterRuns(const std::vector<RecordHead>& heads, const std::string& runId) {
  const auto it = std::find_if(heads.begin(), heads.end(), [&](const RecordHead& h) { return h.Record.Id == runId; });
  if (it == heads.end()) return;
  // Two runs of one folder never overlap: the lock keeps them apart. A
  // file's time comes from a clock that lags the one of the ids by a tick,
  // and an id tells the millisecond only: a run written up to a moment
  // before may still have gone on.
  constexpr std::int64_t kMargin = 100'000'000;
  for (auto earlier = heads.rbegin(); earlier != std::make_reverse_iterator(std::next(it)); ++earlier) {
    const RunRecord& r = earlier->Record;
    if (r.Readable && earlier->Written + kMargin > it->Began && r.EntriesFolder != it->Record.EntriesFolder)
      runs_.push_back({r.Id, r.Path, r.EntriesFolder, r.Undoes, true});
  }
  for (auto later = std::make_reverse_iterator(it); later != heads.rend(); ++later) {
    const RunRecord& r = later->Record;
    if (!r.Readable || (r.Kind == RunKind::Undo && r.Undoes == runId)) continue;
    runs_.push_back({r.Id, r.Path, r.EntriesFolder, r.Kind == RunKind::Undo ? r.Undoes : std::string()});
  }
}

std::vector<Followed> LaterRuns::Follow(const std::vector<std::string>& paths) const {
  std::vector<Followed> followed;
  followed.reserve(paths.size());
  for (const std::string& path : paths) followed.push_back({path, path, {}, {}});
  // For each path, the later runs that renamed the entry itself, the last
  // on top: an undo of the run on top takes its rename back.
  std::vector<std::vector<std::string>> renamers(paths.size());
  // The folders the paths are in now: a run elsewhere renamed none of them.
  std::set<std::string, std::less<>> folders;
  const auto gather = [&] {
    folders.clear();
    // Nearly every path is in the folder of the one before it.
    std::string_view last;
    for (const Followed& f : followed)
      for (const std::string_view folder : {ContainingFolder(f.Path), ContainingFolder(f.Place)})
        if (folder != last && folders.find(last = folder) == folders.end()) folders.emplace(folder);
  };
  gather();
  for (const Later& run : runs_) {
    if (std::none_of(folders.begin(), folders.end(),
                     [&](const std::string& folder) { return IsAtOrBelow(folder, run.EntriesFolder); }))
      continue;
    const RunRecord record = ReadRecord(run.Path, true);
    if (!record.Readable) continue;
    Moves moves;
    for (const RecordedRename& r : record.Renames)
      if (r.Outcome == RecordedRename::State::Done) moves[r.OldPath] = r.NewPath;
    if (moves.empty()) continue;
    bool moved = false;
    for (std::size_t i = 0; i < followed.size(); ++i) {
      Followed& f = followed[i];
      if (const auto at = moves.find(f.Path); at != moves.end() && !run.FoldersOnly) {
        f.Path = at->second;
        std::vector<std::string>& by = renamers[i];
        if (!by.empty() && !run.Undoes.empty() && by.back() == run.Undoes)
          by.pop_back();
        else
          by.push_back(run.Id);
        moved = true;
      } else if (FollowFolders(moves, f.Path)) {
        f.MovedBy = run.Id;
        moved = true;
      }
      if (FollowFolders(moves, f.Place)) {
        f.MovedBy = run.Id;
        moved = true;
      }
    }
    if (moved) gather();
  }
  for (std::size_t i = 0; i < followed.size(); ++i)
    if (!renamers[i].empty()) followed[i].RenamedBy = renamers[i].back();
  return followed;
}

}  // namespace quor
