#include "engine/rename/RenameRun.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_set>

#include "engine/files/File.h"
#include "engine/files/Findfile.h"
#include "system/EntryIdentity.h"
#include "system/SystemOps.h"
#include "text/TextConvert.h"
#include "text/Bytes.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor {

namespace {

struct Listed {
  std::string FullPath;
  std::string Name;
};

// The whole listing first: renaming while the folder is read can hand out a
// renamed entry again, and the rules would run on it twice.
std::vector<Listed> ListFolder(const std::string& folderText) {
  std::vector<Listed> entries;
  // An empty text would list whatever the current folder happens to be.
  if (folderText.empty()) return entries;
  TFindFile find;
  find.First(MakeSearchPattern(folderText));
  while (find.Next()) entries.push_back({find.FullPath, find.cFileName});
  return entries;
}

// The options for names read in CP932: the replace pairs in CP932 bytes, and
// without the pairs that CP932 cannot hold.
RenameOptions Cp932Options(const RenameOptions& options) {
  RenameOptions converted = options;
  converted.ReplaceList.clear();
  for (const ReplacePair& pair : options.ReplaceList) {
    ReplacePair p;
    if (ConvertText(pair.Old, Codepage::Utf8, Codepage::Cp932, p.Old) &&
        ConvertText(pair.New, Codepage::Utf8, Codepage::Cp932, p.New))
      converted.ReplaceList.push_back(std::move(p));
  }
  return converted;
}

// What the run does with one entry.
struct Step {
  bool Unchanged = false;  // no line at all
  bool Refused = false;    // an "Error" line without a rename
  std::string NewName;     // as the rules returned it
  std::string NewPath;
};

class Planner {
 public:
  explicit Planner(const RenameOptions& options) : utf8_(options), cp932_(Cp932Options(options)) {}

  Step Plan(const Listed& entry) const {
    Step step;
    Codepage cp = Codepage::Utf8;
    const bool readable = NameCodepage(entry.Name, cp);
    step.NewName = ApplyNameRules(entry.Name, cp == Codepage::Cp932 ? cp932_ : utf8_, cp);
    // The folder part stays byte for byte as listed; FullPath ends in the name.
    const std::string_view folder =
        std::string_view(entry.FullPath).substr(0, entry.FullPath.size() - entry.Name.size());
    const std::string_view name = TrimRightView(step.NewName);
    step.NewPath.reserve(folder.size() + name.size());
    step.NewPath.append(folder).append(name);
    if (step.NewPath == entry.FullPath) {
      step.Unchanged = true;
      return step;
    }
    // A new name must stay a name of the listed folder, and a name whose
    // bytes fit no code page is never rewritten.
    step.Refused = !readable || name.empty() || name == "." || name == ".." ||
                   name.find('/') != std::string::npos || name.find('\0') != std::string::npos;
    return step;
  }

 private:
  RenameOptions utf8_;
  RenameOptions cp932_;
};

// The run's renames checked against the folder as it stands and against the
// renames before them, without touching anything.
class SimulatedFolder {
 public:
  bool Rename(const std::string& oldPath, const std::string& newPath, std::string_view newName) {
    const std::string folder = oldPath.substr(0, oldPath.size() - FileNameView(oldPath).size());
    if (folder != folder_) {
      folder_ = folder;
      listed_ = false;
      exactNames_.clear();
      writable_ = IsWritableDirectory(folder.empty() ? "." : folder);
      maxName_ = MaxNameLength(folder);
    }
    if (!writable_ || newName.size() > maxName_ || Exists(oldPath, newPath)) return false;
    vacated_.insert(oldPath);
    occupied_.erase(oldPath);
    occupied_.insert(newPath);
    vacated_.erase(newPath);
    return true;
  }

 private:
  bool Exists(const std::string& oldPath, const std::string& newPath) {
    if (occupied_.count(newPath) != 0) return true;
    if (vacated_.count(newPath) != 0) return false;
    if (!EntryExists(newPath) || SameEntry(oldPath, newPath)) return false;
    // On a case-insensitive volume the new name of a case-only rename finds
    // the entry itself, which is no obstacle; some drivers even give each
    // spelling its own inode, so ask whether the exact name is listed.
    const std::string_view oldName = FileNameView(oldPath);
    const std::string_view newName = FileNameView(newPath);
    if (oldName.size() != newName.size() ||
        AnsiUpperCase(oldName, Codepage::Utf8) != AnsiUpperCase(newName, Codepage::Utf8))
      return true;
    if (!listed_) {
      TFindFile find;
      find.First(MakeSearchPattern(folder_.empty() ? "." : folder_));
      while (find.Next()) exactNames_.insert(find.cFileName);
      listed_ = true;
    }
    return exactNames_.count(std::string(newName)) != 0;
  }

  std::unordered_set<std::string> vacated_;
  std::unordered_set<std::string> occupied_;
  std::unordered_set<std::string> exactNames_;  // the folder's names, read on first need
  bool listed_ = false;
  std::string folder_ = std::string(1, '\0');
  bool writable_ = false;
  std::size_t maxName_ = 0;
};

template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const RenameOptions& options, const ProgressFn& progress,
                      RenameFn&& rename) {
  RenameOutcome outcome;
  const std::vector<Listed> entries = ListFolder(folderText);
  outcome.Listed = entries.size();
  const Planner planner(options);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Listed& entry = entries[i];
    Step step = planner.Plan(entry);
    if (!step.Unchanged) {
      RenameResult result = step.Refused ? RenameResult(EINVAL) : rename(entry.FullPath, step.NewPath);
      const bool ok = static_cast<bool>(result);
      outcome.Lines.push_back({ok, std::move(step.NewName), entry.Name, std::move(result)});
    }
    if (progress && !progress(i + 1, entries.size())) {
      outcome.Cancelled = i + 1 < entries.size();
      break;
    }
  }
  return outcome;
}

}  // namespace

RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  return Execute(folderText, options, progress, [&](const std::string& oldPath, const std::string& newPath) {
    RenameResult result = RenameFile(oldPath, newPath);
    if (result) {
      undo.OldPaths.push_back(oldPath);
      undo.NewPaths.push_back(newPath);
    }
    return result;
  });
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress) {
  SimulatedFolder folder;
  return Execute(folderText, options, progress, [&](const std::string& oldPath, const std::string& newPath) {
    return folder.Rename(oldPath, newPath, FileNameView(newPath)) ? RenameResult() : RenameResult(EEXIST);
  });
}

UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress) {
  UndoOutcome outcome;
  const std::size_t total = std::min(undo.OldPaths.size(), undo.NewPaths.size());
  std::size_t done = 0;
  for (std::size_t i = total; i-- > 0;) {
    const std::string& oldPath = undo.OldPaths[i];
    const std::string& newPath = undo.NewPaths[i];
    // An entry deleted or moved since the run is skipped; folders count.
    // The rename itself finds out whether the entry is there, so the common
    // case costs one system call.
    if (!oldPath.empty() && !newPath.empty()) {
      RenameResult result = RenameFile(newPath, oldPath);
      if (result || result.Error() != ENOENT || EntryExists(newPath))
        outcome.Lines.push_back({static_cast<bool>(result), oldPath, newPath, std::move(result)});
    }
    if (progress && !progress(++done, total) && i > 0) {
      // What was not replayed stays for a later Undo.
      undo.OldPaths.resize(i);
      undo.NewPaths.resize(i);
      outcome.Cancelled = true;
      return outcome;
    }
  }
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  return outcome;
}

std::string FormatLine(const RenameLine& line) {
  std::string text = line.Ok ? "Rename\t" : "Error\t";
  text.reserve(text.size() + line.NewName.size() + line.OldName.size() + 8);
  text += DisplayName(line.NewName);
  text += "\t\xE2\x86\x90\t";
  text += DisplayName(line.OldName);
  return text;
}

std::string FormatLine(const UndoLine& line) {
  return (line.Ok ? "Undo\t" : "Error\t") + DisplayPath(line.OldPath) + "\t\xE2\x86\x90\t" +
         DisplayPath(line.NewPath);
}

}  // namespace quor
