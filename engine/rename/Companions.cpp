#include "engine/rename/Companions.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "engine/files/File.h"
#include "system/EntryIdentity.h"
#include "text/TextOps.h"

namespace quor {

RunOrder WithCompanions(std::vector<Listed> all, const std::vector<char>& selected) {
  RunOrder order;
  // A companion has two dots at least (X.ts.err); a folder of recordings
  // without any is read once more and no more.
  const auto dots = [](const std::string& name) { return std::count(name.begin(), name.end(), '.'); };
  const bool any = std::any_of(all.begin(), all.end(), [&](const Listed& e) { return !e.IsFolder && dots(e.Name) >= 2; });
  std::vector<std::size_t> mainOf(all.size(), kNoMain);
  std::vector<std::vector<std::size_t>> companions(any ? all.size() : 0);
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
    const auto sameFileOtherCase = [&](std::size_t i, std::string_view prefix) {
      if (folded.empty()) {
        for (const auto& [name, at] : files) folded.emplace(AnsiUpperCase(name, cp), at);
        for (std::size_t k = 0; k < all.size(); ++k) listed.emplace(all[k].Name, k);
      }
      const auto it = folded.find(AnsiUpperCase(prefix, cp));
      if (it == folded.end()) return kNoMain;
      const std::string& path = all[i].FullPath;
      const std::string spelt = path.substr(0, path.size() - all[i].Name.size()).append(prefix);
      const bool same = SameEntryByAnotherSpelling(all[it->second].FullPath, spelt,
                                                   [&](std::string_view n) { return listed.count(n) != 0; });
      return same ? it->second : kNoMain;
    };
    // Each file's main: the longest name before one of its dots.
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].IsFolder) continue;
      const std::string_view name = all[i].Name;
      for (std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0; dot = name.rfind('.', dot - 1)) {
        if (dot + 1 == name.size()) continue;
        const std::string_view prefix = name.substr(0, dot);
        const auto it = files.find(prefix);
        std::size_t main = it != files.end() ? it->second : kNoMain;
        // A main has an extension: a prefix without a dot names none.
        if (main == kNoMain && prefix.find('.') != std::string_view::npos) main = sameFileOtherCase(i, prefix);
        if (main == kNoMain || main == i) continue;
        mainOf[i] = main;
        companions[main].push_back(i);
        break;
      }
    }
  }
  order.Entries.reserve(all.size());
  order.MainOf.reserve(all.size());
  order.HasCompanions.reserve(all.size());
  std::vector<std::size_t> runPosition(any ? all.size() : 0, kNoMain);
  std::vector<std::size_t> stack;
  for (std::size_t root = 0; root < all.size(); ++root) {
    if (!selected[root] || mainOf[root] != kNoMain) continue;
    if (!any || companions[root].empty()) {
      order.Entries.push_back(std::move(all[root]));
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
      order.MainOf.push_back(mainOf[i] == kNoMain ? kNoMain : runPosition[mainOf[i]]);
      order.HasCompanions.push_back(companions[i].empty() ? 0 : 1);
      order.Entries.push_back(std::move(all[i]));
      for (auto c = companions[i].rbegin(); c != companions[i].rend(); ++c) stack.push_back(*c);
    }
  }
  return order;
}

std::vector<char> Selected(const std::vector<Listed>& all, const std::string& folderText, const NameSet* only) {
  const std::string mask = MaskOfText(folderText);
  std::vector<char> selected(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) selected[i] = SelectsName(all[i].Name, mask, only);
  return selected;
}

}  // namespace quor
