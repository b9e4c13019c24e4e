#pragma once

// The file list that the window copies to the clipboard and quor-rename
// --list prints: one line per entry of a folder text.

#include <string>
#include <vector>

#include "engine/files/Findfile.h"

namespace quor {

// The lines of the file list: one per entry the folder text lists, in the
// order the file system reports them; the full path or the bare name, with
// or without the extension (only the name's own extension is cut, never a
// dot of a folder). Raw bytes; the memo shows them through DisplayPath.
// An empty folder text lists the current folder with bare names. With
// `only`, just the entries spelt exactly as one of these names.
[[nodiscard]] std::vector<std::string> BuildFileList(const std::string& folderText, bool withDir, bool withExt,
                                                     const NameSet* only = nullptr);

}  // namespace quor
