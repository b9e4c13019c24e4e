#include "engine/rename/NameRules.h"

#include <algorithm>
#include <array>

#include "text/TextConvert.h"
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

// Steps 1 to 7: everything before the replace list.
void ApplyFixedRules(std::string& name, const RenameOptions& options, Codepage codepage) {
  const Literals& lit = codepage == Codepage::Cp932 ? kCp932 : kUtf8;
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
  // Right before the list, so that its rows see ASCII letters and digits.
  if (options.AlnumZenToHan) name = AlnumZenToHan(name, codepage);
}

unsigned ListFlags(const RenameOptions& options) {
  return rfReplaceAll | (options.IgnoreCase ? rfIgnoreCase : 0u);
}

constexpr std::size_t Slot(Codepage cp) { return cp == Codepage::Cp932 ? 0 : 1; }

}  // namespace

struct CompiledRules::Row {
  std::unique_ptr<RegexRow> Regex;  // a regex row that compiled
  bool Plain = false;               // a plain pair with something to find
  std::array<std::string, 2> Old;   // by code page: CP932, UTF-8
  std::array<std::string, 2> New;
  std::array<bool, 2> Held{};       // whether that code page holds both texts
};

CompiledRules::CompiledRules(const RenameOptions& options, Codepage pairsIn) : options_(options) {
  options_.ReplaceList.clear();
  const Codepage other = pairsIn == Codepage::Cp932 ? Codepage::Utf8 : Codepage::Cp932;
  rows_.resize(options.ReplaceList.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const ReplacePair& pair = options.ReplaceList[i];
    Row& row = rows_[i];
    if (!pair.Unknown.empty()) {
      // Read as a plain row it might do what the mark was meant to prevent.
      PatternError error;
      error.Row = i;
      error.UnknownMark = pair.Unknown;
      errors_.push_back(std::move(error));
      continue;
    }
    if (pair.Old.empty()) continue;
    if (pair.Regex) {
      auto regex = std::make_unique<RegexRow>(pair.Old, pair.New, options.IgnoreCase);
      if (regex->Ok()) {
        row.Regex = std::move(regex);
      } else {
        errors_.push_back(regex->Error());
        errors_.back().Row = i;
      }
      continue;
    }
    row.Plain = true;
    row.Old[Slot(pairsIn)] = pair.Old;
    row.New[Slot(pairsIn)] = pair.New;
    row.Held[Slot(pairsIn)] = true;
    row.Held[Slot(other)] = ConvertText(pair.Old, pairsIn, other, row.Old[Slot(other)]) &&
                            ConvertText(pair.New, pairsIn, other, row.New[Slot(other)]);
  }
}

CompiledRules::~CompiledRules() = default;

RuleResult CompiledRules::Apply(std::string_view source, Codepage codepage, std::string& name) const {
  name.assign(source);
  ApplyFixedRules(name, options_, codepage);
  const unsigned flags = ListFlags(options_);
  const bool cp932 = codepage == Codepage::Cp932;
  // A CP932 name is text_ while regex rows read it, converted back before
  // the next plain row and at the end.
  bool asText = false;
  std::size_t lastRegex = 0;
  // One allowance of work for the whole name, all its regex rows together.
  std::uint64_t budget = kRegexNameBudget;
  const auto backToCp932 = [&] {
    asText = false;
    if (ConvertText(text_, Codepage::Utf8, Codepage::Cp932, name)) return true;
    name = text_;
    return false;
  };
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    if (row.Regex) {
      if (cp932 && !asText) {
        if (!ConvertText(name, Codepage::Cp932, Codepage::Utf8, text_)) return {RuleFailure::NotText, i};
        asText = true;
      }
      std::string& text = cp932 ? text_ : name;
      const RegexRow::Outcome outcome = row.Regex->ReplaceAll(text, scratch_, budget);
      if (outcome == RegexRow::Outcome::Limit) return {RuleFailure::MatchLimit, i};
      if (outcome == RegexRow::Outcome::Replaced) text.swap(scratch_);
      lastRegex = i;
      continue;
    }
    if (!row.Plain) continue;
    if (asText && !backToCp932()) return {RuleFailure::NotInCp932, lastRegex};
    if (row.Held[Slot(codepage)]) Replace(name, row.Old[Slot(codepage)], row.New[Slot(codepage)], flags, codepage);
  }
  if (asText && !backToCp932()) return {RuleFailure::NotInCp932, lastRegex};
  return {};
}

std::vector<PatternError> CheckPatterns(const RenameOptions& options) {
  // Only the regex rows: the rest of the list cannot be wrong.
  RenameOptions regexRows;
  regexRows.IgnoreCase = options.IgnoreCase;
  for (const ReplacePair& pair : options.ReplaceList)
    regexRows.ReplaceList.push_back(pair.Regex || !pair.Unknown.empty() ? pair : ReplacePair{});
  return CompiledRules(regexRows).Errors();
}

std::string PatternErrorText(const PatternError& error) {
  if (!error.UnknownMark.empty())
    return "置換リスト " + std::to_string(error.Row + 1) + " 行目の 3 つ目の項目「" + error.UnknownMark +
           "」が分かりません（正規表現の列のチェックを切り替えると、チェックのとおりに読みます）";
  return "置換リスト " + std::to_string(error.Row + 1) + " 行目の" + (error.InReplacement ? "置換文字列" : "正規表現") +
         "が正しくありません（位置 " + std::to_string(error.Offset) + "）: " + error.Message;
}

std::string ApplyNameRules(std::string_view source, const RenameOptions& options, Codepage codepage) {
  const auto& list = options.ReplaceList;
  if (std::any_of(list.begin(), list.end(),
                  [](const ReplacePair& pair) { return pair.Regex || !pair.Unknown.empty(); })) {
    const CompiledRules rules(options, codepage);
    std::string name;
    if (rules.Apply(source, codepage, name)) return std::string(source);
    return name;
  }
  // Plain pairs only: nothing to make ready, as a single name wants it.
  std::string name(source);
  ApplyFixedRules(name, options, codepage);
  const unsigned flags = ListFlags(options);
  for (const ReplacePair& pair : list)
    if (!pair.Old.empty()) Replace(name, pair.Old, pair.New, flags, codepage);
  return name;
}

}  // namespace quor
