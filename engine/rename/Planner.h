#pragma once

// What a run does with each listed entry, decided before anything is tried:
// the new name, or why it is refused without a system call; and the folder
// that a preview renames in, answering as the system would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/rename/Listing.h"
#include "engine/rename/NameRules.h"
#include "engine/rename/Refusal.h"
#include "system/SystemOps.h"

namespace quor {

// What the run does with one entry.
struct Step {
  bool Unchanged = false;  // no line at all
  bool Plain = false;      // both names plain text: shown and recorded as they are
  Refusal Why;             // refused before any system call
  std::string NewName;     // as the rules returned it
  std::string NewPath;
};

// The rules of one run, ready for the names of both code pages.
class Planner {
 public:
  // Throws quor::Exception, saying which, when a regular-expression row
  // does not compile: such a list renames nothing at all.
  explicit Planner(const RenameOptions& options);

  // The new name and path of an entry. Only trailing blanks of the new name
  // are cut; the folder part stays as listed. A new name that is empty, "."
  // or "..", holds a '/' or a NUL, keeps only an extension where the old
  // name had more, or belongs to a name valid in no code page is refused, as
  // is a name whose rules failed (a search that reached its bound, a result
  // that CP932 cannot hold).
  [[nodiscard]] Step Plan(const Listed& entry) const;

  // The step of a companion file: the new name of the entry it follows
  // (`mainNewName`, as that entry's step gives it, trailing blanks cut) and
  // then its own suffix, the part after `mainLength` bytes, lower-cased
  // under the extension rule. Refused when that entry's step is
  // (`mainRefused`); never the rules on its own name.
  [[nodiscard]] Step PlanCompanion(const Listed& entry, std::size_t mainLength, std::string_view mainNewName,
                                   bool mainRefused) const;

 private:
  CompiledRules rules_;
  bool lowerExt_;
};

// The entries of a listing by their exact names, to look a name up without
// a copy of any: it holds positions in the listing, not the names, so that
// the listing may be moved or copied with it.
class ListingIndex {
 public:
  ListingIndex() = default;
  explicit ListingIndex(const std::vector<Listed>& entries);
  // Whether `entries`, the listing it was made from, holds `name`.
  [[nodiscard]] bool Holds(const std::vector<Listed>& entries, std::string_view name) const;

 private:
  std::vector<std::uint32_t> slots_;  // open addressing: a position + 1, or 0 for none
};

// The renames of one run or of several, answered as the system would
// answer them, against the folders as they stand and the renames before
// them, touching nothing. The errors come in the order the system checks: a
// read-only file system, a name too long, an existing entry, then
// permission.
class SimulatedFolder {
 public:
  RenameResult Rename(const std::string& oldPath, const std::string& newPath);
  // A listing of `folderText` (with `only` as the listing took it) as it
  // would be after the renames so far: entries renamed away are left out,
  // entries renamed to a name that the listing takes are added at its end.
  void Adjust(std::vector<Listed>& entries, const std::string& folderText, const NameSet* only) const;

  // The whole listing of the folder that the next renames are in, and its
  // index, which the caller keeps as they are until Forget: where the
  // folder looks names up by their exact bytes (LooksUpExactNames), whether
  // a new name is taken is answered from them, not asked of the system once
  // per rename; elsewhere they spare a second listing of the folder's exact
  // names. `renames` is about how many renames are to come.
  // `prefix` is the folder part of the entries' paths (their FullPath may
  // be left empty).
  void Know(const std::string& prefix, const std::vector<Listed>& wholeFolder, const ListingIndex& index,
            std::size_t renames = 0);
  void Forget();

  // Keeps where each renamed entry stands from now on, for the folder texts
  // of later runs in this folder (the PATHs of one dry run): Locate follows
  // them. One run alone has no need of it.
  void FollowEntries() { follows_ = true; }

  // Where the entry at `path`, as the renames so far have named it, stands
  // now (`now`, the same path where no rename moved it or a folder above
  // it); false when they renamed it, or a folder above it, away: its path
  // then leads nowhere (on a case-insensitive volume a change of case alone
  // leaves the old spelling leading to it).
  [[nodiscard]] bool Locate(std::string_view path, std::string& now) const;

 private:
  void Enter(std::string folder);
  // Whether a rename of the entry standing at `oldNow` to `newPath` meets
  // another entry; `sameEntry` says when the new name finds that very entry
  // under another spelling.
  bool Exists(const std::string& oldNow, const std::string& newPath, bool& sameEntry);
  // Whether the known listing is the listing of `folder_`.
  [[nodiscard]] bool KnowsFolder() const;

  // The paths that the renames so far vacated (false) or took (true).
  std::unordered_map<std::string, bool> moved_;
  std::unordered_map<std::string, std::string> origin_;  // a path renamed to -> where that entry stands now
  std::unordered_set<std::string> away_;                 // paths renamed away, which lead nowhere now
  NameSet exactNames_;  // the folder's names, read on first need
  bool listed_ = false;
  std::string folder_ = std::string(1, '\0');
  std::string folderNow_;  // where folder_ stands now
  bool follows_ = false;
  SysResult access_;
  std::size_t maxName_ = 0;
  std::string knownPrefix_;
  const std::vector<Listed>* known_ = nullptr;
  const ListingIndex* knownIndex_ = nullptr;
  bool exact_ = false;  // folder_ is the known one and looks names up exactly
};

}  // namespace quor
