// Random names and options through the rules and text operations, checking
// what must hold for every input. The sanitizers catch any read outside a
// string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/rename/NameRules.h"
#include "text/CommaText.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

using namespace quor;

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

// Splits at NUL bytes: name, then Old/New of each pair. An Old that starts
// with byte 01 makes a regex row of the rest.
std::vector<std::string> Fields(std::string_view data) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= data.size(); ++i) {
    if (i == data.size() || data[i] == '\0') {
      out.emplace_back(data.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

// The plain definition: walk the characters, compare at each start, accept a
// match that ends on a character boundary.
std::size_t ReferencePos(std::string_view pattern, std::string_view text, Codepage cp) {
  if (pattern.empty()) return 0;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i, cp)) {
    if (text.compare(i, pattern.size(), pattern) != 0 || i + pattern.size() > text.size()) continue;
    std::size_t end = i;
    while (end < i + pattern.size()) end += CharLength(text, end, cp);
    if (end == i + pattern.size()) return i + 1;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 1) return 0;
  const unsigned flags = bytes[0];
  const Codepage cp = (flags & 0x80) != 0 ? Codepage::Cp932 : Codepage::Utf8;
  const std::vector<std::string> fields = Fields({reinterpret_cast<const char*>(bytes) + 1, size - 1});
  const std::string& name = fields[0];

  RenameOptions none;
  none.KakkoHanToZen = none.LowerExt = none.IgnoreCase = false;
  Require(ApplyNameRules(name, none, cp) == name);

  RenameOptions options;
  options.KakkoHanToZen = (flags & 1) != 0;
  options.LowerExt = (flags & 2) != 0;
  options.WaSpaceKakko = (flags & 4) != 0;
  options.WaKakko = (flags & 8) != 0;
  options.DeleteAfterKakko = (flags & 16) != 0;
  options.DeleteKakko = (flags & 32) != 0;
  options.IgnoreCase = (flags & 64) != 0;
  // Odd sizes turn the width rule on: the flags byte is full.
  options.AlnumZenToHan = (size & 1) != 0;
  bool pairsValid = true;
  // A few pairs are enough: each may double the name, as a user's list can.
  // Regex rows only on names of a file system's length, as a run meets them.
  for (std::size_t i = 1; i + 1 < fields.size() && i < 9; i += 2) {
    const bool regex = !fields[i].empty() && fields[i][0] == '\x01' && name.size() <= 255;
    ReplacePair pair{regex ? fields[i].substr(1) : fields[i], fields[i + 1], regex};
    // A regex row's texts are UTF-8 whatever the name's code page.
    const Codepage rowCp = regex ? Codepage::Utf8 : cp;
    pairsValid = pairsValid && IsValidText(pair.Old, rowCp) && IsValidText(pair.New, rowCp);
    options.ReplaceList.push_back(std::move(pair));
  }
  const std::string renamed = ApplyNameRules(name, options, cp);
  // Whole characters in, whole characters out: the rules never split one.
  if (IsValidText(name, cp) && pairsValid) Require(IsValidText(renamed, cp));

  // The width rule only ever shortens, and what it makes it leaves alone.
  const std::string half = AlnumZenToHan(name, cp);
  Require(half.size() <= name.size());
  Require(AlnumZenToHan(half, cp) == half);
  if (IsValidText(name, cp)) Require(IsValidText(half, cp));

  Require(AnsiLowerCase(name, cp).size() == name.size());
  Require(AnsiUpperCase(name, cp).size() == name.size());
  Require(AnsiLowerCase(AnsiUpperCase(name, cp), cp) == AnsiLowerCase(name, cp));
  Require(ExtractFilePath(name, cp) + ExtractFileName(name, cp) == name);
  Require(ChangeFileExt(name, ExtractFileExt(name, cp), cp) == name);
  const std::size_t last = AnsiLastChar(name, cp);
  Require(name.empty() ? last == std::string::npos : last < name.size());
  const std::string trimmed = Trim(name);
  Require(trimmed.empty() || (static_cast<unsigned char>(trimmed.front()) > 0x20 &&
                              static_cast<unsigned char>(trimmed.back()) > 0x20));
  if (fields.size() > 1) {
    const std::size_t pos = AnsiPos(fields[1], name, cp);
    Require(pos == ReferencePos(fields[1], name, cp));
    Require(StringReplace(name, fields[1], fields[1], rfReplaceAll, cp) == name);
  }
  if (fields.size() > 1 || !name.empty()) Require(FromCommaText(ToCommaText(fields)) == fields);
  // Whatever the bytes, the log shows valid UTF-8 on one line.
  const std::string shown = DisplayPath(name);
  Require(IsValidText(shown, Codepage::Utf8));
  for (const char c : shown) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  return 0;
}
