#include "engine/rename/Companions.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "engine/files/File.h"

namespace quor {

RunOrder WithCompanions(const std::vector<Listed>& all, const std::vector<char>& selected) {
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
    // Each file's main: the longest name before one of its dots.
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].IsFolder) continue;
      const std::string_view name = all[i].Name;
      for (std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0; dot = name.rfind('.', dot - 1)) {
        if (dot + 1 == name.size()) continue;
        const auto it = files.find(name.substr(0, dot));
        if (it == files.end()) continue;
        mainOf[i] = it->second;
        companions[it->second].push_back(i);
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
      order.MainOf.push_back(mainOf[i] == kNoMain ? kNoMain : runPosition[mainOf[i]]);
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
