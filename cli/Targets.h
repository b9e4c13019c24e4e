#pragma once

// What the PATHs of a quor-rename command line ask to rename: one run per
// folder, folder text or group of single entries, in the order given.

#include <map>
#include <string>
#include <vector>

#include "engine/files/Findfile.h"

namespace quor::cli {

// What one run takes: a folder text as the window's folder field holds it,
// and for single entries their names.
struct Target {
  std::string FolderText;
  NameSet Names;  // empty: every entry the folder text lists
  std::map<std::string, std::string> Typed;  // a name of Names -> the PATH as typed, for messages
};

// Works out the runs: a folder PATH is every entry of it (with `themselves`:
// the folder itself, an entry of its parent); a PATH whose last name holds
// '*' or '?' a mask, as in the window's folder field (a file that is
// literally so named matches it too; a folder so named is refused, since
// the folder text would read it as a mask); any other PATH one entry. A
// PATH that `isEntry` marks (index by index; none when it is shorter) is
// always one entry, whatever it names. Single entries of one folder make
// one run. `current` is "" when the system cannot tell it. Returns the
// problems of the PATHs that cannot be had, in words; when there is one,
// nothing at all may be renamed.
[[nodiscard]] std::vector<std::string> ResolveTargets(const std::vector<std::string>& paths, bool themselves,
                                                      const std::string& current, std::vector<Target>& targets,
                                                      const std::vector<char>& isEntry = {});

// What the history shows as a run's folder: the folder text, or the one
// entry a recorder handed over.
[[nodiscard]] std::string RecordText(const Target& target);

}  // namespace quor::cli
