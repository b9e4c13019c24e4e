#include "text/TextOps.h"

#include <cstring>

#include "text/Bytes.h"

namespace quor {

namespace {

// Calls f(pos, len) for every character of the text, left to right.
template <typename F>
void ForEachChar(std::string_view text, Codepage cp, F&& f) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharLength(text, i, cp);
    f(i, n);
    i += n;
  }
}

// Position of the last one-byte character `c`, or npos. A byte that is part
// of a longer character never counts.
std::size_t LastSingle(std::string_view text, char c, Codepage cp) {
  // In UTF-8 an ASCII byte is always a character of its own.
  if (cp == Codepage::Utf8) return text.rfind(c);
  std::size_t found = std::string_view::npos;
  ForEachChar(text, cp, [&](std::size_t i, std::size_t n) {
    if (n == 1 && text[i] == c) found = i;
  });
  return found;
}

// True when `len` bytes from the boundary `start` end on a boundary too.
bool EndsOnBoundary(std::string_view text, std::size_t start, std::size_t len, Codepage cp) {
  if (cp == Codepage::Utf8) return IsUtf8Boundary(text, start + len);
  std::size_t i = start;
  const std::size_t end = start + len;
  while (i < end) i += CharLength(text, i, cp);
  return i == end;
}

// First occurrence at or after `from` (a boundary) that covers whole
// characters; npos when there is none.
std::size_t FindWhole(std::string_view hay, std::string_view needle, std::size_t from, Codepage cp) {
  if (needle.empty()) return std::string_view::npos;
  std::size_t boundary = from;  // CP932: boundaries are only known by walking from the left
  for (std::size_t at = hay.find(needle, from); at != std::string_view::npos; at = hay.find(needle, at + 1)) {
    if (cp == Codepage::Utf8) {
      if (IsUtf8Boundary(hay, at) && EndsOnBoundary(hay, at, needle.size(), cp)) return at;
      continue;
    }
    while (boundary < at) boundary += CharLength(hay, boundary, cp);
    if (boundary == at && EndsOnBoundary(hay, at, needle.size(), cp)) return at;
  }
  return std::string_view::npos;
}

// Full-width Latin capitals and smalls: CP932 82 60-79 / 82 81-9A,
// UTF-8 EF BC A1-BA / EF BD 81-9A. Both cases have the same byte length.
void MapCase(std::string& s, Codepage cp, bool upper) {
  if (cp == Codepage::Utf8) {
    // ASCII bytes are characters of their own; 0xEF always starts one.
    auto* p = reinterpret_cast<unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = p[i];
      if (c < 0x80) {
        p[i] = static_cast<unsigned char>(upper ? AsciiUpper(static_cast<char>(c)) : AsciiLower(static_cast<char>(c)));
      } else if (c == 0xEF && i + 2 < n && Utf8SequenceLength(s, i) == 3) {
        if (upper && p[i + 1] == 0xBD && p[i + 2] >= 0x81 && p[i + 2] <= 0x9A) {
          p[i + 1] = 0xBC;
          p[i + 2] = static_cast<unsigned char>(p[i + 2] + 0x20);
        } else if (!upper && p[i + 1] == 0xBC && p[i + 2] >= 0xA1 && p[i + 2] <= 0xBA) {
          p[i + 1] = 0xBD;
          p[i + 2] = static_cast<unsigned char>(p[i + 2] - 0x20);
        }
        i += 2;
      }
    }
    return;
  }
  const std::string_view view(s);
  ForEachChar(view, cp, [&](std::size_t i, std::size_t n) {
    auto* p = reinterpret_cast<unsigned char*>(s.data() + i);
    if (n == 1) {
      const auto c = static_cast<char>(p[0]);
      p[0] = static_cast<unsigned char>(upper ? AsciiUpper(c) : AsciiLower(c));
    } else if (n == 2 && p[0] == 0x82) {
      if (upper && p[1] >= 0x81 && p[1] <= 0x9A) p[1] = static_cast<unsigned char>(p[1] - 0x21);
      if (!upper && p[1] >= 0x60 && p[1] <= 0x79) p[1] = static_cast<unsigned char>(p[1] + 0x21);
    }
  });
}

}  // namespace

std::size_t AnsiPos(std::string_view pattern, std::string_view text, Codepage cp) {
  const std::size_t at = FindWhole(text, pattern, 0, cp);
  return at == std::string_view::npos ? 0 : at + 1;
}

bool StringReplaceInto(std::string_view text, std::string_view old, std::string_view replacement,
                       unsigned flags, Codepage cp, std::string& out) {
  if (old.empty()) return false;
  std::string_view hay = text;
  std::string_view needle = old;
  // Reused across calls: the rules call this for every name of a folder.
  thread_local std::string upperText;
  std::string upperOld;
  if ((flags & rfIgnoreCase) != 0) {
    // Upper-casing keeps every character's length, so positions in the
    // copies are positions in the text.
    upperText.assign(text);
    MapCase(upperText, cp, true);
    upperOld.assign(old);
    MapCase(upperOld, cp, true);
    hay = upperText;
    needle = upperOld;
  }
  std::size_t at = FindWhole(hay, needle, 0, cp);
  if (at == std::string_view::npos) return false;

  out.clear();
  std::size_t copied = 0;
  while (at != std::string_view::npos) {
    out.append(text.substr(copied, at - copied));
    out.append(replacement);
    copied = at + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
    at = FindWhole(hay, needle, copied, cp);
  }
  out.append(text.substr(copied));
  return true;
}

std::string StringReplace(std::string_view text, std::string_view old, std::string_view replacement,
                          unsigned flags, Codepage cp) {
  std::string out;
  if (!StringReplaceInto(text, old, replacement, flags, cp, out)) return std::string(text);
  return out;
}

std::string ExtractFileExt(std::string_view name, Codepage cp) {
  const std::size_t dot = LastSingle(name, '.', cp);
  if (dot == std::string_view::npos) return {};
  if (name.find(PathDelim, dot) != std::string_view::npos) return {};
  return std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext, Codepage cp) {
  const std::size_t extLength = ExtractFileExt(name, cp).size();
  std::string out(name.substr(0, name.size() - extLength));
  out.append(ext);
  return out;
}

std::string AnsiLowerCase(std::string_view text, Codepage cp) {
  std::string s(text);
  MapCase(s, cp, false);
  return s;
}

std::string AnsiUpperCase(std::string_view text, Codepage cp) {
  std::string s(text);
  MapCase(s, cp, true);
  return s;
}

std::string AlnumZenToHan(std::string_view text, Codepage cp) {
  std::string out;
  out.reserve(text.size());
  ForEachChar(text, cp, [&](std::size_t i, std::size_t n) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    int ascii = -1;
    if (cp == Codepage::Cp932 && n == 2 && at(0) == 0x82) {
      const unsigned char c = at(1);
      if (c >= 0x4F && c <= 0x58) ascii = '0' + (c - 0x4F);
      else if (c >= 0x60 && c <= 0x79) ascii = 'A' + (c - 0x60);
      else if (c >= 0x81 && c <= 0x9A) ascii = 'a' + (c - 0x81);
    } else if (cp == Codepage::Utf8 && n == 3 && at(0) == 0xEF) {
      const unsigned char c = at(2);
      if (at(1) == 0xBC && c >= 0x90 && c <= 0x99) ascii = '0' + (c - 0x90);
      else if (at(1) == 0xBC && c >= 0xA1 && c <= 0xBA) ascii = 'A' + (c - 0xA1);
      else if (at(1) == 0xBD && c >= 0x81 && c <= 0x9A) ascii = 'a' + (c - 0x81);
    }
    if (ascii >= 0) out += static_cast<char>(ascii);
    else out.append(text.substr(i, n));
  });
  return out;
}

std::string ExtractFilePath(std::string_view path, Codepage /*cp*/) { return std::string(FolderView(path)); }

std::string ExtractFileDir(std::string_view path, Codepage /*cp*/) {
  const std::string_view folder = FolderView(path);
  // The root keeps its separator, and so does a run of separators.
  if (folder.size() <= 1 || folder[folder.size() - 2] == PathDelim) return std::string(folder);
  return std::string(folder.substr(0, folder.size() - 1));
}

std::string ExtractFileName(std::string_view path, Codepage /*cp*/) { return std::string(FileNameView(path)); }

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::size_t AnsiLastChar(std::string_view text, Codepage cp) {
  std::size_t last = std::string_view::npos;
  ForEachChar(text, cp, [&](std::size_t i, std::size_t) { last = i; });
  return last;
}

}  // namespace quor
