#pragma once

// The window as it is before any settings are loaded, and the switches
// it shows as check boxes. Each option's settings key and first-start
// default are defined on one line of kOptions and nowhere else: the name
// rules, the settings file and the window all read them from here.

#include <array>
#include <cstddef>

namespace quor {

// The check boxes, in the order the settings file writes them.
enum class Option : std::size_t {
  LowerExt,
  KakkoHanToZen,
  WaSpaceKakko,
  WaKakko,
  DeleteAfterKakko,
  DeleteKakko,
  AlnumZenToHan,
  Companions,
  IgnoreCase,
  WithDir,
  WithExt,
};
inline constexpr std::size_t kOptionCount = 11;

struct OptionDef {
  Option Id;
  const char* Section;  // of the settings file
  const char* Key;      // in that section
  bool Default;         // checked at first start
  const char* Control;  // the check box of the window
  const char* Caption;  // its caption
};

inline constexpr std::array<OptionDef, kOptionCount> kOptions = {{
    {Option::LowerExt, "Rename", "LowerExt", true, "CheckBoxLowerExt", "拡張子を小文字にする"},
    {Option::KakkoHanToZen, "Rename", "KakkoHanToZen", true, "CheckBoxZenkakuKakko", "半角｢｣→全角「」"},
    {Option::WaSpaceKakko, "Rename", "WaSpaceKakko", false, "CheckBoxWaSpKakko", "\"話\"と\"「\"の間を空ける"},
    {Option::WaKakko, "Rename", "WaKakko", false, "CheckBoxWaKakko", "\"話\"と\"「\"の間を空けない"},
    {Option::DeleteAfterKakko, "Rename", "DeleteAfterKakko", false, "CheckBoxDelAfterKakko", "\"」\"後拡張子までを削除"},
    {Option::DeleteKakko, "Rename", "DeleteKakko", false, "CheckBoxDeleteKakko", "「」を取る"},
    {Option::AlnumZenToHan, "Rename", "AlnumZenToHan", false, "CheckBoxAlnumZenToHan", "全角英数字を半角にする"},
    {Option::Companions, "Rename", "Companions", true, "CheckBoxCompanions", "付属ファイルも揃える"},
    {Option::IgnoreCase, "ReplaceList", "IgnoreCase", true, "CheckBoxIgnoreCase", "大文字/小文字を区別しない"},
    {Option::WithDir, "FileList", "WithDir", false, "CheckBoxWithDir", "ディレクトリ"},
    {Option::WithExt, "FileList", "WithExt", false, "CheckBoxWithExt", "拡張子"},
}};

[[nodiscard]] constexpr const OptionDef& Def(Option id) { return kOptions[static_cast<std::size_t>(id)]; }
[[nodiscard]] constexpr bool DefaultOf(Option id) { return Def(id).Default; }

constexpr bool RowsInEnumOrder() {
  for (std::size_t i = 0; i < kOptionCount; ++i)
    if (static_cast<std::size_t>(kOptions[i].Id) != i) return false;
  return true;
}
static_assert(RowsInEnumOrder(), "kOptions is indexed by Option");

// The window's design bounds, in pixels: the size it never restores below.
struct Bounds {
  int Left, Top, Width, Height;
};
inline constexpr Bounds kDesignBounds = {234, 257, 640, 400};

// The replace grid's design shape: the header row and six rows to fill;
// Old and New, then the column of regex boxes, narrow enough that the three
// fit the window's design width.
struct GridShape {
  int Cols, Rows, FixedRows, ColWidth, RowHeight;
};
inline constexpr GridShape kGridDesign = {3, 7, 1, 250, 18};
inline constexpr int kGridDataRows = kGridDesign.Rows - kGridDesign.FixedRows;
inline constexpr int kRegexColumn = 2;
inline constexpr int kRegexColWidth = 72;
// Row 0's text: the header of the columns.
inline constexpr char kGridHeader[] = "Old\r\nNew\r\n正規表現";

}  // namespace quor
