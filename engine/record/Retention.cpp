#include "engine/record/Retention.h"

#include "engine/record/RecordFolder.h"
#include "engine/record/RecordFormat.h"
#include "system/RecordFile.h"

namespace quor {

void PruneHistory(const std::string& historyDir, std::size_t keepRuns, std::uint64_t keepBytes) {
  std::size_t kept = 0;
  std::uint64_t bytes = 0;
  for (const RecordFileEntry& f : RecordFiles(historyDir)) {
    if (kept < keepRuns && bytes + f.Size <= keepBytes) {
      ++kept;
      bytes += f.Size;
      continue;
    }
    // A record still written, or still to be repaired, stays.
    const RunRecord head = ReadRecord(f.Path, false);
    if (head.Readable && head.End == RunEnd::Unfinished) continue;
    (void)RemoveFile(f.Path);
  }
}

}  // namespace quor
