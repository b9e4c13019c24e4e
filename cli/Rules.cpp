#include "cli/Rules.h"

#include <cerrno>

#include "cli/Report.h"
#include "system/Exception.h"
#include "system/SystemOps.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor::cli {

namespace {

// The window's own file: the window is quor-renamer beside this program's
// real file, in the build folder and in the installed lib/quor-renamer/.
std::string WindowSettingsPath() {
  const std::string configDir = SettingsFolder();
  const std::string self = ExecutablePath();
  // Without its own path the program cannot tell a kept copy's folder; the
  // current folder is nobody's choice.
  if (self.empty()) return configDir.empty() ? std::string() : configDir + "/quor-renamer.ini";
  const std::string window = ExtractFilePath(self, NativeCodepage()) + "quor-renamer";
  return SettingsPath(window, configDir);
}

}  // namespace

std::string SettingsFileOf(const CommandLine& line) {
  if (line.Defaults) return {};
  return line.SettingsFile.empty() ? WindowSettingsPath() : line.SettingsFile;
}

bool ReadSettings(const CommandLine& line, FormSettings& s) {
  if (!line.Defaults) {
    const std::string path = SettingsFileOf(line);
    // A file named on the command line must be there; the window's own may
    // not exist yet, which means the first start's options.
    if (!line.SettingsFile.empty() && !EntryExists(path)) {
      Say("settings file " + DisplayPath(path) + ": " + SysResult(ENOENT).Message());
      return false;
    }
    try {
      if (!path.empty()) LoadRuleSettings(path, s);
    } catch (const Exception& e) {
      Say("settings file " + DisplayPath(path) + " cannot be read: " + e.Message());
      return false;
    }
  }
  for (const auto& [id, value] : line.Overrides) s.Checked(id) = value;
  if (line.WithDir) s.WithDir = true;
  if (line.WithExt) s.WithExt = true;
  return true;
}

bool ReadRules(const CommandLine& line, RenameOptions& options) {
  FormSettings settings;
  if (!ReadSettings(line, settings)) return false;
  options = RenameOptionsOf(settings);
  // The file's rows keep the window's numbers; -r and -e follow the last one
  // in use, not the grid's empty rows.
  std::vector<ReplacePair>& list = options.ReplaceList;
  while (!list.empty() && list.back().Old.empty() && list.back().New.empty()) list.pop_back();
  const std::size_t fileRows = list.size();
  options.ReplaceList.insert(options.ReplaceList.end(), line.Replace.begin(), line.Replace.end());
  // A row that does not compile would not do what was asked: nothing runs.
  const std::vector<PatternError> broken = CheckPatterns(options);
  for (const PatternError& e : broken) Say(PatternProblem(e, options.ReplaceList[e.Row], fileRows, settings.RowKeys));
  return broken.empty();
}

}  // namespace quor::cli
