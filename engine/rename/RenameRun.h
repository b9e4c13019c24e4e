#pragma once

// The Rename command without a window: folder text and options in; log
// lines, undo entries and renames out. The preview answers the same plan
// and touches nothing.

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "engine/files/Findfile.h"
#include "engine/record/Journal.h"
#include "engine/rename/Companions.h"
#include "engine/rename/JournaledWalk.h"
#include "engine/rename/Listing.h"
#include "engine/rename/LogLines.h"
#include "engine/rename/NameRules.h"
#include "engine/rename/Refusal.h"
#include "engine/rename/Undo.h"

namespace quor {

struct RenameOutcome {
  std::vector<RenameLine> Lines;  // one per attempted or refused rename, in listing order
  std::size_t Renamed = 0;        // its "Rename" lines, whether kept or told (ProgressFn)
  std::size_t Errors = 0;         // its "Error" lines
  std::size_t Listed = 0;         // entries the folder text listed
  std::vector<std::string> NotFound;  // names of `only` that the folder does not hold (any order)
  FolderState Folder = FolderState::Listed;
  int FolderError = 0;  // the system's reason when the folder is Unreadable
  std::size_t Excluded = 0;  // entries that `exclude` left out
  bool Cancelled = false;
  // Set when something unexpected ended the run early. The lines and the
  // undo entries of every rename done before it are kept all the same; the
  // caller shows them, then the error.
  std::exception_ptr Failure;
  // Older runs that could still have been undone, removed from the history
  // as this run ended to keep it within its limits.
  std::vector<std::string> RemovedUndoable;
};

// Renames every entry that the folder text lists and whose name the rules
// change. The run holds the lock of its folder from before the listing to
// its end, waiting while another run holds it (see FolderLocks); a wait
// given up ends it cancelled, having done nothing. The whole listing is taken before the first rename, so a renamed
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
// engine/record/RecordFormat.h) and the record is closed at the end; a
// journal that cannot write lets the run go on without it.
//
// With `only`, the folder text names a folder without a mask and the run
// takes only its entries spelt exactly as one of these names (a single file
// handed over by a script), in listing order like any run.
//
// With `exclude`, an entry spelt exactly as one of these names is left out,
// with the companions that follow it: it is not touched, writes no line,
// and keeps its name, which the other entries' new names meet as any name.
//
// `earlier` gives the renames of earlier runs that files coming late follow
// (engine/rename/Companions.h); their lines name the recording followed.
//
// The run lists the folder and plans every entry (RunPlan.h) before the
// first rename, and then carries that plan out.
RenameOutcome RunRename(const std::string& folderText, const RenameOptions& options, UndoLists undo,
                        const ProgressFn& progress = {}, JournalWriter* journal = nullptr,
                        const NameSet* only = nullptr, const NameSet* exclude = nullptr,
                        const EarlierRenamesFn& earlier = {});

// RunRename for a caller whose way back is the history record alone (the
// command line): no undo list is kept, which spares a copy of every path.
RenameOutcome RunRecordedRename(const std::string& folderText, const RenameOptions& options, JournalWriter& journal,
                                const ProgressFn& progress = {}, const NameSet* only = nullptr,
                                const NameSet* exclude = nullptr, const EarlierRenamesFn& earlier = {});

// What RunRename would do now, touching nothing: each rename is checked
// against the folder as it stands and against the renames before it in the
// same run, and answered as the system would answer it. For a folder that
// nothing else changes, its lines are the lines that RunRename then writes,
// reasons included.
RenameOutcome PreviewRename(const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress = {}, const NameSet* only = nullptr,
                            const NameSet* exclude = nullptr, const EarlierRenamesFn& earlier = {});
// The same in a simulated folder that earlier previews renamed in, for a
// preview of several runs one after the other.
class SimulatedFolder;
RenameOutcome PreviewRename(SimulatedFolder& folder, const std::string& folderText, const RenameOptions& options,
                            const ProgressFn& progress = {}, const NameSet* only = nullptr,
                            const NameSet* exclude = nullptr, const EarlierRenamesFn& earlier = {});

}  // namespace quor
