#include "text/FindMask.h"

#include <cstring>

#include "text/Bytes.h"

namespace quor {

namespace {

// CharLength with the common ASCII case inline: masks are matched against
// every entry of a folder.
std::size_t CharAt(std::string_view text, std::size_t pos, Codepage cp) {
  return static_cast<unsigned char>(text[pos]) < 0x80 ? 1 : CharLength(text, pos, cp);
}

}  // namespace

bool MatchesFindMask(std::string_view name, std::string_view mask, Codepage cp) {
  if (mask == "*.*") return true;  // the find functions' own rule, names without a dot included
  // Greedy match that backtracks to the last '*', stepping over whole
  // characters of both texts so that '?' takes one character and a literal
  // never matches part of one.
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t starMask = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = ++m;
      starName = n;
      continue;
    }
    if (m < mask.size()) {
      const std::size_t nl = CharAt(name, n, cp);
      if (mask[m] == '?') {
        n += nl;
        ++m;
        continue;
      }
      const std::size_t ml = CharAt(mask, m, cp);
      if (ml == nl && (ml == 1 ? AsciiUpper(mask[m]) == AsciiUpper(name[n])
                               : std::memcmp(mask.data() + m, name.data() + n, ml) == 0)) {
        n += nl;
        m += ml;
        continue;
      }
    }
    if (starMask == std::string_view::npos) return false;
    starName += CharAt(name, starName, cp);
    n = starName;
    m = starMask;
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace quor
