#pragma once

// A replace row that is a regular expression, compiled once and applied to
// many names.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quor {

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
  // The work is bounded: each search stops after a fixed number of steps
  // (PCRE2's match and depth limits; the JIT's stack is bounded too) and a
  // name takes at most two searches per character, so no pattern can hang
  // a run; reaching the bound gives Limit. The bound is counted, not timed,
  // so that a preview and the run that follows give the same lines. `out` must not alias `text`.
  // Not for two threads at once: the row keeps its match space.
  Outcome ReplaceAll(std::string_view text, std::string& out) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  PatternError error_;
};

}  // namespace quor
