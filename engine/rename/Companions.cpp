#include "engine/rename/Companions.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "engine/files/File.h"
#include "system/EntryIdentity.h"
#include "system/OpenFolder.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// The positions of a name's dots that end a main's name: from the last one
// back, none at the start or the end of the name.
template <typename Fn>
bool ForEachMainLength(std::string_view name, Fn&& fn) {
  for (std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0; dot = name.rfind('.', dot - 1)) {
    if (dot + 1 == name.size()) continue;
    if (fn(dot)) return true;
  }
  return false;
}

// Gives the files that come late a main among the listed files: the
// recording that an earlier rename made of the name before one of their
// dots, still under that name and still the entry it renamed.
void FindLateMains(const std::vector<Listed>& all, const std::string& prefix, const std::vector<std::size_t>& candidates,
                   const std::unordered_map<std::string_view, std::size_t>& files,
                   const std::vector<EarlierRename>& renames, std::vector<std::size_t>& mainOf,
                   std::vector<std::vector<std::size_t>>& companions,
                   std::unordered_map<std::size_t, RunOrder::Late>& late) {
  std::unordered_map<std::string_view, std::vector<std::size_t>> byOldName;  // newest first, as given
  for (std::size_t r = 0; r < renames.size(); ++r) byOldName[renames[r].OldName].push_back(r);
  // A main must not follow, however far up, the file that would follow it.
  const auto reaches = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k != kNoMain; k = mainOf[k])
      if (k == to) return true;
    return false;
  };
  IdentityCheck identities;
  std::vector<std::size_t> touched;
  for (const std::size_t i : candidates) {
    const std::string_view name = all[i].Name;
    ForEachMainLength(name, [&](std::size_t length) {
      const auto old = byOldName.find(name.substr(0, length));
      if (old == byOldName.end()) return false;
      for (const std::size_t r : old->second) {
        const auto main = files.find(renames[r].NewName);
        if (main == files.end() || reaches(main->second, i)) continue;
        const Listed& recording = all[main->second];
        if (!identities.Holds(renames[r].Id, prefix + recording.Name)) continue;
        mainOf[i] = main->second;
        companions[main->second].push_back(i);
        touched.push_back(main->second);
        late[i] = {length, recording.Name};
        return true;
      }
      return false;
    });
  }
  // Companions in listing order, the late ones among them.
  for (const std::size_t m : touched) std::sort(companions[m].begin(), companions[m].end());
}

}  // namespace

RunOrder WithCompanions(const std::vector<Listed>& all, const std::vector<char>& selected, const std::string& prefix,
                        const EarlierRenamesFn& earlier) {
  RunOrder order;
  // A companion has two dots at least (X.ts.err); a folder of recordings
  // without any is read once more and no more.
  const auto dots = [](const std::string& name) { return std::count(name.begin(), name.end(), '.'); };
  const bool any = std::any_of(all.begin(), all.end(), [&](const Listed& e) { return !e.IsFolder && dots(e.Name) >= 2; });
  std::vector<std::size_t> mainOf(all.size(), kNoMain);
  std::vector<std::vector<std::size_t>> companions(any ? all.size() : 0);
  std::unordered_map<std::size_t, RunOrder::Late> late;  // by listing position
  if (any) {
    // The files that may have companions: those with an extension. A '.' is
    // never the second byte of a character, in UTF-8 or CP932.
    std::unordered_map<std::string_view, std::size_t> files;
    files.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
      const std::string& name = all[i].Name;
      const std::size_t dot = name.rfind('.');
      if (!all[i].IsFolder && dot != std::string::npos && dot + 1 < name.size()) files.emplace(name, i);
    }
    // On a case-insensitive volume the shared part may differ in case (a
    // repair, a copy): the file system says whether it names the same file.
    // Read only when some name has no exact main.
    std::unordered_map<std::string, std::size_t> folded;
    std::unordered_map<std::string_view, std::size_t> listed;
    const Codepage cp = NativeCodepage();
    const auto sameFileOtherCase = [&](std::string_view other) {
      if (folded.empty()) {
        for (const auto& [name, at] : files) folded.emplace(AnsiUpperCase(name, cp), at);
        for (std::size_t k = 0; k < all.size(); ++k) listed.emplace(all[k].Name, k);
      }
      const auto it = folded.find(AnsiUpperCase(other, cp));
      if (it == folded.end()) return kNoMain;
      const bool same = SameEntryByAnotherSpelling(prefix + all[it->second].Name, prefix + std::string(other),
                                                   [&](std::string_view n) { return listed.count(n) != 0; });
      return same ? it->second : kNoMain;
    };
    // Each file's main: the longest name before one of its dots.
    std::vector<std::size_t> orphans;  // files that may follow a recording by its old name
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].IsFolder) continue;
      const std::string_view name = all[i].Name;
      const bool found = ForEachMainLength(name, [&](std::size_t length) {
        const std::string_view main = name.substr(0, length);
        const auto it = files.find(main);
        std::size_t at = it != files.end() ? it->second : kNoMain;
        // A main has an extension: a name without a dot names none.
        if (at == kNoMain && main.find('.') != std::string_view::npos) at = sameFileOtherCase(main);
        if (at == kNoMain || at == i) return false;
        mainOf[i] = at;
        companions[at].push_back(i);
        return true;
      });
      if (!found && dots(all[i].Name) >= 2) orphans.push_back(i);
    }
    if (earlier && !orphans.empty()) {
      const std::vector<EarlierRename> renames = earlier(std::string(WithoutTrailingSeparators(prefix)));
      if (!renames.empty()) FindLateMains(all, prefix, orphans, files, renames, mainOf, companions, late);
    }
  }
  // A late file stands on its own when the run does not take its recording.
  const auto takenWithMain = [&](std::size_t i) {
    std::size_t top = i;
    while (mainOf[top] != kNoMain) top = mainOf[top];
    return top != i && selected[top];
  };
  order.Entries.reserve(all.size());
  order.MainOf.reserve(all.size());
  order.HasCompanions.reserve(all.size());
  std::vector<std::size_t> runPosition(any ? all.size() : 0, kNoMain);
  std::vector<std::size_t> stack;
  for (std::size_t root = 0; root < all.size(); ++root) {
    if (!selected[root]) continue;
    if (mainOf[root] != kNoMain && (late.count(root) == 0 || takenWithMain(root))) continue;
    if (!any || companions[root].empty()) {
      if (any && late.count(root) != 0) order.LateOf[order.Entries.size()] = std::move(late[root]);
      order.Entries.push_back(root);
      order.MainOf.push_back(kNoMain);
      order.HasCompanions.push_back(0);
      continue;
    }
    // Depth first: an entry, then its companions in listing order.
    stack.assign(1, root);
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      runPosition[i] = order.Entries.size();
      if (const auto it = late.find(i); it != late.end()) order.LateOf[order.Entries.size()] = std::move(it->second);
      order.MainOf.push_back(i == root || mainOf[i] == kNoMain ? kNoMain : runPosition[mainOf[i]]);
      order.HasCompanions.push_back(companions[i].empty() ? 0 : 1);
      order.Entries.push_back(i);
      for (auto c = companions[i].rbegin(); c != companions[i].rend(); ++c) stack.push_back(*c);
    }
  }
  return order;
}

RunOrder InListingOrder(const std::vector<char>& selected) {
  RunOrder order;
  for (std::size_t i = 0; i < selected.size(); ++i)
    if (selected[i]) order.Entries.push_back(i);
  order.MainOf.assign(order.Entries.size(), kNoMain);
  order.HasCompanions.assign(order.Entries.size(), 0);
  return order;
}

std::vector<char> Selected(const std::vector<Listed>& all, const std::string& folderText, const NameSet* only) {
  const std::string mask = MaskOfText(folderText);
  std::vector<char> selected(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) selected[i] = SelectsName(all[i].Name, mask, only);
  return selected;
}

}  // namespace quor
