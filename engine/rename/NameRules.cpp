#include "engine/rename/NameRules.h"

#include "text/TextOps.h"

namespace quor {

namespace {

// The rule literals in one code page.
struct Literals {
  std::string_view HanOpen;   // ｢
  std::string_view HanClose;  // ｣
  std::string_view ZenOpen;   // 「
  std::string_view ZenClose;  // 」
  std::string_view WaHanOpen, WaSpHanOpen, WaZenOpen, WaSpZenOpen;  // 話｢ 話 ｢ 話「 話 「
};

constexpr Literals kCp932{"\xA2", "\xA3", "\x81\x75", "\x81\x76",
                          "\x98\x62\xA2", "\x98\x62 \xA2", "\x98\x62\x81\x75", "\x98\x62 \x81\x75"};
constexpr Literals kUtf8{"\xEF\xBD\xA2", "\xEF\xBD\xA3", "\xE3\x80\x8C", "\xE3\x80\x8D",
                         "\xE8\xA9\xB1\xEF\xBD\xA2", "\xE8\xA9\xB1 \xEF\xBD\xA2",
                         "\xE8\xA9\xB1\xE3\x80\x8C", "\xE8\xA9\xB1 \xE3\x80\x8C"};

// Most steps find nothing in most names: only a match costs a copy.
void Replace(std::string& name, std::string_view old, std::string_view replacement, unsigned flags,
             Codepage cp) {
  thread_local std::string out;
  if (StringReplaceInto(name, old, replacement, flags, cp, out)) name.swap(out);
}

void ReplaceAll(std::string& name, std::string_view old, std::string_view replacement, Codepage cp) {
  Replace(name, old, replacement, rfReplaceAll, cp);
}

// Lower-cases the extension in place; nothing else changes.
void LowerExt(std::string& name, Codepage cp) {
  const std::size_t ext = name.size() - ExtractFileExt(name, cp).size();
  if (ext == name.size()) return;
  const std::string lower = AnsiLowerCase(std::string_view(name).substr(ext), cp);
  name.replace(ext, std::string::npos, lower);
}

// Keeps the name up to the first closing bracket (full width first, then
// half width) and puts the extension back after it.
void DeleteAfterKakko(std::string& name, const Literals& lit, Codepage cp) {
  std::size_t pos = AnsiPos(lit.ZenClose, name, cp);
  std::size_t keep = pos == 0 ? 0 : pos - 1 + lit.ZenClose.size();
  if (pos == 0) {
    pos = AnsiPos(lit.HanClose, name, cp);
    if (pos == 0) return;
    keep = pos - 1 + lit.HanClose.size();
  }
  std::string ext = ExtractFileExt(name, cp);
  // A dot inside the kept part is no extension after the bracket; appending
  // it would repeat part of the name.
  if (name.size() - ext.size() < keep) ext.clear();
  name.resize(keep);
  name += ext;
}

}  // namespace

std::string ApplyNameRules(std::string_view source, const RenameOptions& options, Codepage codepage) {
  const Literals& lit = codepage == Codepage::Cp932 ? kCp932 : kUtf8;
  std::string name(source);
  if (options.KakkoHanToZen) {
    ReplaceAll(name, lit.HanOpen, lit.ZenOpen, codepage);
    ReplaceAll(name, lit.HanClose, lit.ZenClose, codepage);
  }
  if (options.LowerExt) LowerExt(name, codepage);
  if (options.WaSpaceKakko) {
    ReplaceAll(name, lit.WaHanOpen, lit.WaSpHanOpen, codepage);
    ReplaceAll(name, lit.WaZenOpen, lit.WaSpZenOpen, codepage);
  }
  if (options.WaKakko) {
    ReplaceAll(name, lit.WaSpHanOpen, lit.WaHanOpen, codepage);
    ReplaceAll(name, lit.WaSpZenOpen, lit.WaZenOpen, codepage);
  }
  if (options.DeleteAfterKakko) DeleteAfterKakko(name, lit, codepage);
  if (options.DeleteKakko) {
    ReplaceAll(name, lit.HanOpen, "", codepage);
    ReplaceAll(name, lit.HanClose, "", codepage);
    ReplaceAll(name, lit.ZenOpen, "", codepage);
    ReplaceAll(name, lit.ZenClose, "", codepage);
  }
  const unsigned flags = rfReplaceAll | (options.IgnoreCase ? rfIgnoreCase : 0u);
  for (const ReplacePair& pair : options.ReplaceList) {
    if (pair.Old.empty()) continue;
    Replace(name, pair.Old, pair.New, flags, codepage);
  }
  return name;
}

}  // namespace quor
