#pragma once

// The options the rules and the file list switch on and off: each one's
// settings section, key and first-start default, on one line of kOptions
// and nowhere else. The name rules, the settings file and both programs
// read them from here; the window keeps its own captions for them.

#include <array>
#include <cstddef>

namespace quor {

// The options, in the order the settings file writes them.
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
  bool Default;         // on at first start
};

inline constexpr std::array<OptionDef, kOptionCount> kOptions = {{
    {Option::LowerExt, "Rename", "LowerExt", true},
    {Option::KakkoHanToZen, "Rename", "KakkoHanToZen", true},
    {Option::WaSpaceKakko, "Rename", "WaSpaceKakko", false},
    {Option::WaKakko, "Rename", "WaKakko", false},
    {Option::DeleteAfterKakko, "Rename", "DeleteAfterKakko", false},
    {Option::DeleteKakko, "Rename", "DeleteKakko", false},
    {Option::AlnumZenToHan, "Rename", "AlnumZenToHan", false},
    {Option::Companions, "Rename", "Companions", true},
    {Option::IgnoreCase, "ReplaceList", "IgnoreCase", true},
    {Option::WithDir, "FileList", "WithDir", false},
    {Option::WithExt, "FileList", "WithExt", false},
}};

[[nodiscard]] constexpr const OptionDef& Def(Option id) { return kOptions[static_cast<std::size_t>(id)]; }
[[nodiscard]] constexpr bool DefaultOf(Option id) { return Def(id).Default; }

constexpr bool RowsInEnumOrder() {
  for (std::size_t i = 0; i < kOptionCount; ++i)
    if (static_cast<std::size_t>(kOptions[i].Id) != i) return false;
  return true;
}
static_assert(RowsInEnumOrder(), "kOptions is indexed by Option");

}  // namespace quor
