#pragma once

#include "cli/CommandLine.h"

namespace quor::cli {

// The exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorLines = 1;  // an Error line, or a run that something cut short
inline constexpr int kExitUsage = 2;       // also an unreadable settings file, a PATH that does not exist
inline constexpr int kExitSignalBase = 128;  // + the signal that stopped the run: 130 after Ctrl+C

// Carries out a parsed command line (Help and Version included) and returns
// the exit status. Interrupted runs from the history are repaired first.
[[nodiscard]] int RunCommand(const CommandLine& line);

}  // namespace quor::cli
