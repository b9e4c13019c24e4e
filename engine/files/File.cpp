#include "engine/files/File.h"

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

}  // namespace quor
