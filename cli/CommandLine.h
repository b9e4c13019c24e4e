#pragma once

// What the command line asks for, parsed without touching anything.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/Design.h"
#include "engine/rename/NameRules.h"

namespace quor::cli {

enum class Mode { Rename, Undo, History, List, Watch, Help, Version };

struct CommandLine {
  Mode What = Mode::Rename;
  std::vector<std::string> Paths;  // as typed
  // For each of Paths, 1 when it came from --path-env: one entry, never a
  // mask nor a folder to go through, whatever its name holds.
  std::vector<char> PathIsEntry;
  std::string SettingsFile;        // --settings; "" for the window's own file
  bool Defaults = false;           // --defaults: no file at all
  std::vector<std::pair<Option, bool>> Overrides;  // -o, in the order given
  std::vector<ReplacePair> Replace;                // -r and -e in the order given, after the file's list
  bool DryRun = false;
  bool Quiet = false;
  bool Themselves = false;  // -d: a folder PATH is an entry to rename, not a folder to go through
  std::string UndoId;       // --undo ID; "" for the newest run
  bool WithDir = false;     // --with-dir, --with-ext: tick the box; else the file's state
  bool WithExt = false;
  // --watch: how long an entry must be quiet (--settle), and how often a
  // folder is listed when it is polled (--poll; zero: only network file
  // systems are polled, every five seconds).
  std::chrono::milliseconds Settle{10000};
  std::chrono::milliseconds Poll{0};
};

// A command line that makes no sense; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads an environment variable: null when it is not set.
using EnvironmentFn = std::function<const char*(const char* name)>;

// Throws UsageError. `getenv` answers --path-env.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& args,
                                           const EnvironmentFn& getenv = std::getenv);

// What is wrong with a regex row that does not compile: the pattern, where
// the row came from, the offset (in characters) and the compiler's message;
// or which mark of a settings row is not understood. The list's first
// `fileRows` rows came from the settings file, each under its key in
// `keys` (a row past them is named by its place), the rest from -r and -e.
[[nodiscard]] std::string PatternProblem(const PatternError& error, const ReplacePair& row, std::size_t fileRows,
                                         const std::vector<std::string>& keys);

// The text of --help.
[[nodiscard]] std::string HelpText();

}  // namespace quor::cli
