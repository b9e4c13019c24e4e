#include "engine/rename/Planner.h"

#include <algorithm>
#include <string_view>

#include "engine/files/File.h"
#include "system/EntryIdentity.h"
#include "system/ExactNames.h"
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

ListingIndex::ListingIndex(const std::vector<Listed>& entries) {
  // Half full at most, so that a miss ends soon.
  std::size_t size = 16;
  while (size < 2 * entries.size()) size *= 2;
  slots_.assign(size, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::size_t slot = std::hash<std::string_view>()(entries[i].Name) & (size - 1);
    while (slots_[slot] != 0) slot = (slot + 1) & (size - 1);
    slots_[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

bool ListingIndex::Holds(const std::vector<Listed>& entries, std::string_view name) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>()(name) & mask; slots_[slot] != 0; slot = (slot + 1) & mask)
    if (entries[slots_[slot] - 1].Name == name) return true;
  return false;
}

RenameResult SimulatedFolder::Rename(const std::string& oldPath, const std::string& newPath) {
  const std::string_view folder = FolderView(oldPath);
  if (folder != folder_) Enter(std::string(folder));
  if (access_.Error() == EROFS) return RenameResult(EROFS);
  if (FileNameView(newPath).size() > maxName_) return RenameResult(ENAMETOOLONG);
  // The system sees the entries where they stand now: an entry that an
  // earlier rename gave this name stands under its old one.
  std::string located;
  const auto moved = follows_ ? origin_.find(oldPath) : origin_.end();
  if (follows_) located = moved != origin_.end() ? moved->second : folderNow_ + std::string(FileNameView(oldPath));
  const std::string& oldNow = follows_ ? located : oldPath;
  bool sameEntry = false;
  if (Exists(oldNow, newPath, sameEntry)) return RenameResult(EEXIST);
  if (!access_) return RenameResult(access_.Error());
  moved_.insert_or_assign(oldPath, false);
  moved_.insert_or_assign(newPath, true);
  if (!follows_) return {};
  // For the folder texts after this run: the old path leads nowhere, unless
  // only its case changed on a volume that ignores case; the new one leads
  // to the entry where it stands.
  if (moved != origin_.end()) origin_.erase(moved);
  if (!sameEntry) away_.insert(oldPath);
  away_.erase(newPath);
  origin_.insert_or_assign(newPath, std::move(located));
  return {};
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
  if (moved_.empty()) return;
  std::erase_if(entries, [&](const Listed& e) {
    const auto it = moved_.find(e.FullPath);
    return it != moved_.end() && !it->second;
  });
  const std::string folder = FolderOfText(folderText);
  const std::string mask = MaskOfText(folderText);
  std::vector<std::string> added;
  for (const auto& move : moved_) {
    const std::string& path = move.first;
    if (!move.second) continue;  // vacated
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

void SimulatedFolder::Know(const std::string& prefix, const std::vector<Listed>& wholeFolder,
                           const ListingIndex& index, std::size_t renames) {
  knownPrefix_ = prefix;
  known_ = &wholeFolder;
  knownIndex_ = &index;
  moved_.reserve(moved_.size() + 2 * renames);
  // Entered again, to see whether the known folder is the one entered.
  folder_ = std::string(1, '\0');
}

void SimulatedFolder::Forget() {
  known_ = nullptr;
  knownIndex_ = nullptr;
  exact_ = false;
}

bool SimulatedFolder::KnowsFolder() const {
  return known_ && knownPrefix_ == folder_;
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
  exact_ = KnowsFolder() && LooksUpExactNames(folderNow_);
}

bool SimulatedFolder::Exists(const std::string& oldNow, const std::string& newPath, bool& sameEntry) {
  if (const auto it = moved_.find(newPath); it != moved_.end()) return it->second;
  // Where only the exact bytes find an entry, the listing knows them all.
  if (exact_) return knownIndex_->Holds(*known_, FileNameView(newPath));
  const std::string newNow = follows_ ? folderNow_ + std::string(FileNameView(newPath)) : newPath;
  if (!EntryExists(newNow)) return false;
  // The same rule as the real rename: only this very entry under another
  // spelling is no obstacle. The folder's exact names are read once.
  sameEntry = SameEntryByAnotherSpelling(oldNow, newNow, [this](std::string_view name) {
    if (KnowsFolder()) return knownIndex_->Holds(*known_, name);
    if (!listed_) {
      exactNames_ = ListEntryNames(folderNow_);
      listed_ = true;
    }
    return exactNames_.count(std::string(name)) != 0;
  });
  return !sameEntry;
}

}  // namespace quor
