#include "engine/files/Findfile.h"

#include <cstring>
#include <string_view>

#include "engine/files/File.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Copies at most size-1 bytes, cut on a character boundary, and terminates.
void CopyWholeChars(char* dest, std::size_t size, std::string_view text, Codepage cp) {
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t len = CharLength(text, n, cp);
    if (n + len > size - 1) break;
    n += len;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = 0;
}

}  // namespace

TFindFile::~TFindFile() { CloseSearch(); }

bool TFindFile::IsOpen() const { return FindHandle != nullptr && FindHandle != INVALID_HANDLE_VALUE; }

void TFindFile::CloseSearch() {
  if (!IsOpen()) return;
  FindClose(FindHandle);
  FindHandle = nullptr;
}

bool TFindFile::First(std::string pattern) {
  CloseSearch();
  Pattern = std::move(pattern);
  FullPath.clear();
  FirstPending = false;
  dirPart_ = ExtractFileDir(Pattern, NativeCodepage());
  if (!Pattern.empty()) {
    FindHandle = FindFirstFile(Pattern, *this);
    FirstPending = IsOpen();
  }
  return IsOpen();
}

bool TFindFile::Next() { return Next(ExcludeAttr); }

bool TFindFile::Next(std::uint32_t mask) {
  bool fetched = FirstPending;
  FirstPending = false;
  for (;; fetched = false) {
    if (!fetched && (!IsOpen() || !FindNextFile(FindHandle, *this))) {
      CloseSearch();
      FullPath.clear();
      return false;
    }
    if (HasAnyAttribute(mask)) continue;
    const std::string_view name = FileNameView(cFileName);
    if (!IncludeDots && (name == "." || name == "..")) continue;
    if (OnlyNames != nullptr && OnlyNames->count(cFileName) == 0) continue;

    FullPath.assign(dirPart_);
    if (!FullPath.empty() && FullPath.back() != PathDelim) FullPath += PathDelim;
    FullPath.append(name);

    if (cAlternateFileName[0] == 0)
      CopyWholeChars(cAlternateFileName, sizeof cAlternateFileName, FileNameView(ShortPathName(FullPath)),
                     NativeCodepage());
    return true;
  }
}

NameSet ListEntryNames(const std::string& folder) {
  NameSet names;
  TFindFile find;
  find.First(JoinPath(folder.empty() ? "." : folder, "*.*"));
  while (find.Next()) names.insert(find.cFileName);
  return names;
}

}  // namespace quor
