#pragma once

#include <array>
#include <string>
#include <vector>

#include "rename/NameRules.h"

namespace quor {

// The version constant: caption Ver.1.00.0, stored as "Version".
inline constexpr int ProgramVersion = 1000;

// The window's state as the settings file stores it. The window copies its
// controls into this record before a save and back after a load, so that
// the file format is handled and tested without a display.
struct FormSettings {
  int Left = 234;  // outer bounds of the window, in pixels
  int Top = 257;
  int Width = 640;
  int Height = 400;
  int ScreenWidth = 0;  // primary display, for centring; never stored
  int ScreenHeight = 0;
  std::string Dir;  // EditFolder
  bool LowerExt = true;
  bool KakkoHanToZen = true;
  bool WaSpaceKakko = false;
  bool WaKakko = false;
  bool DeleteAfterKakko = false;
  bool DeleteKakko = false;
  bool IgnoreCase = true;
  // Data rows of the replace grid (grid rows 1 to the last): Old, New.
  std::vector<std::array<std::string, 2>> Rows = std::vector<std::array<std::string, 2>>(6);
  bool WithDir = false;
  bool WithExt = false;
};

// The rule switches and the replace list that the controls hold: the
// stored option keys bear the names of the record's fields. Cells are taken
// as typed, spaces included.
[[nodiscard]] RenameOptions RenameOptionsOf(const FormSettings& s);

// Where the settings file lives: the executable's path with ".ini" when its
// folder is writable, otherwise the same file name in `userConfigDir`
// (beside the executable all the same when `userConfigDir` is empty). The
// caller creates `userConfigDir` before a save if it is missing.
[[nodiscard]] std::string SettingsPath(const std::string& exeName, const std::string& userConfigDir);

// Reads the file at `path` into `s`, applying the rules of each key (bounds
// never below the current size, centring, Dir only when its folder exists,
// replace rows in file order). A missing file changes nothing. Throws
// quor::Exception when the file exists but cannot be read.
void LoadSettings(const std::string& path, FormSettings& s);

// Trims the replace rows in place and rewrites the file at `path` from `s`,
// keeping keys and sections it does not know. Throws quor::Exception when
// the file cannot be written; the old file is then left as it was.
void SaveSettings(const std::string& path, FormSettings& s);

}  // namespace quor
