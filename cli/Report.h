#pragma once

// How quor-rename answers: the exit statuses that scripts test, and its
// messages on standard error.

#include <string>

namespace quor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorLines = 1;  // an Error line, or a run that something cut short
inline constexpr int kExitUsage = 2;       // also an unreadable settings file, a PATH that does not exist
inline constexpr int kExitSignalBase = 128;  // + the signal that stopped the run: 130 after Ctrl+C

// "quor-rename: <message>" on standard error.
void Say(const std::string& message);

}  // namespace quor::cli
