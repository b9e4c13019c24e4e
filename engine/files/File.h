#pragma once

// Path join and the folder rule, on byte strings in the native code page.

#include <string>

namespace quor {

// The directory text and the name with exactly one '/' between them: every
// leading '/' of the name is dropped, and a '/' is added only when the
// directory text is not empty and does not already end in '/' (or in a NUL
// character). JoinPath("/a", "/b") == "/a/b", JoinPath("", "b") == "b".
[[nodiscard]] std::string JoinPath(std::string dir, std::string name);

// The search pattern for the folder field: the text unchanged when it holds
// a '*' or '?' (a mask of the user's own), otherwise JoinPath(text, "*.*").
// Neither trimmed nor checked: a missing folder simply lists nothing.
// MakeSearchPattern("/m/") == "/m/*.*", MakeSearchPattern("/m/*.mp4") unchanged.
[[nodiscard]] std::string MakeSearchPattern(std::string folderText);

// The folder that a folder text names: the text itself, or the part before
// its mask. FolderOfText("/m/*.mp4") == "/m".
[[nodiscard]] std::string FolderOfText(const std::string& folderText);

}  // namespace quor
