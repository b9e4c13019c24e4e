#pragma once

// Why a rename or a rename back was refused, and how the log says it: the
// fifth field of an "Error" line and the preview's status column.

#include <cstddef>
#include <string>
#include <utility>

#include "engine/rename/NameRules.h"
#include "system/SystemOps.h"

namespace quor {

struct Refusal {
  enum class Kind {
    None,
    Exists,         // an entry with the new name exists
    EmptyName,      // the new name is empty (or blanks only)
    OnlyExtension,  // nothing left before the extension: a visible file would turn hidden
    Separator,      // the new name holds "/"
    DotName,        // the new name is "." or ".."
    NulByte,        // the new name holds a NUL byte
    NotInCodepage,  // the old name is valid in no code page
    RegexLimit,     // a regex row of the replace list reached its bound of work on this name
    NotInCp932,     // regex rows gave a CP932 name a character that CP932 cannot hold
    AccessDenied,   // EACCES, EPERM
    ReadOnly,       // EROFS
    Vanished,       // the entry is gone
    Replaced,       // another entry bears the name that the run gave: not the run's to take back
    MainNotRenamed, // a companion file whose recording was not renamed
    FolderGone,     // the folder to go back into is gone
    NameTooLong,    // ENAMETOOLONG
    Stranded,       // a case-only rename could neither finish nor go back
    LaterRun,       // a later run renamed the entry or its folder: that one is to be undone first
    System,         // any other errno
  };
  Refusal() = default;
  explicit Refusal(Kind what, int error = 0, std::string strandedAt = {})
      : What(what), Error(error), StrandedAt(std::move(strandedAt)) {}

  Kind What = Kind::None;
  int Error = 0;           // the errno of a System refusal
  std::string StrandedAt;  // where a Stranded entry is now; the run of a LaterRun refusal
  std::size_t Row = 0;     // the replace row, counted from 1, of a RegexLimit refusal

  [[nodiscard]] explicit operator bool() const { return What != Kind::None; }
};

// The refusal that the system's answer to a rename means.
[[nodiscard]] Refusal RefusalOf(const RenameResult& result);

// The refusal that a failure of the rules means; none for a success.
[[nodiscard]] Refusal RefusalOf(const RuleResult& result);

// A few Japanese words on one line: "同じ名前が既にあります". A Stranded
// refusal names the place; a System one adds the system's own message.
[[nodiscard]] std::string RefusalText(const Refusal& refusal);

}  // namespace quor
