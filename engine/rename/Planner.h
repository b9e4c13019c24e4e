#pragma once

// What a run does with each listed entry, decided before anything is tried:
// the new name, or why it is refused without a system call; and the folder
// that a preview renames in, answering as the system would.

#include <cstddef>
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
  std::string NewName;     // as the rules returned it, trailing blanks cut
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
  // (`mainRefused`), with its own name as the new one; never the rules on
  // its own name.
  [[nodiscard]] Step PlanCompanion(const Listed& entry, std::size_t mainLength, std::string_view mainNewName,
                                   bool mainRefused) const;

 private:
  CompiledRules rules_;
  bool lowerExt_;
};

// The renames of one run or of several, answered as the system would
// answer them, against the folders as they stand and the renames before
// them, touching nothing. The errors come in the order the system checks: a
// read-only file system, a name too long, an existing entry, then
// permission.
class SimulatedFolder {
 public:
  RenameResult Rename(const std::string& oldPath, const std::string& newPath);

  // What ListFolder (with `whole`: ListWholeFolder of the folder text's
  // folder) would list after the renames so far. A folder that they renamed
  // away, or a folder above it, is Missing, as its path then leads nowhere
  // (on a case-insensitive volume a change of case alone leaves the old
  // spelling leading to it); a folder that they renamed into the path is
  // listed where it stands now, under the path it would have. Entries
  // renamed away are left out, entries renamed to a name that the listing
  // takes are added at its end.
  [[nodiscard]] std::vector<Listed> List(const std::string& folderText, const NameSet* only, bool whole,
                                         FolderState& state, int& error) const;

 private:
  void Enter(std::string folder);
  bool Exists(const std::string& oldNow, const std::string& newPath, const std::string& newNow, bool& sameEntry);
  // Where the entry at `path`, as the renames so far have named it, stands
  // now; false when they renamed it, or a folder above it, away.
  bool Locate(std::string_view path, std::string& now) const;
  void Adjust(std::vector<Listed>& entries, const std::string& folderText, const NameSet* only) const;

  std::unordered_set<std::string> vacated_;
  std::unordered_set<std::string> occupied_;
  std::unordered_map<std::string, std::string> origin_;  // a path renamed to -> where that entry stands now
  std::unordered_set<std::string> away_;                 // paths renamed away, which lead nowhere now
  NameSet exactNames_;  // the folder's names, read on first need
  bool listed_ = false;
  std::string folder_ = std::string(1, '\0');
  std::string folderNow_;  // where folder_ stands now
  SysResult access_;
  std::size_t maxName_ = 0;
};

}  // namespace quor
