#include "cli/Targets.h"

#include <cerrno>
#include <string_view>

#include "engine/files/File.h"
#include "system/SystemOps.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor::cli {

std::vector<std::string> ResolveTargets(const std::vector<std::string>& paths, bool themselves,
                                        const std::string& current, std::vector<Target>& targets,
                                        const std::vector<char>& isEntry) {
  std::vector<std::string> problems;
  std::map<std::string, std::size_t> entryRuns;  // folder -> its run of single entries
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    const bool entry = themselves || (i < isEntry.size() && isEntry[i] != 0);
    const std::string shown = DisplayPath(path);
    if (!path.starts_with(PathDelim) && current.empty()) {
      problems.push_back("the current folder cannot be told, so " + shown + " means nothing");
      continue;
    }
    const std::string full = AbsolutePath(path, current);
    // A folder that cannot be read would list nothing, and the run would
    // look like one that had nothing to do.
    const auto readable = [&](const std::string& folder) {
      const SysResult listed = CanListFolder(folder);
      if (!listed) problems.push_back("cannot read the folder " + DisplayPath(folder) + ": " + listed.Message());
      return static_cast<bool>(listed);
    };
    // The engine reads a '*' or '?' in a folder text as a mask: a folder
    // whose own name holds one cannot be named, and its parent's entries
    // would be renamed instead.
    const auto literal = [&](const std::string& folder) {
      if (!HasMask(folder)) return true;
      problems.push_back("cannot take " + shown + ": a '*' or '?' in the name of its folder would be read as a mask");
      return false;
    };
    const std::string_view trimmed = WithoutTrailingSeparators(full);
    const std::string_view name = FileNameView(trimmed);
    if (!entry && HasMask(name) && trimmed == full && !DirectoryExists(full)) {
      // A mask, as in the window's folder field; a file of that very name is
      // one of the entries it matches. (A folder of that name is refused
      // below: its entries and the mask's are not the same.)
      const std::string folder = ParentFolder(trimmed);
      if (!DirectoryExists(folder)) {
        problems.push_back("cannot find " + shown + ": " + SysResult(ENOENT).Message());
      } else if (literal(folder) && readable(folder)) {
        targets.push_back({full, {}, {}});
      }
      continue;
    }
    if (!entry && DirectoryExists(full)) {
      if (literal(full) && readable(full)) targets.push_back({full, {}, {}});
      continue;
    }
    if (const SysResult there = LookUpEntry(full); !there) {
      problems.push_back("cannot find " + shown + ": " + there.Message());
      continue;
    }
    // The entry itself, in its folder.
    if (name.empty() || name == "." || name == "..") {
      problems.push_back("cannot rename " + shown + " itself");
      continue;
    }
    const std::string folder = ParentFolder(trimmed);
    if (!literal(folder) || !readable(folder)) continue;
    auto [it, added] = entryRuns.emplace(folder, targets.size());
    if (added) targets.push_back({folder, {}, {}});
    targets[it->second].Names.emplace(name);
    targets[it->second].Typed.emplace(std::string(name), path);
  }
  return problems;
}

std::string RecordText(const Target& target) {
  if (target.Names.size() != 1) return target.FolderText;
  return JoinPath(target.FolderText, *target.Names.begin());
}

}  // namespace quor::cli
