#pragma once

// Where the runs recorded after a run put its entries. A later run may have
// renamed an entry again, or its folder or a folder above it; an undo or a
// repair of the earlier run looks for the entry there, and says which later
// run stands in its way when it cannot take it back before that one is
// undone.

#include <string>
#include <vector>

#include "engine/record/RecordFolder.h"

namespace quor {

// One path followed through the later runs.
struct Followed {
  // Where the entry is, as far as the records tell: every later rename of
  // it or of a folder above it taken into account.
  std::string Path;
  // Where its name is: only the renames of folders above it taken into
  // account.
  std::string Place;
  // The last later run that renamed the entry itself and whose rename no
  // undo of it has taken back; "" when there is none. Another run that gave
  // the entry its name again does not count: the runs between them would
  // find their entries gone.
  std::string RenamedBy;
  std::string MovedBy;    // the last later run that renamed a folder above it; "" when none did
  // The later run to undo first for this entry to go back: the one that
  // renamed it, else the one that moved its folder.
  [[nodiscard]] const std::string& Blocker() const { return RenamedBy.empty() ? MovedBy : RenamedBy; }
};

class LaterRuns {
 public:
  // The runs that began after run `runId` (`heads` newest first, as
  // ReadRecordHeads gives them), in the order they began; undo runs of
  // `runId` itself are left out: what they took back is no longer the run's.
  // Before them, the runs of other folders that began earlier and were
  // still written when it began: of those only the renames of folders
  // count, as one may have renamed the run's folder while it went on.
  LaterRuns(const std::vector<RecordHead>& heads, const std::string& runId);

  // Follows each path through the renames those runs did. Only records of a
  // folder that holds one of the paths (or a folder above it) are read.
  [[nodiscard]] std::vector<Followed> Follow(const std::vector<std::string>& paths) const;
  // True when no run began after it: every path stays where it is.
  [[nodiscard]] bool Empty() const { return runs_.empty(); }

 private:
  struct Later {
    std::string Id;
    std::string Path;
    std::string EntriesFolder;
    std::string Undoes;        // of an undo run
    bool FoldersOnly = false;  // went on while the run began
  };
  std::vector<Later> runs_;
};

}  // namespace quor
