#pragma once

// What the recorded runs did to one folder's entries that still stands: the
// renames not undone, which files that come late follow
// (engine/rename/Companions.h), and the entries that undos gave back, which
// a watch leaves alone.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/rename/Companions.h"
#include "system/EntryIdentity.h"

namespace quor {

// An entry that an undo run gave back, under the name it gave back.
struct GivenBackEntry {
  std::string Name;
  EntryId Id;  // as the run that renamed it recorded it
  std::int64_t When = 0;  // when the undo's record was last written, in nanoseconds since 1970
};

struct FolderRecords {
  std::vector<EarlierRename> Renamed;  // renames of finished rename runs, not undone; newest run first
  std::vector<GivenBackEntry> GivenBack;   // of every undo run, running ones included; newest first
};

// The history of one history folder, read again at each call; the renames
// of a record already read are taken from memory while the record, the
// undos of its run and every record after it are as they were (a later run
// may have moved its entries).
class FolderHistory {
 public:
  explicit FolderHistory(std::string historyDir) : dir_(std::move(historyDir)) {}

  // What stands of the runs whose entries were in `folder` (a path without
  // a trailing '/'), renames and give-backs of entries in that folder only.
  [[nodiscard]] FolderRecords Of(const std::string& folder);

 private:
  struct Cached {
    std::uint64_t Size = 0;
    std::size_t TakenBack = 0;
    std::size_t GivenUp = 0;
    std::uint64_t Later = 0;  // the ids and sizes of the records after it, hashed
    std::vector<EarlierRename> Renamed;
    std::vector<GivenBackEntry> Back;
  };
  std::string dir_;
  std::map<std::string, Cached> cache_;  // by run id
};

// For a run: the renames not undone in the folder it renames in, read from
// `historyDir` when the run asks. The calls of one function share what they
// read, and are made on one thread at a time.
[[nodiscard]] EarlierRenamesFn EarlierRenamesFrom(const std::string& historyDir);

}  // namespace quor
