#pragma once

// The lines of the log: one per attempted or refused rename, undo or
// repair, four TAB-separated fields (a word, one name, the arrow, the other
// name) and for an "Error" line the reason as a fifth. The window's memo,
// the preview and quor-rename all show these lines and count their errors
// here.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/rename/Refusal.h"

namespace quor {

// Between the two names of a line.
inline constexpr std::string_view kLogArrow = "\t\xE2\x86\x90\t";  // TAB ← TAB

// One line of a rename run: "Rename" or "Error", the new name as the rules
// returned it, the old name, and for an error why. Names are the entries'
// raw bytes.
struct RenameLine {
  bool Ok = false;
  std::string NewName;
  std::string OldName;
  Refusal Why;
  bool Plain = false;  // both names known to be plain text (IsPlainText): shown as they are
  std::string Follows = {};  // a file that came late: the name of the recording it followed
};

// One line of an undo: "Undo" or "Error", the path given back, the path the
// entry had, and for an error why.
struct UndoLine {
  bool Ok = false;
  std::string OldPath;
  std::string NewPath;
  Refusal Why;
};
// The same line, its paths those of the undo list, as the undo tells it
// while it goes (JournaledWalk.h): nothing is copied to tell it.
struct UndoLineView {
  bool Ok = false;
  std::string_view OldPath;
  std::string_view NewPath;
  const Refusal& Why;
};

// "Rename\t<new>\t←\t<old>" with names shown as DisplayName shows them (a
// file that followed a recording late adds "本体 <recording> に合わせました"
// as a fifth field, an "Error" line its reason only), and
// "Undo\t<old>\t←\t<new>" with full paths. An "Error" line has the same four
// fields and the reason as a fifth.
[[nodiscard]] std::string FormatLine(const RenameLine& line);
[[nodiscard]] std::string FormatLine(const UndoLine& line);
[[nodiscard]] std::string FormatLine(const UndoLineView& line);

// The note of a file that followed a recording late: "本体 X「a」.ts に合わせました".
[[nodiscard]] std::string FollowNote(const std::string& recording);

// The line for an entry moved back from the temporary name where a killed
// run left it: "Recover\t<path now>\t←\t<temporary path>", or, when it
// could not move (an empty `pathNow`), an "Error" line with the reason.
[[nodiscard]] std::string RecoverLine(std::string_view pathNow, std::string_view tempPath, const Refusal& why);

// The "Error" lines among `lines`.
template <typename Lines>
[[nodiscard]] std::size_t ErrorCount(const Lines& lines) {
  std::size_t errors = 0;
  for (const auto& line : lines) errors += line.Ok ? 0 : 1;
  return errors;
}

}  // namespace quor
