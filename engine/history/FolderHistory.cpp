#include "engine/history/FolderHistory.h"

#include <memory>
#include <string_view>
#include <utility>

#include "engine/history/History.h"
#include "text/TextOps.h"

namespace quor {

namespace {

bool InFolder(const std::string& path, const std::string& folder) { return ContainingFolder(path) == folder; }

}  // namespace

FolderRecords FolderHistory::Of(const std::string& folderPath) {
  const std::string folder(WithoutTrailingSeparators(folderPath));
  FolderRecords records;
  if (dir_.empty()) return records;
  const std::vector<RecordHead> heads = ReadRecordHeads(dir_, 0);
  std::map<std::string, Cached> kept;
  // The records after each, newest first as the heads come: FNV-1a of their ids and sizes.
  std::uint64_t later = 14695981039346656037ull;
  const auto hash = [&later](std::string_view bytes) {
    for (const char c : bytes) later = (later ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  };
  for (const RecordHead& head : heads) {
    const std::uint64_t after = later;
    hash(head.Record.Id);
    hash(":" + std::to_string(head.Size) + ";");
    const RunRecord& r = head.Record;
    if (!r.Readable || r.EntriesFolder != folder) continue;
    const bool rename = r.Kind == RunKind::Rename;
    // A run all undone has nothing standing; one still going on nothing yet.
    if (rename && !head.Undoable()) continue;
    Cached entry;
    const auto it = cache_.find(r.Id);
    if (it != cache_.end() && it->second.Size == head.Size && it->second.TakenBack == head.TakenBack &&
        it->second.GivenUp == head.GivenUp && it->second.Later == after) {
      entry = std::move(it->second);
    } else {
      entry.Size = head.Size;
      entry.TakenBack = head.TakenBack;
      entry.GivenUp = head.GivenUp;
      entry.Later = after;
      if (rename) {
        const UndoPlan plan = PlanUndo(heads, r.Id);
        for (std::size_t i = 0; i < plan.OldPaths.size(); ++i) {
          if (!InFolder(plan.OldPaths[i], folder) || !InFolder(plan.NewPaths[i], folder)) continue;
          entry.Renamed.push_back({std::string(FileNameView(plan.OldPaths[i])),
                                   std::string(FileNameView(plan.NewPaths[i])), plan.Ids[i], r.Id, head.Written});
        }
      } else {
        // Every intent, tried or not: only the very entry it names, unchanged,
        // is left alone, and an undo still going on is giving it back.
        for (const RecordedRename& back : ReadRecord(r.Path, true).Renames)
          if (InFolder(back.NewPath, folder))
            entry.Back.push_back({std::string(FileNameView(back.NewPath)), back.Id, head.Written});
      }
    }
    records.Renamed.insert(records.Renamed.end(), entry.Renamed.begin(), entry.Renamed.end());
    records.GivenBack.insert(records.GivenBack.end(), entry.Back.begin(), entry.Back.end());
    kept.emplace(r.Id, std::move(entry));
  }
  cache_ = std::move(kept);
  return records;
}

EarlierRenamesFn EarlierRenamesFrom(const std::string& historyDir) {
  return [history = std::make_shared<FolderHistory>(historyDir)](const std::string& folder) {
    return history->Of(folder).Renamed;
  };
}

}  // namespace quor
