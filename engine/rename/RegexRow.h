#pragma once

// A replace row that is a regular expression, compiled once and applied to
// many names.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quor {

// The work that one name may cost all the regex rows together, in units:
// one step of PCRE2's match limit on a short text (a step on a longer text
// counts for more, and on a pattern with back references for four times
// that), plus one for each search and for each 64 bytes that a search may
// scan or that a replacement writes. About 10 ms on the worst patterns we
// know of (bench/core_rules.cpp measures them); ordinary rows use a few
// hundred units per row even on names of 255 bytes.
inline constexpr std::uint64_t kRegexNameBudget = 200'000;

// Why a regular-expression row cannot be used.
struct PatternError {
  std::size_t Row = 0;         // the row's index in the replace list
  bool InReplacement = false;  // the fault is in the replacement, not in the pattern
  std::size_t Offset = 0;      // characters before the point where the fault was found
  std::string Message;         // the compiler's own words for a pattern
  // Not the pattern's fault: the row's mark in the settings file, which this
  // version does not understand (ReplacePair::Unknown). Message is empty.
  std::string UnknownMark;
};

// The pattern is PCRE2 syntax in UTF mode, matched against names as UTF-8
// text; a byte that is no UTF-8 never matches anything, not even ".". \d,
// \w and \s are ASCII unless the pattern starts with (*UCP); \C is refused,
// so that a match never splits a character. The replacement is plain text
// in which "$1" or "${1}" inserts group 1 (a group that took no part in the
// match inserts nothing), "${name}" the named group, "$0" the whole match
// and "$$" a dollar; any other "$" is a fault of the replacement, found when
// the row is compiled, as is a group the pattern does not have. A backslash
// is an ordinary character.
class RegexRow {
 public:
  // Compiles both; caseless makes letters match without regard to case
  // (Unicode case folding: ａ matches Ａ). A pattern or replacement that
  // does not compile leaves the row unusable, with Error() saying why.
  RegexRow(std::string_view pattern, std::string_view replacement, bool caseless);
  ~RegexRow();
  RegexRow(const RegexRow&) = delete;
  RegexRow& operator=(const RegexRow&) = delete;

  [[nodiscard]] bool Ok() const { return error_.Message.empty(); }
  [[nodiscard]] const PatternError& Error() const { return error_; }

  enum class Outcome {
    Unchanged,  // no match: `out` is left alone
    Replaced,   // `out` holds the new text
    Limit,      // the bound of work was reached: no result
  };

  // Every non-overlapping match, from left to right, is replaced, and the
  // search goes on after it, so inserted text is never searched again. An
  // empty match is replaced too, as in Perl: "^" inserts at the start, and
  // "x*" on "ab" gives the replacement before "a", between and after "b".
  // An empty match right after a match is taken ("a*" on "baac" matches
  // "", "aa", "" and "": "-b--c-" with "-"), but never twice at one place.
  // The work is charged to `budget` (see kRegexNameBudget), which one name
  // shares among its rows: each search runs under a small match limit and
  // again under one four times as large while it reaches it, each limit
  // charged in full, until the budget is spent; the depth and the JIT's
  // stack are bounded too. Reaching the bound gives Limit, so no pattern
  // can hang a run. The bound is counted, not timed, so that a preview and
  // the run that follows give the same lines. `out` must not alias `text`.
  // Not for two threads at once: the row keeps its match space.
  Outcome ReplaceAll(std::string_view text, std::string& out, std::uint64_t& budget) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  PatternError error_;
};

}  // namespace quor
