#pragma once

// Companion files: what recorders and encoders write beside a recording,
// named after it (X.ts.err, X.ts.program.txt, X.ts.mp4 beside X.ts). A
// companion follows its recording: it takes the recording's new name with
// its own suffix, and never the rules on its own name.

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/rename/Listing.h"

namespace quor {

inline constexpr std::size_t kNoMain = std::numeric_limits<std::size_t>::max();

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
};

// The companion rule on a whole listing: a file whose name is the complete
// name of another file that has an extension, followed by "." and more, is
// that file's companion; the longest such name wins, so X.ts.mp4.ass
// follows X.ts.mp4, which follows X.ts. Folders are neither. The run takes
// each listed entry that `selected` marks and follows no other, in listing
// order, each followed by its companions (theirs after them), whether the
// selection marks them or not. A companion whose entry the run does not
// take stays out of the run.
[[nodiscard]] RunOrder WithCompanions(const std::vector<Listed>& all, const std::vector<char>& selected);

// The entries that `selected` marks, in listing order, each on its own: a
// run without companions.
[[nodiscard]] RunOrder InListingOrder(const std::vector<char>& selected);

// The entries of the listing of `folderText`'s folder that `folderText`
// (its mask, if it has one) and `only` select.
[[nodiscard]] std::vector<char> Selected(const std::vector<Listed>& all, const std::string& folderText,
                                         const NameSet* only);

}  // namespace quor
