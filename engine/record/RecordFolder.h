#pragma once

// The history folder: where the records of the runs live, how a new record
// is named, and the records it holds.

#include <cstdint>
#include <string>
#include <vector>

#include "system/RecordFile.h"
#include "system/SystemOps.h"

namespace quor {

// <state folder>/quor-renamer/history; "" when the system names no state
// folder.
[[nodiscard]] std::string HistoryFolder();

// Creates and locks a new record in `dir` (which must exist), named after a
// new run id that sorts by time; `started` gets the time it names, in
// seconds since 1970. EEXIST only when a thousand ids of one millisecond
// are taken.
[[nodiscard]] SysResult CreateRecord(const std::string& dir, RecordFile& file, std::string& id, std::int64_t& started);

// One record file of the folder.
struct RecordFileEntry {
  std::string Id;  // the file's name without ".log"
  std::string Path;
  std::uint64_t Size = 0;
};

// The records of the folder, newest first: ids sort by their time.
[[nodiscard]] std::vector<RecordFileEntry> RecordFiles(const std::string& dir);

}  // namespace quor
