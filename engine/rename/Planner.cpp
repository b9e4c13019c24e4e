#include "engine/rename/Planner.h"

#include <algorithm>
#include <string_view>

#include "engine/files/File.h"
#include "system/EntryIdentity.h"
#include "system/Exception.h"
#include "text/Bytes.h"
#include "text/DisplayText.h"
#include "text/TextConvert.h"
#include "text/TextOps.h"

namespace quor {

namespace {

using Kind = Refusal::Kind;

// The part of a name before its extension.
std::string_view StemOf(std::string_view name, Codepage cp) {
  return name.substr(0, name.size() - ExtractFileExt(name, cp).size());
}

// The new path of an entry under `name`: the folder part stays byte for
// byte as listed (FullPath ends in the name). False, the step Unchanged,
// when that is the path it has and nothing refuses it.
bool Place(Step& step, const Listed& entry, std::string_view name, bool plain, bool refused) {
  const std::string_view folder =
      std::string_view(entry.FullPath).substr(0, entry.FullPath.size() - entry.Name.size());
  step.NewPath.reserve(folder.size() + name.size());
  step.NewPath.append(folder).append(name);
  if (step.NewPath == entry.FullPath && !refused) {
    step.Unchanged = true;
    return false;
  }
  step.Plain = plain && IsPlainText(step.NewName);
  return true;
}

}  // namespace

Planner::Planner(const RenameOptions& options) : rules_(options), lowerExt_(options.LowerExt) {
  // A list with a regex row that does not compile renames nothing at all.
  if (!rules_.Errors().empty()) throw Exception(PatternErrorText(rules_.Errors().front()));
}

Step Planner::Plan(const Listed& entry) const {
  Step step;
  Codepage cp = Codepage::Utf8;
  // Plain text is UTF-8, as nearly every name is: one scan answers both.
  const bool plain = IsPlainText(entry.Name);
  const bool readable = plain || NameCodepage(entry.Name, cp);
  const RuleResult ruled = rules_.Apply(entry.Name, cp, step.NewName);
  // A search cut short leaves no new name; the line shows the name as it is.
  if (ruled.Failure == RuleFailure::MatchLimit) step.NewName = entry.Name;
  // The line shows the name that the entry will bear: trailing blanks cut.
  step.NewName.resize(TrimRightView(step.NewName).size());
  const std::string_view name = step.NewName;
  if (!Place(step, entry, name, plain, static_cast<bool>(ruled))) return step;
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

Step Planner::PlanCompanion(const Listed& entry, std::size_t mainLength, std::string_view mainNewName,
                             bool mainRefused) const {
  Step step;
  Codepage cp = Codepage::Utf8;
  const bool plain = IsPlainText(entry.Name);
  const bool readable = plain || NameCodepage(entry.Name, cp);
  const std::string_view suffix = std::string_view(entry.Name).substr(mainLength);
  if (mainRefused) {
    // Its line shows its own name: no rule gave it another.
    step.NewName = entry.Name;
  } else {
    step.NewName.reserve(mainNewName.size() + suffix.size());
    step.NewName.append(mainNewName);
    if (lowerExt_)
      step.NewName += AnsiLowerCase(suffix, cp);
    else
      step.NewName.append(suffix);
  }
  if (!Place(step, entry, step.NewName, plain, mainRefused)) return step;
  if (!readable)
    step.Why.What = Kind::NotInCodepage;
  else if (mainRefused)
    step.Why.What = Kind::MainNotRenamed;
  else if (HasNulByte(step.NewName))
    step.Why.What = Kind::NulByte;
  return step;
}

RenameResult SimulatedFolder::Rename(const std::string& oldPath, const std::string& newPath) {
  const std::string_view folder = FolderView(oldPath);
  if (folder != folder_) Enter(std::string(folder));
  if (access_.Error() == EROFS) return RenameResult(EROFS);
  if (FileNameView(newPath).size() > maxName_) return RenameResult(ENAMETOOLONG);
  // The system sees the entries where they stand now: an entry that an
  // earlier rename gave this name stands under its old one.
  const auto moved = origin_.find(oldPath);
  std::string oldNow = moved != origin_.end() ? moved->second : folderNow_ + std::string(FileNameView(oldPath));
  const std::string newNow = folderNow_ + std::string(FileNameView(newPath));
  bool sameEntry = false;
  if (Exists(oldNow, newPath, newNow, sameEntry)) return RenameResult(EEXIST);
  if (!access_) return RenameResult(access_.Error());
  vacated_.insert(oldPath);
  occupied_.erase(oldPath);
  occupied_.insert(newPath);
  vacated_.erase(newPath);
  // For the PATHs after this run: the old path leads nowhere, unless only
  // its case changed on a volume that ignores case; the new one leads to
  // the entry where it stands.
  if (moved != origin_.end()) origin_.erase(moved);
  if (!sameEntry) away_.insert(oldPath);
  away_.erase(newPath);
  origin_.insert_or_assign(newPath, std::move(oldNow));
  return {};
}

std::vector<Listed> SimulatedFolder::List(const std::string& folderText, const NameSet* only, bool whole,
                                          FolderState& state, int& error) const {
  const std::string folder = whole ? folderText : FolderOfText(folderText);
  std::string now;
  if (!Locate(folder, now)) {
    state = folder.starts_with(PathDelim) ? FolderState::Missing : FolderState::NotAbsolute;
    return {};
  }
  std::vector<Listed> entries;
  if (now == folder) {
    entries = whole ? ListWholeFolder(folder, state, error) : ListFolder(folderText, only, state, error);
  } else {
    // Listed where it stands, under the path it would have.
    const std::string text = now + folderText.substr(folder.size());
    entries = whole ? ListWholeFolder(text, state, error) : ListFolder(text, only, state, error);
    for (Listed& e : entries) e.FullPath = folder + e.FullPath.substr(now.size());
  }
  if (whole)
    Adjust(entries, JoinPath(folder, "*.*"), nullptr);
  else
    Adjust(entries, folderText, only);
  return entries;
}

bool SimulatedFolder::Locate(std::string_view path, std::string& now) const {
  now.assign(path);
  if (origin_.empty() && away_.empty()) return true;
  // The deepest folder that a rename touched decides.
  std::string_view at = WithoutTrailingSeparators(path);
  std::string key;
  for (;;) {
    key.assign(at);
    if (const auto it = origin_.find(key); it != origin_.end()) {
      now = it->second;
      now.append(path.substr(at.size()));
      return true;
    }
    if (away_.count(key) != 0) return false;
    const std::string_view up = ContainingFolder(at);
    if (up.empty() || up.size() >= at.size()) return true;
    at = up;
  }
}

void SimulatedFolder::Adjust(std::vector<Listed>& entries, const std::string& folderText, const NameSet* only) const {
  if (vacated_.empty() && occupied_.empty()) return;
  std::erase_if(entries, [&](const Listed& e) { return vacated_.count(e.FullPath) != 0; });
  const std::string folder = FolderOfText(folderText);
  const std::string mask = MaskOfText(folderText);
  std::vector<std::string> added;
  for (const std::string& path : occupied_) {
    if (ContainingFolder(path) != WithoutTrailingSeparators(folder)) continue;
    const std::string name(FileNameView(path));
    if (!SelectsName(name, mask, only)) continue;
    if (std::none_of(entries.begin(), entries.end(), [&](const Listed& e) { return e.FullPath == path; }))
      added.push_back(path);
  }
  std::sort(added.begin(), added.end());
  for (std::string& path : added) {
    std::string name(FileNameView(path));
    entries.push_back({std::move(path), std::move(name), 0});
  }
}

void SimulatedFolder::Enter(std::string folder) {
  folder_ = std::move(folder);
  // A folder that earlier renames took away lists nothing, so nothing in
  // it comes here.
  if (!Locate(folder_, folderNow_)) folderNow_ = folder_;
  listed_ = false;
  exactNames_.clear();
  access_ = CanCreateIn(folderNow_);
  maxName_ = MaxNameLength(folderNow_);
}

bool SimulatedFolder::Exists(const std::string& oldNow, const std::string& newPath, const std::string& newNow,
                             bool& sameEntry) {
  if (occupied_.count(newPath) != 0) return true;
  if (vacated_.count(newPath) != 0) return false;
  if (!EntryExists(newNow)) return false;
  // The same rule as the real rename: only this very entry under another
  // spelling is no obstacle. The folder's exact names are read once.
  sameEntry = SameEntryByAnotherSpelling(oldNow, newNow, [this](std::string_view name) {
    if (!listed_) {
      exactNames_ = ListEntryNames(folderNow_);
      listed_ = true;
    }
    return exactNames_.count(std::string(name)) != 0;
  });
  return !sameEntry;
}

}  // namespace quor
