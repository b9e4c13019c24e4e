#pragma once

// Text operations on byte strings in a multibyte code page. All of them step
// over whole characters: no match starts on, and no split falls inside, the
// trail bytes of a character. Positions and lengths count bytes.
//
// Paths use the platform's syntax: '/' is the only separator and there is no
// drive part, so a backslash or a colon is an ordinary character of a name.

#include <cstddef>
#include <string>
#include <string_view>

#include "text/Codepage.h"

namespace quor {

inline constexpr char PathDelim = '/';

// Flags of StringReplace.
enum ReplaceFlags : unsigned {
  rfReplaceAll = 1u,  // replace every occurrence, not only the first
  rfIgnoreCase = 2u,  // compare as AnsiUpperCase does; output keeps the text's own case
};

// 1-based byte position of the first occurrence of `pattern` in `text` that
// starts on a character boundary; 0 when there is none or the pattern is
// empty. AnsiPos("b", "ab") == 2.
[[nodiscard]] std::size_t AnsiPos(std::string_view pattern, std::string_view text, Codepage cp);

// Scans `text` from the left; each occurrence of `old` that starts on a
// character boundary becomes `replacement`, and the scan resumes right after
// it, so occurrences never overlap and inserted text is never searched
// again: StringReplace("a.txt", "a", "aa", rfReplaceAll) == "aa.txt".
// Without rfReplaceAll only the first occurrence is replaced. An empty `old`
// leaves the text unchanged.
[[nodiscard]] std::string StringReplace(std::string_view text, std::string_view old,
                                        std::string_view replacement, unsigned flags,
                                        Codepage cp);

// StringReplace into `out`, for loops that must not allocate: returns false
// and leaves `out` alone when nothing matched, so the caller keeps `text`.
// `out` must not alias `text`.
bool StringReplaceInto(std::string_view text, std::string_view old, std::string_view replacement,
                       unsigned flags, Codepage cp, std::string& out);

// The extension: from the last '.' to the end, dot included, provided no
// separator follows it; "" when there is none. ExtractFileExt("a.TAR.GZ") == ".GZ".
[[nodiscard]] std::string ExtractFileExt(std::string_view name, Codepage cp);

// The name with its extension (as ExtractFileExt finds it) replaced by
// `ext`; a name without one gets `ext` appended.
[[nodiscard]] std::string ChangeFileExt(std::string_view name, std::string_view ext, Codepage cp);

// Case mapping, character by character: ASCII letters and the full-width
// Latin letters (U+FF21-FF3A / U+FF41-FF5A, two bytes in CP932, three in
// UTF-8). Trail bytes are never touched, and the byte length never changes.
[[nodiscard]] std::string AnsiLowerCase(std::string_view text, Codepage cp);
[[nodiscard]] std::string AnsiUpperCase(std::string_view text, Codepage cp);

// Full-width Latin letters and digits to their ASCII forms: Ａ-Ｚ, ａ-ｚ and
// ０-９ (U+FF21-FF3A, U+FF41-FF5A, U+FF10-FF19; two bytes 82 xx in CP932,
// three in UTF-8) become A-Z, a-z and 0-9. Nothing else changes: no
// symbol, no space, no katakana, and never a trail byte.
//   AlnumZenToHan("第０３話ＳＰ＃", Utf8) == "第03話SP＃"
[[nodiscard]] std::string AlnumZenToHan(std::string_view text, Codepage cp);

// The last component of a path and what stands before it, separator
// included: FileNameView("/a/b.txt") == "b.txt", FolderView("/a/b.txt") ==
// "/a/". '/' is never part of a longer character in UTF-8 or CP932, so no
// code page is needed.
[[nodiscard]] constexpr std::string_view FileNameView(std::string_view path) {
  const std::size_t sep = path.rfind(PathDelim);
  return sep == std::string_view::npos ? path : path.substr(sep + 1);
}
[[nodiscard]] constexpr std::string_view FolderView(std::string_view path) {
  return path.substr(0, path.size() - FileNameView(path).size());
}

// The path without separators at its end, except a lone "/".
[[nodiscard]] constexpr std::string_view WithoutTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && path.back() == PathDelim) path.remove_suffix(1);
  return path;
}

// The folder that the entry at `path` is in, without a trailing separator;
// a separator at the end of the path is no name. ContainingFolder("/a/b/")
// == "/a", ContainingFolder("/b") == "/".
[[nodiscard]] constexpr std::string_view ContainingFolder(std::string_view path) {
  return WithoutTrailingSeparators(FolderView(WithoutTrailingSeparators(path)));
}

// True when `path` is `folder` or lies below it; "" and "/" hold every path.
[[nodiscard]] constexpr bool IsAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder.empty() || folder == "/") return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == PathDelim);
}

// The name of the entry at `path` when `folder` is its ContainingFolder,
// else "". A run's entries are nearly all in one folder: this finds them
// there without walking each name back from its end.
[[nodiscard]] constexpr std::string_view NameInFolder(std::string_view path, std::string_view folder) {
  const std::size_t n = folder.size();
  if (n > 1 && folder.back() != PathDelim && path.size() > n + 1 && path[n] == PathDelim &&
      path.substr(0, n) == folder && path.find(PathDelim, n + 1) == std::string_view::npos)
    return path.substr(n + 1);
  return ContainingFolder(path) == folder ? FileNameView(WithoutTrailingSeparators(path)) : std::string_view();
}

// The path up to and including its last separator; "" when there is none.
[[nodiscard]] std::string ExtractFilePath(std::string_view path, Codepage cp);

// The directory part: up to and including the last separator, but without
// that separator unless it is the first character or follows another
// separator. ExtractFileDir("/a/b") == "/a", ExtractFileDir("/b") == "/".
[[nodiscard]] std::string ExtractFileDir(std::string_view path, Codepage cp);

// Everything after the last separator; the whole text when there is none.
[[nodiscard]] std::string ExtractFileName(std::string_view path, Codepage cp);

// The text without the bytes 0x00-0x20 at its start and end (TrimView in
// text/Bytes.h without the copy).
[[nodiscard]] std::string Trim(std::string_view text);

// Byte offset of the first byte of the last whole character; npos for "".
[[nodiscard]] std::size_t AnsiLastChar(std::string_view text, Codepage cp);

}  // namespace quor
