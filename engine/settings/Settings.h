#pragma once

// The settings file of both programs: the window's state as it stores it
// (FormSettings), where the file lives, and its reading, with the rules of
// each key, and its rewriting.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Design.h"
#include "engine/rename/NameRules.h"

namespace quor {

// The version constant: caption Ver.1.00.0, stored as "Version".
inline constexpr int ProgramVersion = 1000;

// The window's bounds at first start, in pixels, and the empty rows of its
// replace list: what a record holds before any file is read. The window
// builds itself to this shape, so a record read without it (the command
// line, the tests) starts where the window's does.
struct WindowBounds {
  int Left, Top, Width, Height;
};
inline constexpr WindowBounds kFirstStartBounds = {234, 257, 640, 400};
// The preview window's size at first start, which it never restores below;
// it opens beside the main window then.
inline constexpr WindowBounds kPreviewFirstBounds = {-1, -1, 720, 440};
inline constexpr std::size_t kFirstStartRows = 6;

// A connected screen's area that windows may use (panels left out), in
// pixels of the virtual desktop.
struct ScreenArea {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// The window's state as the settings file stores it. The window copies its
// controls into this record before a save and back after a load, so that
// the file format is handled and tested without a display.
struct FormSettings {
  int Left = kFirstStartBounds.Left;  // outer bounds of the window, in pixels
  int Top = kFirstStartBounds.Top;
  int Width = kFirstStartBounds.Width;
  int Height = kFirstStartBounds.Height;
  int ScreenWidth = 0;  // primary display, for centring; never stored
  int ScreenHeight = 0;
  // Every connected screen, for keeping a restored window within reach;
  // none: no such check. Never stored.
  std::vector<ScreenArea> Screens;
  // The preview window's bounds, in [Preview]; PreviewPlaced while a file
  // held them or the preview has been open.
  WindowBounds Preview = kPreviewFirstBounds;
  bool PreviewPlaced = false;
  std::string Dir;  // EditFolder
  // The options, one per row of kOptions.
  bool LowerExt = DefaultOf(Option::LowerExt);
  bool KakkoHanToZen = DefaultOf(Option::KakkoHanToZen);
  bool WaSpaceKakko = DefaultOf(Option::WaSpaceKakko);
  bool WaKakko = DefaultOf(Option::WaKakko);
  bool DeleteAfterKakko = DefaultOf(Option::DeleteAfterKakko);
  bool DeleteKakko = DefaultOf(Option::DeleteKakko);
  bool AlnumZenToHan = DefaultOf(Option::AlnumZenToHan);
  bool Companions = DefaultOf(Option::Companions);
  bool IgnoreCase = DefaultOf(Option::IgnoreCase);
  // Data rows of the replace grid (grid rows 1 to the last): Old, New and
  // the regex box.
  std::vector<ReplacePair> Rows = std::vector<ReplacePair>(kFirstStartRows);
  // The key each of the first rows was read under, as the file holds it
  // ("3", "03"): the file's own name for a row. Never stored.
  std::vector<std::string> RowKeys;
  bool WithDir = DefaultOf(Option::WithDir);
  bool WithExt = DefaultOf(Option::WithExt);

  // The state of one check box.
  [[nodiscard]] bool& Checked(Option id);
  [[nodiscard]] bool Checked(Option id) const { return const_cast<FormSettings&>(*this).Checked(id); }
};

// The rule switches and the replace list that the controls hold: the
// stored option keys bear the names of the record's fields. Cells are taken
// as typed, spaces included.
[[nodiscard]] RenameOptions RenameOptionsOf(const FormSettings& s);

// Where the settings file lives: the executable's path with ".ini" for a copy
// kept in a folder of the user's own (owned by this user and writable, not
// under a system prefix such as /usr or /opt, and not an installed layout:
// <prefix>/lib/quor-renamer/ with a link to one of its programs in
// <prefix>/bin/, as `cmake --install --prefix ~/.local` makes it), otherwise
// the same file name in `userConfigDir` (beside the executable all the same
// when `userConfigDir` is empty). The caller creates `userConfigDir` before a
// save if it is missing.
[[nodiscard]] std::string SettingsPath(const std::string& exeName, const std::string& userConfigDir);

// <configuration folder>/quor-renamer, the `userConfigDir` of both programs;
// "" when the system names no configuration folder.
[[nodiscard]] std::string SettingsFolder();

// Reads the file at `path` into `s`, applying the rules of each key (bounds
// never below the current size, centring, then kept within reach of the
// screens, for the window and for the preview alike; Dir as saved, its
// folder there or not; replace rows by number). A
// missing file changes nothing. Throws quor::Exception when something is
// there but cannot be read as a file; `s` is then left as it was.
void LoadSettings(const std::string& path, FormSettings& s);

// Reads only what the rules and the file list need: the options and the
// replace list, never the window's place nor its folder (a stored folder on
// a mount that no longer answers would hang a program that has no use for
// it). Throws as LoadSettings does.
void LoadRuleSettings(const std::string& path, FormSettings& s);

// What LoadSettings gives without a file: the window centred.
void LoadDefaultSettings(FormSettings& s);

// Rewrites the file at `path` from `s`, keeping keys and sections it does
// not know. Replace cells are stored exactly as they are; only rows whose
// two cells are both empty are left out. A row is the comma text of its two
// cells, with a third item "re" for a regex row: 3="\[(字|再)\]",,re. A row
// without the third item reads as a plain row, as every older file has it;
// "re" is read in any case, blanks around it; any other third item is kept
// in ReplacePair::Unknown and written back as it was. Throws
// quor::Exception when the file cannot be written; the old file is then
// left as it was.
void SaveSettings(const std::string& path, const FormSettings& s);

}  // namespace quor
