#pragma once

// The history folder: where the records of the runs live, how a new record
// is named, and what the records of the folder tell together.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/record/RecordFormat.h"
#include "system/RecordFile.h"
#include "system/SystemOps.h"

namespace quor {

// <state folder>/quor-renamer/history; "" when the system names no state
// folder.
[[nodiscard]] std::string HistoryFolder();

// Creates and locks a new record in `dir` (which must exist), named after a
// new run id: the time in UTC and the process, 20261207-193319.990-14399,
// so that ids sort by time in any time zone. `started` gets the time in
// seconds since 1970. EEXIST only when a thousand ids of one millisecond
// are taken.
[[nodiscard]] SysResult CreateRecord(const std::string& dir, RecordFile& file, std::string& id, std::int64_t& started);

// One record file of the folder.
struct RecordFileEntry {
  std::string Id;  // the file's name without ".log"
  std::string Path;
  std::uint64_t Size = 0;
  std::int64_t Written = 0;  // when it was last written, in nanoseconds since 1970
};

// The records of the folder, newest first: ids sort by their time.
[[nodiscard]] std::vector<RecordFileEntry> RecordFiles(const std::string& dir);

// Whether the history folder can be read: ENOENT when there is none yet
// (nothing has been recorded), ENOTDIR when a file has its name ...
[[nodiscard]] SysResult CanReadHistory(const std::string& dir);

// A record's head and end, with what later undo runs did to its renames.
struct RecordHead {
  RunRecord Record;        // Renames left out
  std::uint64_t Size = 0;  // of the file
  std::int64_t Written = 0;  // RecordFileEntry::Written
  std::int64_t Began = 0;    // when the run began, in nanoseconds since 1970, to the millisecond its id tells
  bool Live = false;       // unfinished, and its writer still holds it
  std::size_t TakenBack = 0;  // a rename run's renames that undo runs gave back
  std::size_t GivenUp = 0;    // ... and that were gone or replaced when they tried

  // A rename run, on record to its end, with renames not given back yet.
  [[nodiscard]] bool Undoable() const {
    return Record.Readable && Record.Kind == RunKind::Rename && Record.End != RunEnd::Unfinished &&
           Record.Renamed > TakenBack + GivenUp;
  }
};

// Every record of the folder, newest first (by the time a run started, then
// by id). Records up to `readThrough` bytes are read through, so that damage
// shows; larger ones only at their ends.
inline constexpr std::uint64_t kReadThroughBytes = 4u << 20;
[[nodiscard]] std::vector<RecordHead> ReadRecordHeads(const std::string& dir,
                                                      std::uint64_t readThrough = kReadThroughBytes);

}  // namespace quor
