#pragma once

// What quor-rename does with a parsed command line, and the exit statuses
// that scripts test.

#include "cli/CommandLine.h"
#include <string>

#include "engine/rename/JournaledWalk.h"
#include "engine/rename/NameRules.h"

namespace quor::cli {

// The exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorLines = 1;  // an Error line, or a run that something cut short
inline constexpr int kExitUsage = 2;       // also an unreadable settings file, a PATH that does not exist
inline constexpr int kExitSignalBase = 128;  // + the signal that stopped the run: 130 after Ctrl+C

// Carries out a parsed command line (Help and Version included) and returns
// the exit status. Interrupted runs from the history are repaired first,
// except by a dry run, which only says what a repair would do. `hook` is
// called after each entry of a run beside the progress; false stops the
// run as Ctrl+C does (tests use it to stop or fail a run midway).
[[nodiscard]] int RunCommand(const CommandLine& line, const ProgressFn::StepFn& hook = {});

// What the commands share with the watch (cli/Watch.h):
// "quor-rename: <message>" on standard error.
void Say(const std::string& message);
// The settings file that the command line names, or the window's own; ""
// with --defaults.
[[nodiscard]] std::string SettingsFileOf(const CommandLine& line);
// The rules that the command line asks for: the settings file's, then -o,
// -r and -e. False after saying why they cannot be had (a settings file
// that cannot be read, a regex row that does not compile).
[[nodiscard]] bool ReadRules(const CommandLine& line, RenameOptions& options);

}  // namespace quor::cli
