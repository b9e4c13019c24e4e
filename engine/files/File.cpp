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

namespace {

bool HasMask(const std::string& folderText) {
  const Codepage cp = NativeCodepage();
  return AnsiPos("*", folderText, cp) != 0 || AnsiPos("?", folderText, cp) != 0;
}

}  // namespace

std::string MakeSearchPattern(std::string folderText) {
  if (HasMask(folderText)) return folderText;
  return JoinPath(std::move(folderText), "*.*");
}

std::string FolderOfText(const std::string& folderText) {
  return HasMask(folderText) ? ExtractFileDir(folderText, NativeCodepage()) : folderText;
}

}  // namespace quor
