#include "engine/files/File.h"

#include <algorithm>

#include "text/TextOps.h"

namespace quor {

std::string JoinPath(std::string dir, std::string name) {
  const std::size_t start = name.find_first_not_of(PathDelim);
  const std::string_view rest =
      start == std::string::npos ? std::string_view() : std::string_view(name).substr(start);
  const std::size_t last = AnsiLastChar(dir, NativeCodepage());
  // The first byte of the last whole character decides, so a trail byte
  // never passes for a separator.
  if (last != std::string::npos && dir[last] != PathDelim && dir[last] != '\0') dir += PathDelim;
  dir.append(rest);
  return dir;
}

bool HasMask(std::string_view text) {
  const Codepage cp = NativeCodepage();
  return AnsiPos("*", text, cp) != 0 || AnsiPos("?", text, cp) != 0;
}

std::string MakeSearchPattern(std::string folderText) {
  if (HasMask(folderText)) return folderText;
  return JoinPath(std::move(folderText), "*.*");
}

std::string FolderOfText(const std::string& folderText) {
  return HasMask(folderText) ? ExtractFileDir(folderText, NativeCodepage()) : folderText;
}

std::string MaskOfText(const std::string& folderText) {
  return HasMask(folderText) ? std::string(FileNameView(folderText)) : std::string();
}

std::string ParentFolder(std::string_view path) {
  const std::string_view parent = ContainingFolder(path);
  return parent.empty() ? std::string(1, PathDelim) : std::string(parent);
}

std::string AbsolutePath(const std::string& path, const std::string& current) {
  std::string base = path.starts_with(PathDelim) ? std::string() : current;
  std::string_view rest = path;
  if (!path.starts_with(PathDelim)) {
    for (;;) {
      if (rest == "." || rest.starts_with("./")) {
        rest.remove_prefix(std::min<std::size_t>(2, rest.size()));
      } else if (rest == ".." || rest.starts_with("../")) {
        base = ParentFolder(WithoutTrailingSeparators(base));
        rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
      } else if (rest.starts_with(PathDelim)) {
        rest.remove_prefix(1);
      } else {
        break;
      }
    }
  }
  // The names that are left, without "." steps or empty ones.
  std::string out = base;
  bool trailing = false;
  while (!rest.empty()) {
    const std::size_t sep = rest.find(PathDelim);
    const std::string_view name = rest.substr(0, sep);
    rest.remove_prefix(sep == std::string_view::npos ? rest.size() : sep + 1);
    trailing = sep != std::string_view::npos;
    if (name.empty() || name == ".") continue;
    if (!out.ends_with(PathDelim)) out += PathDelim;
    out.append(name);
  }
  if (out.empty()) out = std::string(1, PathDelim);
  if ((trailing || path.ends_with("/.")) && !out.ends_with(PathDelim)) out += PathDelim;
  return out;
}

}  // namespace quor
