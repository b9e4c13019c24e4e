#pragma once

// The find functions: list the entries of one folder that match the last
// component of a pattern, one entry per call, in the order the file system
// reports them ("." and ".." included when they match). The mask is matched
// by MatchesFindMask in the native code page.

#include <cstdint>
#include <string>
#include <string_view>

#include "text/FindMask.h"

namespace quor {

// Attribute bits of a listed entry.
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;       // no write permission bit at all
inline constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;         // name starts with a dot
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;      // a folder (the entry itself, links not followed)
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;         // none of the other bits
inline constexpr std::uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400; // a symbolic link

// 100-nanosecond intervals since 1601-01-01 UTC; 0 when unknown.
using FileTime = std::uint64_t;

class FindSearch;

// One listed entry. The name and the folder, hidden and link bits come with
// the listing itself. Everything that needs the entry's inode (the
// read-only and normal bits, the times, the size) is fetched with one stat on
// the first call that needs it: a stat per entry costs several times the
// listing, and most listings only want names.
class FindData {
 public:
  // Long name of the entry, without folder.
  std::string cFileName;
  // Short name, zero-terminated; empty when the system gave none (Linux
  // never does).
  char cAlternateFileName[14] = {};
  // The inode number the listing gives, which tells an entry under another
  // name apart on most file systems (not on every FUSE driver).
  std::uint64_t Inode = 0;
  // The kind of entry, as the listing tells it (a stat where it does not):
  // 'f' a file, 'd' a folder, 'l' a symbolic link, 'o' anything else.
  [[nodiscard]] char Kind() const;

  [[nodiscard]] std::uint32_t FileAttributes() const;
  // (FileAttributes() & mask) != 0, without a stat when the mask holds only
  // bits that the listing gives.
  [[nodiscard]] bool HasAnyAttribute(std::uint32_t mask) const;
  [[nodiscard]] FileTime LastAccessTime() const;
  [[nodiscard]] FileTime LastWriteTime() const;
  // Size of a file; 0 for folders, links and other special entries.
  [[nodiscard]] std::uint64_t FileSize() const;
  [[nodiscard]] std::uint32_t FileSizeHigh() const { return static_cast<std::uint32_t>(FileSize() >> 32); }
  [[nodiscard]] std::uint32_t FileSizeLow() const { return static_cast<std::uint32_t>(FileSize()); }

 private:
  friend class FindSearch;
  void LoadDetails() const;

  std::string folder_;  // the folder searched, to stat the entry later
  std::uint32_t listedAttributes_ = 0;
  char listedKind_ = '?';
  mutable char kind_ = '?';
  mutable bool detailsLoaded_ = false;
  mutable std::uint32_t attributes_ = 0;
  mutable FileTime lastAccessTime_ = 0;
  mutable FileTime lastWriteTime_ = 0;
  mutable std::uint64_t size_ = 0;
};

using SearchHandle = FindSearch*;
// What a start that found nothing returns. Neither it nor nullptr is an open
// search.
inline SearchHandle const INVALID_HANDLE_VALUE = reinterpret_cast<SearchHandle>(~std::uintptr_t{0});

// Starts a search: the folder is the pattern up to its last '/' (the current
// folder when there is none), the mask the rest. Returns the handle with the
// first matching entry in `data`, or INVALID_HANDLE_VALUE when the folder
// cannot be listed or nothing matches. Never throws.
[[nodiscard]] SearchHandle FindFirstFile(const std::string& pattern, FindData& data);

// The next matching entry into `data`; false at the end and on any error.
// The handle stays open until FindClose.
bool FindNextFile(SearchHandle handle, FindData& data);

// Releases an open search. False for nullptr and INVALID_HANDLE_VALUE.
bool FindClose(SearchHandle handle);

// Linux has no 8.3 names: the short form of a path is the path itself.
[[nodiscard]] inline std::string_view ShortPathName(std::string_view path) { return path; }

}  // namespace quor
