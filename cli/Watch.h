#pragma once

// quor-rename --watch: renames what is in some folders, then each entry
// that arrives in them (created, or moved in) once it is complete, as runs
// of quor-rename with single names: recorded, holding the folder's lock,
// undoable.
//
// An entry is complete once nothing has happened to it for the quiet time
// (--settle) and, for a file, no process of this machine has it open for
// writing any more (where a read lease tells; system/FolderWatch.h). On a
// network file system (system/Mounts.h), or with --poll, the folder is
// listed every few seconds instead of waiting for the kernel's events, and
// an entry is complete when it looked the same at both ends of the quiet
// time. A folder that arrives is complete when nothing in its tree changed
// over that time. Entries that come due together are one run. Hidden
// entries (a copying tool's temporary files) are left alone, and so is an
// entry whose name a recorded run gave it or an undo gave back, as long as
// it is unchanged since (engine/history/FolderHistory.h).
//
// A queue of events that overflowed, or a folder that was replaced, is
// answered with a listing of the whole folder; a folder that is gone is
// looked for every two seconds. The settings file is read again before a
// run when it has changed.

#include "cli/CommandLine.h"

namespace quor::cli {

// Watches until SIGTERM, SIGHUP or Ctrl+C, which end it after the entry in
// progress with status 0. Status 2 when the command line names no folder
// to watch or rules that cannot be had.
[[nodiscard]] int WatchCommand(const CommandLine& line);

}  // namespace quor::cli
