#pragma once

// Path join and the folder rule, on byte strings in the native code page.

#include <string>
#include <string_view>

namespace quor {

// The directory text and the name with exactly one '/' between them: every
// leading '/' of the name is dropped, and a '/' is added only when the
// directory text is not empty and does not already end in '/' (or in a NUL
// character). JoinPath("/a", "/b") == "/a/b", JoinPath("", "b") == "b".
[[nodiscard]] std::string JoinPath(std::string dir, std::string name);

// Whether a text holds a '*' or '?', which a folder text reads as a mask.
[[nodiscard]] bool HasMask(std::string_view text);

// The search pattern for the folder field: the text unchanged when it holds
// a '*' or '?' (a mask of the user's own), otherwise JoinPath(text, "*.*").
// Neither trimmed nor checked: a missing folder simply lists nothing.
// MakeSearchPattern("/m/") == "/m/*.*", MakeSearchPattern("/m/*.mp4") unchanged.
[[nodiscard]] std::string MakeSearchPattern(std::string folderText);

// The folder that a folder text names: the text itself, or the part before
// its mask. FolderOfText("/m/*.mp4") == "/m".
[[nodiscard]] std::string FolderOfText(const std::string& folderText);

// The mask that a folder text ends in, empty when it has none.
// MaskOfText("/m/*.mp4") == "*.mp4", MaskOfText("/m") == "".
[[nodiscard]] std::string MaskOfText(const std::string& folderText);

// The folder above `path`: "/" for the root's entries and for a bare name.
// ParentFolder("/m/a.ts") == "/m", ParentFolder("/a.ts") == "/".
[[nodiscard]] std::string ParentFolder(std::string_view path);

// A PATH made absolute against `current` (the current folder as the system
// tells it, which holds no links), as any tool reads it: leading "." and
// ".." steps are taken off against it, and "." steps and doubled
// separators anywhere; a ".." after the first name is left to the system.
// A trailing separator stays: "file.mp4/" names no file.
//   AbsolutePath("../b/./c", "/a/x") == "/a/b/c"
[[nodiscard]] std::string AbsolutePath(const std::string& path, const std::string& current);

}  // namespace quor
