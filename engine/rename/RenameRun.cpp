#include "engine/rename/RenameRun.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_set>

#include "engine/files/File.h"
#include "engine/files/Findfile.h"
#include "system/EntryIdentity.h"
#include "system/Exception.h"
#include "system/SystemOps.h"
#include "text/Bytes.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using Kind = Refusal::Kind;

struct Listed {
  std::string FullPath;
  std::string Name;
  std::uint64_t Inode = 0;
};

// Renames planned, put on record, then tried, this many at a time.
constexpr std::size_t kBatch = 512;

// The whole listing first: renaming while the folder is read can hand out a
// renamed entry again, and the rules would run on it twice.
std::vector<Listed> ListFolder(const std::string& folderText, const NameSet* only, RenameOutcome& outcome) {
  FolderState& state = outcome.Folder;
  std::vector<Listed> entries;
  // Anything but an absolute path would list whatever folder the program
  // happens to run in, which the user never chose.
  if (folderText.empty() || folderText.front() != PathDelim) {
    state = FolderState::NotAbsolute;
    return entries;
  }
  TFindFile find;
  find.OnlyNames = only;
  find.First(MakeSearchPattern(folderText));
  while (find.Next()) entries.push_back({find.FullPath, find.cFileName, find.Inode});
  if (!entries.empty()) return entries;
  // Nothing listed: an empty folder, or one that would not be read, which
  // must not pass for a folder with nothing to rename.
  const std::string folder = FolderOfText(folderText);
  if (!DirectoryExists(folder)) {
    state = FolderState::Missing;
  } else if (const SysResult listable = CanListFolder(folder); !listable) {
    state = FolderState::Unreadable;
    outcome.FolderError = listable.Error();
  }
  return entries;
}

// The part of a name before its extension.
std::string_view StemOf(std::string_view name, Codepage cp) {
  return name.substr(0, name.size() - ExtractFileExt(name, cp).size());
}

// What the run does with one entry.
struct Step {
  bool Unchanged = false;  // no line at all
  bool Plain = false;      // both names plain text: shown and recorded as they are
  Refusal Why;             // refused before any system call
  std::string NewName;     // as the rules returned it
  std::string NewPath;
};

class Planner {
 public:
  // A list with a regex row that does not compile renames nothing at all.
  explicit Planner(const RenameOptions& options) : rules_(options) {
    if (!rules_.Errors().empty()) throw Exception(PatternErrorText(rules_.Errors().front()));
  }

  Step Plan(const Listed& entry) const {
    Step step;
    Codepage cp = Codepage::Utf8;
    // Plain text is UTF-8, as nearly every name is: one scan answers both.
    const bool plain = IsPlainText(entry.Name);
    const bool readable = plain || NameCodepage(entry.Name, cp);
    const RuleResult ruled = rules_.Apply(entry.Name, cp, step.NewName);
    // A search cut short leaves no new name; the line shows the name as it is.
    if (ruled.Failure == RuleFailure::MatchLimit) step.NewName = entry.Name;
    // The folder part stays byte for byte as listed; FullPath ends in the name.
    const std::string_view folder =
        std::string_view(entry.FullPath).substr(0, entry.FullPath.size() - entry.Name.size());
    const std::string_view name = TrimRightView(step.NewName);
    step.NewPath.reserve(folder.size() + name.size());
    step.NewPath.append(folder).append(name);
    if (step.NewPath == entry.FullPath && !ruled) {
      step.Unchanged = true;
      return step;
    }
    step.Plain = plain && IsPlainText(step.NewName);
    // A new name must stay a name of the listed folder, and a name whose
    // bytes fit no code page is never rewritten.
    if (!readable)
      step.Why.What = Kind::NotInCodepage;
    else if (ruled)
      step.Why = RefusalOf(ruled);
    else if (name.empty())
      step.Why.What = Kind::EmptyName;
    else if (name.find(PathDelim) != std::string_view::npos)
      step.Why.What = Kind::Separator;
    else if (name == "." || name == "..")
      step.Why.What = Kind::DotName;
    else if (HasNulByte(name))
      step.Why.What = Kind::NulByte;
    else if (StemOf(name, cp).empty() && !StemOf(entry.Name, cp).empty())
      step.Why.What = Kind::OnlyExtension;  // "｢」.MP4" -> ".mp4": the file would seem gone
    return step;
  }

 private:
  CompiledRules rules_;
};

// The run's renames answered as the system would answer them, against the
// folder as it stands and the renames before them, touching nothing. The
// errors come in the order the system checks: a read-only file system, a
// name too long, an existing entry, then permission.
class SimulatedFolder {
 public:
  RenameResult Rename(const std::string& oldPath, const std::string& newPath) {
    const std::string_view folder = FolderView(oldPath);
    if (folder != folder_) Enter(std::string(folder));
    if (access_.Error() == EROFS) return RenameResult(EROFS);
    if (FileNameView(newPath).size() > maxName_) return RenameResult(ENAMETOOLONG);
    if (Exists(oldPath, newPath)) return RenameResult(EEXIST);
    if (!access_) return RenameResult(access_.Error());
    vacated_.insert(oldPath);
    occupied_.erase(oldPath);
    occupied_.insert(newPath);
    vacated_.erase(newPath);
    return {};
  }

 private:
  void Enter(std::string folder) {
    folder_ = std::move(folder);
    listed_ = false;
    exactNames_.clear();
    access_ = CanCreateIn(folder_);
    maxName_ = MaxNameLength(folder_);
  }

  bool Exists(const std::string& oldPath, const std::string& newPath) {
    if (occupied_.count(newPath) != 0) return true;
    if (vacated_.count(newPath) != 0) return false;
    if (!EntryExists(newPath)) return false;
    // The same rule as the real rename: only this very entry under another
    // spelling is no obstacle. The folder's exact names are read once.
    return !SameEntryByAnotherSpelling(oldPath, newPath, [this](std::string_view name) {
      if (!listed_) {
        exactNames_ = ListEntryNames(folder_);
        listed_ = true;
      }
      return exactNames_.count(std::string(name)) != 0;
    });
  }

  std::unordered_set<std::string> vacated_;
  std::unordered_set<std::string> occupied_;
  NameSet exactNames_;  // the folder's names, read on first need
  bool listed_ = false;
  std::string folder_ = std::string(1, '\0');
  SysResult access_;
  std::size_t maxName_ = 0;
};

// Ends a run's record with how the run ended and its counts.
template <typename Outcome>
void CloseRecord(JournalWriter* journal, const Outcome& outcome) {
  if (!journal) return;
  std::size_t errors = 0;
  for (const auto& line : outcome.Lines) errors += line.Ok ? 0 : 1;
  journal->Finish(outcome.Failure ? RunEnd::Failed : outcome.Cancelled ? RunEnd::Cancelled : RunEnd::Finished,
                  outcome.Lines.size() - errors, errors);
}

// A rename whose temporary name, should it take one, goes on record first.
RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const std::string& from, const std::string& to) {
  if (!journal) return RenameFile(from, to);
  return RenameFile(from, to, [journal, seq](const std::string& temp) { journal->TempRoute(seq, temp); });
}

// The one walk behind the run and the preview: `rename` is the real rename
// or the simulated one, and everything else is shared, so that the two
// cannot drift apart. With a journal, each batch of renames is on record
// before the first of them is tried.
template <typename RenameFn>
RenameOutcome Execute(const std::string& folderText, const NameSet* only, const RenameOptions& options,
                      const ProgressFn& progress, RenameFn&& rename, JournalWriter* journal) {
  RenameOutcome outcome;
  std::size_t tried = 0;  // entries handled so far
  try {
    const std::vector<Listed> entries = ListFolder(folderText, only, outcome);
    outcome.Listed = entries.size();
    const Planner planner(options);
    std::vector<Step> steps;
    for (std::size_t start = 0; start < entries.size() && !outcome.Cancelled; start = tried) {
      const std::size_t end = std::min(start + kBatch, entries.size());
      steps.clear();
      for (std::size_t i = start; i < end; ++i) {
        steps.push_back(planner.Plan(entries[i]));
        const Step& step = steps.back();
        if (journal && !step.Unchanged && !step.Why)
          journal->Intend(i, entries[i].Inode, entries[i].FullPath, step.NewPath, step.Plain);
      }
      if (journal) journal->FlushIntents();
      for (std::size_t i = start; i < end; ++i) {
        const Listed& entry = entries[i];
        Step& step = steps[i - start];
        if (!step.Unchanged) {
          Refusal why = step.Why;
          if (!why) {
            const RenameResult result = rename(i, entry.FullPath, step.NewPath);
            why = RefusalOf(result);
            if (journal && !result) journal->Refused(i, result.Error());
          }
          const bool ok = !why;
          outcome.Lines.push_back({ok, std::move(step.NewName), entry.Name, std::move(why), step.Plain});
        }
        tried = i + 1;
        if (progress && !progress(i + 1, entries.size())) {
          outcome.Cancelled = i + 1 < entries.size();
          break;
        }
      }
      if (journal && tried > 0) journal->Checkpoint(tried - 1);
    }
  } catch (...) {
    // Whatever ended the run, the renames done so far keep their lines.
    outcome.Failure = std::current_exception();
    if (journal && tried > 0) journal->Checkpoint(tried - 1);
  }
  CloseRecord(journal, outcome);
  return outcome;
}

}  // namespace

RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress, JournalWriter* journal, const NameSet* only) {
  undo.OldPaths.clear();
  undo.NewPaths.clear();
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath) {
        RenameResult result = RenameOnRecord(journal, seq, oldPath, newPath);
        if (result) {
          undo.OldPaths.push_back(oldPath);
          undo.NewPaths.push_back(newPath);
        }
        return result;
      },
      journal);
}

RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress, const NameSet* only) {
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t seq, const std::string& oldPath, const std::string& newPath) {
        return RenameOnRecord(&journal, seq, oldPath, newPath);
      },
      &journal);
}

RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress, const NameSet* only) {
  SimulatedFolder folder;
  return Execute(
      folderText, only, options, progress,
      [&](std::size_t, const std::string& oldPath, const std::string& newPath) { return folder.Rename(oldPath, newPath); },
      nullptr);
}

UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress, JournalWriter* journal) {
  UndoOutcome outcome;
  const std::size_t total = std::min(undo.OldPaths.size(), undo.NewPaths.size());
  std::vector<std::size_t> refused;  // kept for another try, in run order once reversed
  std::size_t next = total;          // entries [0, next) are not replayed yet
  std::size_t done = 0;              // replayed, and the journal's number of the next one
  try {
    while (next > 0 && !outcome.Cancelled) {
      // The next batch, last rename first, on record before it is tried.
      const std::size_t batchEnd = next > kBatch ? next - kBatch : 0;
      if (journal) {
        for (std::size_t i = next, seq = done; i-- > batchEnd; ++seq)
          if (!undo.OldPaths[i].empty() && !undo.NewPaths[i].empty())
            journal->Intend(seq, 0, undo.NewPaths[i], undo.OldPaths[i]);
        journal->FlushIntents();
      }
      while (next > batchEnd) {
        const std::size_t i = --next;
        const std::size_t seq = done;
        const std::string& oldPath = undo.OldPaths[i];
        const std::string& newPath = undo.NewPaths[i];
        if (!oldPath.empty() && !newPath.empty()) {
          // The rename itself finds out whether the entry is there, so the
          // common case costs one system call.
          const RenameResult result = RenameOnRecord(journal, seq, newPath, oldPath);
          if (journal && !result) journal->Refused(seq, result.Error());
          Refusal why = RefusalOf(result);
          if (why.What == Kind::Vanished && EntryExists(newPath)) {
            why.What = Kind::FolderGone;
            refused.push_back(i);
          } else if (why && why.What != Kind::Vanished) {
            refused.push_back(i);
          }
          const bool ok = !why;
          outcome.Lines.push_back({ok, oldPath, newPath, std::move(why)});
        }
        ++done;
        if (progress && !progress(done, total) && next > 0) {
          outcome.Cancelled = true;
          break;
        }
      }
      if (journal && done > 0) journal->Checkpoint(done - 1);
    }
  } catch (...) {
    outcome.Failure = std::current_exception();
    if (journal && done > 0) journal->Checkpoint(done - 1);
  }
  CloseRecord(journal, outcome);
  // What was not replayed, then what was refused, each in run order.
  std::vector<std::string> oldPaths(undo.OldPaths.begin(), undo.OldPaths.begin() + static_cast<std::ptrdiff_t>(next));
  std::vector<std::string> newPaths(undo.NewPaths.begin(), undo.NewPaths.begin() + static_cast<std::ptrdiff_t>(next));
  for (auto it = refused.rbegin(); it != refused.rend(); ++it) {
    oldPaths.push_back(std::move(undo.OldPaths[*it]));
    newPaths.push_back(std::move(undo.NewPaths[*it]));
  }
  undo.OldPaths = std::move(oldPaths);
  undo.NewPaths = std::move(newPaths);
  return outcome;
}

std::string FormatLine(const RenameLine& line) {
  std::string text = line.Ok ? "Rename\t" : "Error\t";
  text.reserve(text.size() + line.NewName.size() + line.OldName.size() + 8);
  if (line.Plain) {
    text += line.NewName;
    text += "\t\xE2\x86\x90\t";
    text += line.OldName;
  } else {
    text += DisplayName(line.NewName);
    text += "\t\xE2\x86\x90\t";
    text += DisplayName(line.OldName);
  }
  if (!line.Ok) {
    text += '\t';
    text += RefusalText(line.Why);
  }
  return text;
}

std::string FormatLine(const UndoLine& line) {
  std::string text = line.Ok ? "Undo\t" : "Error\t";
  text.reserve(text.size() + line.OldPath.size() + line.NewPath.size() + 8);
  AppendDisplayPath(text, line.OldPath);
  text += "\t\xE2\x86\x90\t";
  AppendDisplayPath(text, line.NewPath);
  if (!line.Ok) {
    text += '\t';
    text += RefusalText(line.Why);
  }
  return text;
}

}  // namespace quor
