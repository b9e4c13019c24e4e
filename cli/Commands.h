#pragma once

// What quor-rename does with a parsed command line, and the exit statuses
// that scripts test.

#include "cli/CommandLine.h"
#include "cli/Report.h"
#include "engine/rename/JournaledWalk.h"

namespace quor::cli {

// Carries out a parsed command line (Help and Version included) and returns
// the exit status. Interrupted runs from the history are repaired first,
// except by a dry run, which only says what a repair would do. `hook` is
// called after each entry of a run beside the progress; false stops the
// run as Ctrl+C does (tests use it to stop or fail a run midway).
[[nodiscard]] int RunCommand(const CommandLine& line, const ProgressFn::StepFn& hook = {});

}  // namespace quor::cli
