#pragma once

// Companion files: what recorders and encoders write beside a recording,
// named after it (X.ts.err, X.ts.program.txt, X.ts.mp4 beside X.ts). A
// companion follows its recording: it takes the recording's new name with
// its own suffix, and never the rules on its own name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/rename/Listing.h"
#include "system/EntryIdentity.h"

namespace quor {

inline constexpr std::size_t kNoMain = std::numeric_limits<std::size_t>::max();

// A rename of an earlier run, whose old name a file that comes late may
// still bear (the recorder wrote it after the run).
struct EarlierRename {
  std::string OldName;
  std::string NewName;
  EntryId Id;  // the entry as the run recorded it
  std::string RunId;
  std::int64_t When = 0;  // when its record was last written, in nanoseconds since 1970
};

// The earlier renames in `folder`, newest run first. A run asks at most
// once, and only when a file of its listing may follow a recording by an
// old name.
using EarlierRenamesFn = std::function<std::vector<EarlierRename>(const std::string& folder)>;

// The entries of a run in the order it takes them, as positions in the
// listing it was made from, which stays as it is: a plan made again after a
// change of rules reads the same listing.
struct RunOrder {
  std::vector<std::size_t> Entries;
  // For each entry, the position in Entries of the entry it follows (whose
  // name and then "." its own name starts with); kNoMain for an entry that
  // follows none.
  std::vector<std::size_t> MainOf;
  // True for an entry that another one follows.
  std::vector<char> HasCompanions;
  // Files that follow a recording by the name an earlier run renamed it
  // from, by their position in Entries: the length of that old name, which
  // their own name starts with, and the recording's name now. Such a file
  // comes after its recording when the run takes that too (MainOf tells),
  // else on its own (MainOf kNoMain), following the name the recording has.
  struct Late {
    std::size_t OldLength = 0;
    std::string Recording;
  };
  std::unordered_map<std::size_t, Late> LateOf;
};

// The companion rule on a whole listing: a file whose name is the complete
// name of another file that has an extension, followed by "." and more, is
// that file's companion; the longest such name wins, so X.ts.mp4.ass
// follows X.ts.mp4, which follows X.ts. Folders are neither. On a
// case-insensitive volume the shared part may differ in case (X.TS.err
// follows X.ts) where the file system finds that very file under it. The
// run takes each listed entry that `selected` marks and follows no other,
// in listing order, each followed by its companions (theirs after them),
// whether the selection marks them or not. A companion whose entry the run
// does not take stays out of the run. `prefix` is what goes before a name
// of the listing to make its path (the folder and '/').
//
// Companions that come late: a file that has no such main, but whose name
// is the old name of an earlier rename (`earlier`, of the listing's
// folder) followed by "." and more, follows the recording that rename
// made, provided that the recording still bears its new name and is the
// entry the run renamed (its identity). It comes after that recording when
// the run takes it, and is taken on its own when the selection marks it.
// Where several renames had that old name, the newest that holds wins;
// where several old names fit, the longest.
[[nodiscard]] RunOrder WithCompanions(const std::vector<Listed>& all, const std::vector<char>& selected,
                                      const std::string& prefix, const EarlierRenamesFn& earlier = {});

// The entries that `selected` marks, in listing order, each on its own: a
// run without companions.
[[nodiscard]] RunOrder InListingOrder(const std::vector<char>& selected);

// The entries of the listing of `folderText`'s folder that `folderText`
// (its mask, if it has one) and `only` select.
[[nodiscard]] std::vector<char> Selected(const std::vector<Listed>& all, const std::string& folderText,
                                         const NameSet* only);

}  // namespace quor
