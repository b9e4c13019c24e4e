#pragma once

// The Rename and Undo commands without a window: folder text, options and
// undo list in; log lines, undo entries and renames out.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/rename/NameRules.h"
#include "system/SystemOps.h"

namespace quor {

// Called after each entry with the count done and the total; returning
// false stops the command there (after the entry in progress).
using ProgressFn = std::function<bool(std::size_t done, std::size_t total)>;

// One line of a rename run: "Rename" or "Error", the new name as the rules
// returned it, the old name. Names are the entries' raw bytes.
struct RenameLine {
  bool Ok = false;
  std::string NewName;
  std::string OldName;
  RenameResult Result;  // why a rename failed
};

struct RenameOutcome {
  std::vector<RenameLine> Lines;  // one per attempted or refused rename, in listing order
  std::size_t Listed = 0;         // entries the folder text listed
  bool Cancelled = false;
};

// The parallel undo lists: entry i of both is one successful rename.
struct UndoLists {
  std::vector<std::string>& OldPaths;
  std::vector<std::string>& NewPaths;
};

// Renames every entry that the folder text lists and whose name the rules
// change. The whole listing is taken before the first rename, so a renamed
// entry is never seen twice. An empty folder text renames nothing. A new
// name that is empty, ".", "..", holds a '/', or belongs to a name valid in
// no code page is refused with an "Error" line. Only trailing blanks of the
// new name are cut; the folder part stays as listed. Each success is
// appended to `undo`, which the run empties first.
RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress = {});

// What RunRename would do now, touching nothing: each rename is checked
// against the folder as it stands and against the renames before it in the
// same run. For a folder that nothing else changes, its lines are the lines
// that RunRename then writes.
RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress = {});

// One line of an undo: "Undo" or "Error", the path given back, the path the
// entry had.
struct UndoLine {
  bool Ok = false;
  std::string OldPath;
  std::string NewPath;
  RenameResult Result;  // why a rename back failed
};

struct UndoOutcome {
  std::vector<UndoLine> Lines;
  bool Cancelled = false;
};

// Renames the entries of the last run back, the last rename first (a chain
// A->B, C->A only comes apart in that order). Entries whose new path no
// longer exists are skipped without a line; files and folders alike are
// restored. The lists end empty, except after a cancel, when the entries
// not yet replayed stay for a later Undo.
UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress = {});

// The texts of the memo: "Rename\t<new>\t←\t<old>" with names shown as
// DisplayName shows them, and "Undo\t<old>\t←\t<new>" with full paths.
[[nodiscard]] std::string FormatLine(const RenameLine& line);
[[nodiscard]] std::string FormatLine(const UndoLine& line);

}  // namespace quor
