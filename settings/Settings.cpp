#include "settings/Settings.h"

#include "platform/SystemOps.h"
#include "settings/MemIniFile.h"
#include "settings/StringList.h"
#include "text/Codepage.h"
#include "text/TextOps.h"

namespace quor {

namespace {

constexpr const char* kMain = "QuorRenamer";
constexpr const char* kRename = "Rename";
constexpr const char* kReplaceList = "ReplaceList";
constexpr const char* kFileList = "FileList";

// A stored size only ever grows the window; a negative edge centres it.
void RestoreBounds(const TMemIniFile& ini, FormSettings& s) {
  TStringList items;
  items.SetCommaText(ini.ReadString(kMain, "Position", ""));
  while (items.Count() < 4) items.Add("");
  const int left = StrToIntDef(items[0], -1);
  const int top = StrToIntDef(items[1], -1);
  const int width = StrToIntDef(items[2], -1);
  const int height = StrToIntDef(items[3], -1);
  if (width > s.Width) s.Width = width;
  if (height > s.Height) s.Height = height;
  s.Left = left;
  if (s.Left < 0) s.Left = (s.ScreenWidth - s.Width) / 2;
  s.Top = top;
  if (s.Top < 0) s.Top = (s.ScreenHeight - s.Height) / 2;
}

// The folder is restored only while it exists; a file mask stays with it.
void RestoreDir(const TMemIniFile& ini, FormSettings& s) {
  const std::string dir = ini.ReadString(kRename, "Dir", "");
  const bool masked = dir.find_first_of("*?") != std::string::npos;
  const std::string folder = masked ? ExtractFileDir(dir, NativeCodepage()) : dir;
  if (DirectoryExists(folder)) s.Dir = dir;
}

// Entries in file order, whatever their numbers, so that gaps close up.
void RestoreReplaceList(const TMemIniFile& ini, FormSettings& s) {
  TStringList keys;
  ini.ReadSection(kReplaceList, keys);
  std::size_t row = 0;
  for (std::size_t i = 0; i < keys.Count(); ++i) {
    const int n = StrToIntDef(keys[i], -1);
    if (n < 0) continue;  // "IgnoreCase" and anything else that is no entry
    if (s.Rows.size() <= row) s.Rows.resize(row + 1);
    // A key written with leading zeros is read under its plain number.
    TStringList cells;
    cells.SetCommaText(ini.ReadString(kReplaceList, std::to_string(n), ""));
    s.Rows[row][0] = Trim(cells.Count() > 0 ? cells[0] : "");
    s.Rows[row][1] = Trim(cells.Count() > 1 ? cells[1] : "");
    ++row;
  }
}

}  // namespace

RenameOptions RenameOptionsOf(const FormSettings& s) {
  RenameOptions o;
  o.KakkoHanToZen = s.KakkoHanToZen;
  o.LowerExt = s.LowerExt;
  o.WaSpaceKakko = s.WaSpaceKakko;
  o.WaKakko = s.WaKakko;
  o.DeleteAfterKakko = s.DeleteAfterKakko;
  o.DeleteKakko = s.DeleteKakko;
  o.IgnoreCase = s.IgnoreCase;
  for (const auto& row : s.Rows) o.ReplaceList.push_back({row[0], row[1]});
  return o;
}

std::string SettingsPath(const std::string& exeName, const std::string& userConfigDir) {
  const Codepage cp = NativeCodepage();
  const std::string beside = ChangeFileExt(exeName, ".ini", cp);
  std::string folder = ExtractFileDir(beside, cp);
  if (folder.empty()) folder = ".";
  if (IsWritableDirectory(folder) || userConfigDir.empty()) return beside;
  return userConfigDir + "/" + ExtractFileName(beside, cp);
}

void LoadSettings(const std::string& path, FormSettings& s) {
  const TMemIniFile ini(path);
  RestoreBounds(ini, s);
  RestoreDir(ini, s);
  s.LowerExt = ini.ReadBool(kRename, "LowerExt", s.LowerExt);
  s.KakkoHanToZen = ini.ReadBool(kRename, "KakkoHanToZen", s.KakkoHanToZen);
  s.WaSpaceKakko = ini.ReadBool(kRename, "WaSpaceKakko", s.WaSpaceKakko);
  s.WaKakko = ini.ReadBool(kRename, "WaKakko", s.WaKakko);
  s.DeleteAfterKakko = ini.ReadBool(kRename, "DeleteAfterKakko", s.DeleteAfterKakko);
  s.DeleteKakko = ini.ReadBool(kRename, "DeleteKakko", s.DeleteKakko);
  s.IgnoreCase = ini.ReadBool(kReplaceList, "IgnoreCase", s.IgnoreCase);
  RestoreReplaceList(ini, s);
  s.WithDir = ini.ReadBool(kFileList, "WithDir", s.WithDir);
  s.WithExt = ini.ReadBool(kFileList, "WithExt", s.WithExt);
}

void SaveSettings(const std::string& path, FormSettings& s) {
  // Read again now: keys that another instance or the user wrote since the
  // start survive, except the ones written here.
  TMemIniFile ini(path);
  ini.WriteInteger(kMain, "Version", ProgramVersion);
  TStringList bounds;
  for (const int v : {s.Left, s.Top, s.Width, s.Height}) bounds.Add(std::to_string(v));
  ini.WriteString(kMain, "Position", bounds.CommaText());
  ini.WriteString(kRename, "Dir", s.Dir);
  ini.WriteBool(kRename, "LowerExt", s.LowerExt);
  ini.WriteBool(kRename, "KakkoHanToZen", s.KakkoHanToZen);
  ini.WriteBool(kRename, "WaSpaceKakko", s.WaSpaceKakko);
  ini.WriteBool(kRename, "WaKakko", s.WaKakko);
  ini.WriteBool(kRename, "DeleteAfterKakko", s.DeleteAfterKakko);
  ini.WriteBool(kRename, "DeleteKakko", s.DeleteKakko);
  // The whole list is rewritten, so entries removed in the grid go too.
  ini.EraseSection(kReplaceList);
  ini.WriteBool(kReplaceList, "IgnoreCase", s.IgnoreCase);
  int entry = 1;
  for (auto& row : s.Rows) {
    row[0] = Trim(row[0]);
    row[1] = Trim(row[1]);
    TStringList cells;
    cells.Add(row[0]);
    cells.Add(row[1]);
    const std::string text = cells.CommaText();
    if (text.empty() || text == ",") continue;
    ini.WriteString(kReplaceList, std::to_string(entry++), text);
  }
  ini.WriteBool(kFileList, "WithDir", s.WithDir);
  ini.WriteBool(kFileList, "WithExt", s.WithExt);
  ini.UpdateFile();
}

}  // namespace quor
