#pragma once

// The rules that a command line asks for: the settings file it names (or the
// window's own), its options, then -o, -r and -e. The run, the list and the
// watch all read them so.

#include <string>

#include "cli/CommandLine.h"
#include "engine/rename/NameRules.h"
#include "engine/settings/Settings.h"

namespace quor::cli {

// The settings file that the command line names, or the window's own; ""
// with --defaults.
[[nodiscard]] std::string SettingsFileOf(const CommandLine& line);

// The settings as the command line asks for them; false after saying why
// they cannot be had.
[[nodiscard]] bool ReadSettings(const CommandLine& line, FormSettings& s);

// The rules that the command line asks for: the settings file's, then -o,
// -r and -e. False after saying why they cannot be had (a settings file
// that cannot be read, a regex row that does not compile).
[[nodiscard]] bool ReadRules(const CommandLine& line, RenameOptions& options);

}  // namespace quor::cli
