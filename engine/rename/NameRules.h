#pragma once

// The name rules: the switches and the replace list that turn one entry's
// name into its new name, in a code page given as a value.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Design.h"
#include "engine/rename/RegexRow.h"
#include "text/Codepage.h"

namespace quor {

// One row of the replace list.
struct ReplacePair {
  std::string Old;     // text to find, or the pattern of a regex row; an empty one has no effect
  std::string New;     // its replacement; empty deletes what was found
  bool Regex = false;  // Old and New as RegexRow reads them, not as plain text
  // A mark of its settings row that this version does not understand (a
  // third item other than "re"), kept as the file holds it: the row is
  // broken, as a pattern that does not compile is, until it is decided.
  std::string Unknown = {};

  bool operator==(const ReplacePair&) const = default;
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
  bool AlnumZenToHan = DefaultOf(Option::AlnumZenToHan);        // Ａ-Ｚ ａ-ｚ ０-９ -> A-Z a-z 0-9
  bool Companions = DefaultOf(Option::Companions);              // X.ts.err follows X.ts, no rules of its own
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
    case Option::AlnumZenToHan: return &RenameOptions::AlnumZenToHan;
    case Option::Companions: return &RenameOptions::Companions;
    case Option::IgnoreCase: return &RenameOptions::IgnoreCase;
    case Option::WithDir:
    case Option::WithExt: return nullptr;
  }
  return nullptr;
}

// Why the rules gave an entry no new name.
enum class RuleFailure {
  None,
  NotText,     // a CP932 name that a regex row must read holds a code with no character
  MatchLimit,  // a regex row reached its bound of work on this name
  NotInCp932,  // regex rows gave a CP932 name a character that CP932 cannot hold
};

struct RuleResult {
  RuleFailure Failure = RuleFailure::None;
  std::size_t Row = 0;  // the replace row (its index) that failed

  [[nodiscard]] explicit operator bool() const { return Failure != RuleFailure::None; }
};

// The rules with the replace list made ready once for a whole run: each
// plain pair in both code pages, each regex row compiled. Not for two
// threads at once (the regex rows keep their match space).
class CompiledRules {
 public:
  // The plain pairs are text in `pairsIn`; the regex rows are UTF-8 text
  // whatever `pairsIn` says, as PCRE2 reads them.
  explicit CompiledRules(const RenameOptions& options, Codepage pairsIn = Codepage::Utf8);
  ~CompiledRules();
  CompiledRules(const CompiledRules&) = delete;
  CompiledRules& operator=(const CompiledRules&) = delete;

  // The regex rows that do not compile and the rows with a mark that is not
  // understood (ReplacePair::Unknown), in list order. A run must not start
  // while there is one: the list would not do what the user wrote. Apply
  // skips them.
  [[nodiscard]] const std::vector<PatternError>& Errors() const { return errors_; }

  // The new name of an entry whose name is read in `codepage`. Eight steps
  // in a fixed order, each on the result of the one before: brackets to
  // full width, extension to lower case, space after 話 put in, space after
  // 話 taken out, cut after the first closing bracket keeping the
  // extension, brackets removed, full-width letters and digits to ASCII,
  // then the replace list, plain and regex rows in list order. The
  // literals are encoded in `codepage`, and so are the plain pairs for it
  // (a pair that CP932 cannot hold does nothing to a CP932 name). A regex
  // row reads a CP932 name as text: converted to UTF-8, matched, and
  // converted back after the last of consecutive regex rows.
  //
  // The result goes to `name`; it may be empty (a name made only of
  // brackets under DeleteKakko). On a failure the result says which row
  // failed and `name` holds what the rules had made of the name by then;
  // for NotInCp932 that is the UTF-8 text that CP932 could not hold.
  RuleResult Apply(std::string_view source, Codepage codepage, std::string& name) const;

 private:
  struct Row;
  RenameOptions options_;  // the switches; its list is in rows_
  std::vector<Row> rows_;
  std::vector<PatternError> errors_;
  mutable std::string text_;     // a CP932 name as UTF-8 while regex rows read it
  mutable std::string scratch_;  // where a regex row writes
};

// The regex rows of `options` that do not compile, and the rows whose mark
// is not understood, as CompiledRules finds them.
[[nodiscard]] std::vector<PatternError> CheckPatterns(const RenameOptions& options);

// What the status line says of a broken row: "置換リスト 3 行目の正規表現が正し
// くありません（位置 4）: missing closing parenthesis", rows counted from 1;
// of a mark that is not understood, which mark and how to decide.
[[nodiscard]] std::string PatternErrorText(const PatternError& error);

// CompiledRules(options, codepage).Apply(name, codepage), for one name: the
// literals and the plain pairs are encoded in `codepage`. A broken regex row
// does nothing; a name on which a regex row fails comes back as it was
// given.
//   ApplyNameRules("第1話｢タイトル｣.MP4", {}, Utf8) == "第1話「タイトル」.mp4"
[[nodiscard]] std::string ApplyNameRules(std::string_view name, const RenameOptions& options,
                                         Codepage codepage);

}  // namespace quor
