#pragma once

// The main window's design: one table of the check boxes that show the
// options (control name and caption, indexed by the engine's Option), the
// window's design bounds and the replace grid's shape and header.

#include <array>
#include <cstddef>

#include "engine/Design.h"
#include "engine/settings/Settings.h"

namespace quor {

struct OptionBox {
  Option Id;
  const char* Control;  // the check box's object name
  const char* Caption;  // its caption, which is also its accessible name
};

inline constexpr std::array<OptionBox, kOptionCount> kOptionBoxes = {{
    {Option::LowerExt, "CheckBoxLowerExt", "拡張子を小文字にする"},
    {Option::KakkoHanToZen, "CheckBoxZenkakuKakko", "半角｢｣→全角「」"},
    {Option::WaSpaceKakko, "CheckBoxWaSpKakko", "\"話\"と\"「\"の間を空ける"},
    {Option::WaKakko, "CheckBoxWaKakko", "\"話\"と\"「\"の間を空けない"},
    {Option::DeleteAfterKakko, "CheckBoxDelAfterKakko", "\"」\"後拡張子までを削除"},
    {Option::DeleteKakko, "CheckBoxDeleteKakko", "「」を取る"},
    {Option::AlnumZenToHan, "CheckBoxAlnumZenToHan", "全角英数字を半角にする"},
    {Option::Companions, "CheckBoxCompanions", "付属ファイルも揃える"},
    {Option::IgnoreCase, "CheckBoxIgnoreCase", "大文字/小文字を区別しない"},
    {Option::WithDir, "CheckBoxWithDir", "ディレクトリ"},
    {Option::WithExt, "CheckBoxWithExt", "拡張子"},
}};

[[nodiscard]] constexpr const OptionBox& BoxOf(Option id) { return kOptionBoxes[static_cast<std::size_t>(id)]; }

// A row left out would be zero-filled, and an option would get no box.
constexpr bool EveryOptionHasItsBox() {
  for (std::size_t i = 0; i < kOptionCount; ++i) {
    const OptionBox& box = kOptionBoxes[i];
    if (static_cast<std::size_t>(box.Id) != i || box.Control == nullptr || box.Caption == nullptr) return false;
  }
  return true;
}
static_assert(EveryOptionHasItsBox(), "kOptionBoxes holds one check box per Option, indexed by it");

// The window's design bounds, in pixels: where it opens at first start,
// and the size it never restores below.
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
inline constexpr int kRegexColumn = 2;
inline constexpr int kRegexColWidth = 72;
// Row 0's text: the header of the columns.
inline constexpr char kGridHeader[] = "Old\r\nNew\r\n正規表現";

// The settings start from this design, so that what the engine reads
// without a window means what the window's own reading does.
static_assert(kDesignBounds.Left == kFirstStartBounds.Left && kDesignBounds.Top == kFirstStartBounds.Top &&
                  kDesignBounds.Width == kFirstStartBounds.Width && kDesignBounds.Height == kFirstStartBounds.Height,
              "the settings' first-start bounds are the window's design bounds");
static_assert(static_cast<std::size_t>(kGridDesign.Rows - kGridDesign.FixedRows) == kFirstStartRows,
              "the settings' first-start rows are the grid's data rows");

}  // namespace quor
