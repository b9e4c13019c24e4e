#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/Design.h"
#include "text/Codepage.h"

namespace quor {

struct ReplacePair {
  std::string Old;  // text to find; an empty one has no effect
  std::string New;  // its replacement; empty deletes Old
};

// The rule switches, filled from the window's controls. A default record
// holds the states the controls have before any settings are loaded.
struct RenameOptions {
  bool KakkoHanToZen = DefaultOf(Option::KakkoHanToZen);        // ｢｣ -> 「」
  bool LowerExt = DefaultOf(Option::LowerExt);                  // extension to lower case
  bool WaSpaceKakko = DefaultOf(Option::WaSpaceKakko);          // 話「 -> 話 「
  bool WaKakko = DefaultOf(Option::WaKakko);                    // 話 「 -> 話「
  bool DeleteAfterKakko = DefaultOf(Option::DeleteAfterKakko);  // drop what stands between 」 and the extension
  bool DeleteKakko = DefaultOf(Option::DeleteKakko);            // drop every corner bracket
  bool IgnoreCase = DefaultOf(Option::IgnoreCase);              // replace list matches without regard to case
  std::vector<ReplacePair> ReplaceList;
};

// The field of RenameOptions that an option sets; null for the file-list
// options, which no rule reads.
[[nodiscard]] constexpr bool RenameOptions::*RuleField(Option id) {
  switch (id) {
    case Option::KakkoHanToZen: return &RenameOptions::KakkoHanToZen;
    case Option::LowerExt: return &RenameOptions::LowerExt;
    case Option::WaSpaceKakko: return &RenameOptions::WaSpaceKakko;
    case Option::WaKakko: return &RenameOptions::WaKakko;
    case Option::DeleteAfterKakko: return &RenameOptions::DeleteAfterKakko;
    case Option::DeleteKakko: return &RenameOptions::DeleteKakko;
    case Option::IgnoreCase: return &RenameOptions::IgnoreCase;
    case Option::WithDir:
    case Option::WithExt: return nullptr;
  }
  return nullptr;
}

// The new name of one directory entry. Seven steps in a fixed order, each on
// the result of the one before: brackets to full width, extension to lower
// case, space after 話 put in, space after 話 taken out, cut after the first
// closing bracket keeping the extension, brackets removed, replace list.
// The literals are encoded in `codepage`. Never fails; the result may be
// empty (a name made only of brackets under DeleteKakko).
//   ApplyNameRules("第1話｢タイトル｣.MP4", {}, Utf8) == "第1話「タイトル」.mp4"
[[nodiscard]] std::string ApplyNameRules(std::string_view name, const RenameOptions& options,
                                         Codepage codepage);

}  // namespace quor
