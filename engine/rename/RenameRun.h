#pragma once

// The Rename and Undo commands without a window: folder text, options and
// undo list in; log lines, undo entries and renames out.

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/history/Journal.h"
#include "engine/rename/NameRules.h"
#include "engine/rename/Refusal.h"

namespace quor {

// Called after each entry with the count done and the total; returning
// false stops the command there (after the entry in progress).
using ProgressFn = std::function<bool(std::size_t done, std::size_t total)>;

// One line of a rename run: "Rename" or "Error", the new name as the rules
// returned it, the old name, and for an error why. Names are the entries'
// raw bytes.
struct RenameLine {
  bool Ok = false;
  std::string NewName;
  std::string OldName;
  Refusal Why;
  bool Plain = false;  // both names known to be plain text (IsPlainText): shown as they are
};

// What the folder text named.
enum class FolderState {
  Listed,       // a folder, listed (it may hold nothing that matches)
  NotAbsolute,  // empty, a bare mask or a relative path: the program's own current folder, which nobody chose
  Missing,      // no such folder
  Unreadable,   // a folder whose entries cannot be listed (no read permission, ...)
};

struct RenameOutcome {
  std::vector<RenameLine> Lines;  // one per attempted or refused rename, in listing order
  std::size_t Listed = 0;         // entries the folder text listed
  FolderState Folder = FolderState::Listed;
  int FolderError = 0;  // the system's reason when the folder is Unreadable
  bool Cancelled = false;
  // Set when something unexpected ended the run early. The lines and the
  // undo entries of every rename done before it are kept all the same; the
  // caller shows them, then the error.
  std::exception_ptr Failure;
};

// The parallel undo lists: entry i of both is one successful rename.
struct UndoLists {
  std::vector<std::string>& OldPaths;
  std::vector<std::string>& NewPaths;
};

// Renames every entry that the folder text lists and whose name the rules
// change. The whole listing is taken before the first rename, so a renamed
// entry is never seen twice. A folder text that names no folder by an
// absolute path (empty, a bare mask, a relative path) renames nothing. A new
// name that is empty, ".", "..", holds a '/' or a NUL, keeps only an
// extension where the old name had more, or belongs to a name valid in no
// code page is refused with an "Error" line, as is every rename the system
// refuses; each says why. Only trailing blanks of the new name are cut; the
// folder part stays as listed. Each success is appended to `undo`, which
// the run empties first.
//
// With a journal, every rename is on record before it is tried (see
// engine/history/Journal.h) and the record is closed at the end; a journal
// that cannot write lets the run go on without it.
//
// With `only`, the folder text names a folder without a mask and the run
// takes only its entries spelt exactly as one of these names (a single file
// handed over by a script), in listing order like any run.
RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress = {}, JournalWriter* journal = nullptr,
                        const NameSet* only = nullptr);

// RunRename for a caller whose way back is the history record alone (the
// command line): no undo list is kept, which spares a copy of every path.
RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress = {}, const NameSet* only = nullptr);

// What RunRename would do now, touching nothing: each rename is checked
// against the folder as it stands and against the renames before it in the
// same run, and answered as the system would answer it. For a folder that
// nothing else changes, its lines are the lines that RunRename then writes,
// reasons included.
RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress = {}, const NameSet* only = nullptr);

// One line of an undo: "Undo" or "Error", the path given back, the path the
// entry had, and for an error why.
struct UndoLine {
  bool Ok = false;
  std::string OldPath;
  std::string NewPath;
  Refusal Why;
};

struct UndoOutcome {
  std::vector<UndoLine> Lines;
  bool Cancelled = false;
  std::exception_ptr Failure;  // as in RenameOutcome
};

// Renames the entries of the last run back, the last rename first (a chain
// A->B, C->A only comes apart in that order); files and folders alike. An
// entry whose new path no longer exists gets an "Error" line and leaves the
// list. An entry whose rename back is refused (an entry under the old name,
// a read-only folder) gets an "Error" line and stays in the list, so that
// Undo can try it again once the cause is gone; so do the entries not yet
// replayed when the undo is cancelled or fails.
UndoOutcome RunUndo(UndoLists undo, const ProgressFn& progress = {}, JournalWriter* journal = nullptr);

// The texts of the memo: "Rename\t<new>\t←\t<old>" with names shown as
// DisplayName shows them, and "Undo\t<old>\t←\t<new>" with full paths. An
// "Error" line has the same four fields and the reason as a fifth.
[[nodiscard]] std::string FormatLine(const RenameLine& line);
[[nodiscard]] std::string FormatLine(const UndoLine& line);

}  // namespace quor
