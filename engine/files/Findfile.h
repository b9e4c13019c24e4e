#pragma once

// The directory enumerator: hands out the entries of one folder that match a
// search pattern, one per Next, each with its long name and full path.
//
//   TFindFile find;
//   find.First(MakeSearchPattern(folderText));
//   while (find.Next()) Use(find.FileName(), find.FullPath);
//
// The enumerator streams what the file system reports. A command that
// renames entries of the folder must take the whole listing first: a
// renamed entry may otherwise be reported again under its new name.

#include <cstdint>
#include <string>
#include <unordered_set>

#include "system/Find.h"

namespace quor {

// Exact entry names, for a listing of only some entries of a folder.
using NameSet = std::unordered_set<std::string>;

// The exact names of the entries of `folder` ("" for the current folder),
// read whole: on a case-insensitive volume only a listing tells "a.mp4"
// from "A.MP4". The folder is taken as a path, never as a mask.
[[nodiscard]] NameSet ListEntryNames(const std::string& folder);

class TFindFile : public FindData {
 public:
  TFindFile() = default;
  ~TFindFile();
  TFindFile(const TFindFile&) = delete;
  TFindFile& operator=(const TFindFile&) = delete;

  // A search is open: started, and neither exhausted nor closed.
  [[nodiscard]] bool IsOpen() const;
  // Releases the search when one is open; changes nothing else.
  void CloseSearch();

  // Ends any open search and starts a new one. True when the system found
  // a first entry (before the filters). An empty pattern starts nothing.
  bool First(std::string pattern);
  // Next(ExcludeAttr).
  bool Next();
  // The next entry that passes the filters: none of the `mask` attribute
  // bits, and not "." or ".." unless IncludeDots. True with the entry in the
  // record and FullPath set; false at the end or on any error, with the
  // search closed and FullPath empty.
  bool Next(std::uint32_t mask);

  // Long name of the current entry.
  [[nodiscard]] std::string FileName() const { return cFileName; }

  // Entries sharing a bit with this mask are skipped by Next().
  std::uint32_t ExcludeAttr = 0;
  // Hand out "." and ".." too.
  bool IncludeDots = false;
  // When set, only the entries spelt exactly as one of these names (the
  // caller keeps the set alive for the search).
  const NameSet* OnlyNames = nullptr;
  // The directory part of the pattern, '/' and the name; only the name when
  // the pattern has no directory part (it names the current folder, not the
  // root), and never a doubled '/' after a root or a trailing separator.
  // Empty unless an entry is handed out.
  std::string FullPath;

 private:
  SearchHandle FindHandle = nullptr;
  bool FirstPending = false;
  std::string Pattern;
  std::string dirPart_;  // directory part of Pattern, worked out once per search
};

}  // namespace quor
