#include "engine/settings/Settings.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "system/SystemOps.h"
#include "system/UserFolders.h"
#include "engine/files/File.h"
#include "engine/settings/MemIniFile.h"
#include "engine/settings/StringList.h"
#include "text/Bytes.h"
#include "text/Codepage.h"
#include "text/TextOps.h"

namespace quor {

namespace {

constexpr const char* kMain = "QuorRenamer";
constexpr const char* kRename = "Rename";
constexpr const char* kReplaceList = "ReplaceList";
constexpr const char* kFileList = "FileList";
constexpr const char* kPreview = "Preview";
// The third item of a replace row that is a regular expression.
constexpr const char* kRegexMark = "re";

void ReadOptions(const TMemIniFile& ini, FormSettings& s, std::string_view section) {
  for (const OptionDef& o : kOptions)
    if (o.Section == section) s.Checked(o.Id) = ini.ReadBool(o.Section, o.Key, s.Checked(o.Id));
}

void WriteOptions(TMemIniFile& ini, const FormSettings& s, std::string_view section) {
  for (const OptionDef& o : kOptions)
    if (o.Section == section) ini.WriteBool(o.Section, o.Key, s.Checked(o.Id));
}

// The bounds of one window in the record.
struct Place {
  int& Left;
  int& Top;
  int& Width;
  int& Height;
};

// A stored size only ever grows the window; a negative edge centres it.
void RestoreBounds(const TMemIniFile& ini, const char* section, const FormSettings& s, Place b) {
  TStringList items;
  items.SetCommaText(ini.ReadString(section, "Position", ""));
  while (items.Count() < 4) items.Add("");
  const int left = StrToIntDef(items[0], -1);
  const int top = StrToIntDef(items[1], -1);
  const int width = StrToIntDef(items[2], -1);
  const int height = StrToIntDef(items[3], -1);
  if (width > b.Width) b.Width = width;
  if (height > b.Height) b.Height = height;
  b.Left = left;
  if (b.Left < 0) b.Left = (s.ScreenWidth - b.Width) / 2;
  b.Top = top;
  if (b.Top < 0) b.Top = (s.ScreenHeight - b.Height) / 2;
}

// The folder text as it was saved, whether its folder is there now or not:
// an unplugged drive comes back, and the field must not forget it meanwhile.
void RestoreDir(const TMemIniFile& ini, FormSettings& s) { s.Dir = ini.ReadString(kRename, "Dir", s.Dir); }

// The digits of a key that is a decimal number of 0 or more ("7", "007",
// "+7"), without leading zeros; false for any other key.
bool EntryNumber(std::string_view key, std::string_view& digits) {
  if (!key.empty() && key.front() == '+') key.remove_prefix(1);
  if (key.empty() || !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  while (key.size() > 1 && key.front() == '0') key.remove_prefix(1);
  digits = key;
  return true;
}

// Every numbered key is a row, read under its own name, in the order of the
// numbers; keys of one number keep their file order. Hand-written keys such
// as "01" or "+3" are rows like the program's own.
void RestoreReplaceList(const TMemIniFile& ini, FormSettings& s) {
  s.RowKeys.clear();
  TStringList keys;
  ini.ReadSection(kReplaceList, keys);
  struct Entry {
    std::string_view number;
    std::string key;
  };
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < keys.Count(); ++i) {
    std::string_view number;
    if (EntryNumber(keys[i], number)) entries.push_back({number, keys[i]});  // "IgnoreCase" is none
  }
  // Numbers of any length: fewer digits first, then digit by digit.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.number.size() != b.number.size() ? a.number.size() < b.number.size() : a.number < b.number;
  });
  if (s.Rows.size() < entries.size()) s.Rows.resize(entries.size());
  for (std::size_t row = 0; row < entries.size(); ++row) {
    // Quoted items come back exactly, spaces included; unquoted ones trimmed.
    const std::vector<std::string> cells = FromCommaText(ini.ReadString(kReplaceList, entries[row].key, ""));
    ReplacePair& pair = s.Rows[row];
    pair.Old = cells.size() > 0 ? cells[0] : "";
    pair.New = cells.size() > 1 ? cells[1] : "";
    // "re" as a hand-written file may spell it; no third item, or a blank
    // one, is a plain row. Any other mark may mean what this version cannot
    // do: the row is kept as it is and renames nothing until decided.
    const std::string_view mark = cells.size() > 2 ? TrimView(cells[2]) : std::string_view();
    pair.Regex = SameAsciiFolded(mark, kRegexMark);
    pair.Unknown = pair.Regex || mark.empty() ? std::string() : cells[2];
    s.RowKeys.push_back(entries[row].key);
  }
}

// A strip at the top of the window's frame where its title bar is.
constexpr std::int64_t kTitleBar = 32;
// How much of the title bar must lie on a screen for the user to grab it.
constexpr std::int64_t kGrabWidth = 100;
constexpr std::int64_t kGrabHeight = 8;

struct Box {
  std::int64_t left, top, right, bottom;  // right and bottom exclusive
};

Box BoxOf(const ScreenArea& a) { return {a.Left, a.Top, std::int64_t{a.Left} + a.Width, std::int64_t{a.Top} + a.Height}; }

std::int64_t Overlap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
  return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

// Squared distance between two boxes; 0 when they touch or overlap.
double Distance2(const Box& a, const Box& b) {
  const auto dx = static_cast<double>(std::max<std::int64_t>({0, b.left - a.right, a.left - b.right}));
  const auto dy = static_cast<double>(std::max<std::int64_t>({0, b.top - a.bottom, a.top - b.bottom}));
  return dx * dx + dy * dy;
}

// The screen with the most of `box` on it, or the nearest one.
const ScreenArea& ScreenFor(const Box& box, const std::vector<ScreenArea>& screens) {
  const ScreenArea* best = &screens.front();
  std::int64_t bestArea = -1;
  double bestDistance = 0;
  for (const ScreenArea& screen : screens) {
    const Box b = BoxOf(screen);
    const std::int64_t area = Overlap(box.left, box.right, b.left, b.right) * Overlap(box.top, box.bottom, b.top, b.bottom);
    const double distance = Distance2(box, b);
    if (area > bestArea || (area == 0 && distance < bestDistance)) {
      best = &screen;
      bestArea = area;
      bestDistance = distance;
    }
  }
  return *best;
}

// Whatever the file says, the window fits the screen it is on and its title
// bar can be grabbed: a huge size would also make the toolkit allocate
// gigabytes for the window's pixels.
void KeepWithinReach(const std::vector<ScreenArea>& screens, Place s) {
  if (screens.empty()) return;
  const Box window{s.Left, s.Top, std::int64_t{s.Left} + s.Width, std::int64_t{s.Top} + s.Height};
  const ScreenArea& holder = ScreenFor(window, screens);
  s.Width = std::max(1, std::min(s.Width, holder.Width));
  s.Height = std::max(1, std::min(s.Height, holder.Height));

  const Box title{s.Left, s.Top, std::int64_t{s.Left} + s.Width, std::int64_t{s.Top} + kTitleBar};
  for (const ScreenArea& screen : screens) {
    const Box b = BoxOf(screen);
    if (Overlap(title.left, title.right, b.left, b.right) >= std::min<std::int64_t>(kGrabWidth, s.Width) &&
        Overlap(title.top, title.bottom, b.top, b.bottom) >= kGrabHeight)
      return;
  }
  const ScreenArea& target = ScreenFor(title, screens);
  s.Width = std::max(1, std::min(s.Width, target.Width));
  s.Height = std::max(1, std::min(s.Height, target.Height));
  s.Left = std::clamp(s.Left, target.Left, static_cast<int>(std::int64_t{target.Left} + target.Width - s.Width));
  s.Top = std::clamp(s.Top, target.Top, static_cast<int>(std::int64_t{target.Top} + target.Height - s.Height));
}

// "left,top,width,height"
std::string PositionText(const WindowBounds& b) {
  TStringList items;
  for (const int v : {b.Left, b.Top, b.Width, b.Height}) items.Add(std::to_string(v));
  return items.CommaText();
}

void RestoreRules(const TMemIniFile& ini, FormSettings& s) {
  ReadOptions(ini, s, kRename);
  ReadOptions(ini, s, kReplaceList);
  RestoreReplaceList(ini, s);
  ReadOptions(ini, s, kFileList);
}

void Restore(const TMemIniFile& ini, FormSettings& s) {
  RestoreBounds(ini, kMain, s, {s.Left, s.Top, s.Width, s.Height});
  KeepWithinReach(s.Screens, {s.Left, s.Top, s.Width, s.Height});
  // The preview by the same rules, once a file holds its place.
  if (!ini.ReadString(kPreview, "Position", "").empty()) {
    Place preview{s.Preview.Left, s.Preview.Top, s.Preview.Width, s.Preview.Height};
    RestoreBounds(ini, kPreview, s, preview);
    KeepWithinReach(s.Screens, preview);
    s.PreviewPlaced = true;
  }
  RestoreDir(ini, s);
  RestoreRules(ini, s);
}

// Folders that belong to the system or to a package manager, where even a
// user allowed to write (root) must not leave a settings file behind.
bool UnderSystemPrefix(std::string_view folder) {
  for (const std::string_view prefix : {"/usr", "/opt", "/snap", "/bin", "/sbin", "/lib", "/lib32", "/lib64",
                                        "/libx32", "/etc", "/var", "/nix", "/gnu", "/app", "/run"}) {
    if (IsAtOrBelow(folder, prefix)) return true;
  }
  return false;
}

// The layout that an install makes wherever its prefix is (/usr, ~/.local,
// /tmp/stage): the programs in <prefix>/lib/quor-renamer/ and links to them
// in <prefix>/bin/. A copy with no such link is a copy of the user's own.
bool IsInstalledLayout(const std::string& folder) {
  const Codepage cp = NativeCodepage();
  const std::string lib = ExtractFileDir(folder, cp);
  if (ExtractFileName(folder, cp) != "quor-renamer" || ExtractFileName(lib, cp) != "lib") return false;
  const std::string self = ResolvedPath(folder);
  if (self.empty()) return false;
  const std::string bin = JoinPath(ExtractFileDir(lib, cp), "bin");
  for (const char* program : {"quor-renamer", "quor-rename"}) {
    const std::string target = ResolvedPath(JoinPath(bin, program));
    if (!target.empty() && target == JoinPath(self, program)) return true;
  }
  return false;
}

}  // namespace

bool& FormSettings::Checked(Option id) {
  switch (id) {
    case Option::LowerExt: return LowerExt;
    case Option::KakkoHanToZen: return KakkoHanToZen;
    case Option::WaSpaceKakko: return WaSpaceKakko;
    case Option::WaKakko: return WaKakko;
    case Option::DeleteAfterKakko: return DeleteAfterKakko;
    case Option::DeleteKakko: return DeleteKakko;
    case Option::AlnumZenToHan: return AlnumZenToHan;
    case Option::Companions: return Companions;
    case Option::IgnoreCase: return IgnoreCase;
    case Option::WithDir: return WithDir;
    case Option::WithExt: return WithExt;
  }
  return WithExt;
}

RenameOptions RenameOptionsOf(const FormSettings& s) {
  RenameOptions o;
  for (const OptionDef& def : kOptions)
    if (const auto field = RuleField(def.Id)) o.*field = s.Checked(def.Id);
  o.ReplaceList = s.Rows;
  return o;
}

std::string SettingsFolder() {
  const std::string config = UserConfigFolder();
  return config.empty() ? config : config + "/quor-renamer";
}

std::string SettingsPath(const std::string& exeName, const std::string& userConfigDir) {
  const Codepage cp = NativeCodepage();
  const std::string beside = ChangeFileExt(exeName, ".ini", cp);
  std::string folder = ExtractFileDir(beside, cp);
  if (folder.empty()) folder = ".";
  if (userConfigDir.empty()) return beside;
  if (!UnderSystemPrefix(folder) && !IsInstalledLayout(folder) && IsOwnWritableDirectory(folder)) return beside;
  return userConfigDir + "/" + ExtractFileName(beside, cp);
}

void LoadSettings(const std::string& path, FormSettings& s) { Restore(TMemIniFile(path), s); }

void LoadRuleSettings(const std::string& path, FormSettings& s) { RestoreRules(TMemIniFile(path), s); }

void LoadDefaultSettings(FormSettings& s) { Restore(TMemIniFile(""), s); }

void SaveSettings(const std::string& path, const FormSettings& s) {
  // Read again now: keys that another instance or the user wrote since the
  // start survive, except the ones written here.
  TMemIniFile ini(path);
  ini.WriteInteger(kMain, "Version", ProgramVersion);
  ini.WriteString(kMain, "Position", PositionText({s.Left, s.Top, s.Width, s.Height}));
  if (s.PreviewPlaced) ini.WriteString(kPreview, "Position", PositionText(s.Preview));
  ini.WriteString(kRename, "Dir", s.Dir);
  WriteOptions(ini, s, kRename);
  // The whole list is rewritten, so entries removed in the grid go too.
  ini.EraseSection(kReplaceList);
  WriteOptions(ini, s, kReplaceList);
  int entry = 1;
  for (const auto& row : s.Rows) {
    // A cell of spaces is a real pair (" " -> "_"): only a wholly empty row
    // is no entry. Comma text quotes an item with a space, so it survives.
    if (row.Old.empty() && row.New.empty()) continue;
    // A plain row keeps the two items it always had, so older versions read it.
    std::vector<std::string> items = {row.Old, row.New};
    if (row.Regex) items.emplace_back(kRegexMark);
    else if (!row.Unknown.empty()) items.push_back(row.Unknown);  // as it was read, until decided
    ini.WriteString(kReplaceList, std::to_string(entry++), ToCommaText(items));
  }
  WriteOptions(ini, s, kFileList);
  ini.UpdateFile();
}

}  // namespace quor
