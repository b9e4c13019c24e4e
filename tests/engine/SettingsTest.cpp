#include "engine/settings/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "system/Exception.h"
#include "tests/TempFolder.h"
#include "text/Codepage.h"

namespace quor {

// A row as its cells, for the failure messages.
static void PrintTo(const ReplacePair& row, std::ostream* out) {
  *out << "{\"" << row.Old << "\", \"" << row.New << "\"" << (row.Regex ? ", re" : "")
       << (row.Unknown.empty() ? "" : ", unknown \"" + row.Unknown + "\"") << "}";
}

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Row = ReplacePair;
using Rows = std::vector<Row>;

class SettingsTest : public ::testing::Test {
 protected:
  void Write(std::string_view bytes) const { test::WriteFile(path_, bytes); }
  // Settings as the window hands them over at start-up on a 1920x1080 screen.
  static FormSettings Fresh() {
    FormSettings s;
    s.ScreenWidth = 1920;
    s.ScreenHeight = 1080;
    return s;
  }
  [[nodiscard]] FormSettings Load(std::string_view file) const {
    Write(file);
    FormSettings s = Fresh();
    LoadSettings(path_, s);
    return s;
  }

  test::TempFolder folder_{"quor-settings"};
  std::string dir_ = folder_.Path();
  std::string path_ = dir_ + "/quor-renamer.ini";
};

void ExpectSameSettings(const FormSettings& a, const FormSettings& b, const std::string& what) {
  EXPECT_EQ(a.Left, b.Left) << what;
  EXPECT_EQ(a.Top, b.Top) << what;
  EXPECT_EQ(a.Width, b.Width) << what;
  EXPECT_EQ(a.Height, b.Height) << what;
  EXPECT_EQ(a.PreviewPlaced, b.PreviewPlaced) << what;
  if (a.PreviewPlaced) {
    EXPECT_EQ(a.Preview.Left, b.Preview.Left) << what;
    EXPECT_EQ(a.Preview.Top, b.Preview.Top) << what;
    EXPECT_EQ(a.Preview.Width, b.Preview.Width) << what;
    EXPECT_EQ(a.Preview.Height, b.Preview.Height) << what;
  }
  EXPECT_EQ(a.Dir, b.Dir) << what;
  for (const OptionDef& o : kOptions) EXPECT_EQ(a.Checked(o.Id), b.Checked(o.Id)) << what << ": " << o.Key;
  EXPECT_EQ(a.Rows, b.Rows) << what;
}

// The defaults on a 1920x1080 screen: the design state, centred.
FormSettings Centred() {
  FormSettings s;
  s.ScreenWidth = 1920;
  s.ScreenHeight = 1080;
  s.Left = (1920 - 640) / 2;
  s.Top = (1080 - 400) / 2;
  return s;
}

TEST_F(SettingsTest, WithoutAFileTheDesignStateIsCentred) {
  FormSettings s = Fresh();
  LoadSettings(path_, s);
  ExpectSameSettings(s, Centred(), "no file");
  EXPECT_EQ(s.Rows.size(), 6u);
  EXPECT_FALSE(fs::exists(path_)) << "loading never writes";
}

TEST_F(SettingsTest, PositionRestore) {
  using Screens = std::vector<ScreenArea>;
  const Screens one = {{0, 0, 1280, 800}};
  const Screens two = {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}};
  const Screens panel = {{0, 27, 1920, 1053}};
  const struct {
    const char* what;
    std::string position;
    int screenWidth, screenHeight;
    int left, top, width, height;
    Screens screens = {};  // none: nothing to keep the window within
    bool preview = false;  // the preview's [Preview] position, read by the same rules from its own size
  } cases[] = {
      {"all four", "100,50,800,600", 1920, 1080, 100, 50, 800, 600},
      {"smaller size ignored", "100,50,300,200", 1920, 1080, 100, 50, 640, 400},
      {"same size kept", "100,50,640,400", 1920, 1080, 100, 50, 640, 400},
      {"two items: size stays", "100,50", 1920, 1080, 100, 50, 640, 400},
      {"one item: top centred", "100", 1920, 1080, 100, 340, 640, 400},
      {"empty: centred", "", 1920, 1080, 640, 340, 640, 400},
      {"negative left centres with the new size", "-1920,50,800,600", 1920, 1080, 560, 50, 800, 600},
      {"negative top on its own", "100,-5,800,601", 1920, 1080, 100, 239, 800, 601},
      {"no screens known: left beyond kept", "5000,3000,800,600", 1920, 1080, 5000, 3000, 800, 600},
      {"zero is no negative", "0,0,640,400", 1920, 1080, 0, 0, 640, 400},
      {"not numbers count as -1", "abc,50,x,600", 1920, 1080, 640, 50, 640, 600},
      {"fraction is not a number", "1.5,2,700.0,500", 1920, 1080, 640, 2, 640, 500},
      {"extra items ignored", "10,20,700,500,99", 1920, 1080, 10, 20, 700, 500},
      {"blanks and quotes", " 10 , \"20\" ,700,500", 1920, 1080, 10, 20, 700, 500},
      {"centring truncates toward zero", "-1,-1,1001,801", 800, 600, -100, -100, 1001, 801},
      {"odd difference rounds down", "-1,-1,641,401", 1920, 1080, 639, 339, 641, 401},
      {"overflowing number counts as -1", "99999999999,1,2,3", 1920, 1080, 640, 1, 640, 400},
      // Kept within reach of the connected screens.
      {"largest numbers: cut to the screen, moved onto it", "2147483647,2147483647,2147483647,2147483647", 1280,
       800, 0, 0, 1280, 800, one},
      {"beyond a single screen moved back", "5000,5000,640,400", 1280, 800, 640, 400, 640, 400, one},
      {"on a second screen right of the primary kept", "2000,100,800,600", 1920, 1080, 2000, 100, 800, 600, two},
      {"beyond both screens moved onto the nearer", "9000,100,800,600", 1920, 1080, 3040, 100, 800, 600, two},
      {"larger than its screen cut, place kept", "100,50,3000,2000", 1920, 1080, 100, 50, 1920, 1080, two},
      {"straddling two screens keeps its size", "1500,10,1000,700", 1920, 1080, 1500, 10, 1000, 700, two},
      {"title bar below the screen", "100,2000,800,600", 1920, 1080, 100, 480, 800, 600, two},
      {"title bar at the bottom edge can be grabbed", "100,1060,800,600", 1920, 1080, 100, 1060, 800, 600, two},
      {"title bar under a top panel", "100,0,800,600", 1920, 1080, 100, 27, 800, 600, panel},
      {"negative left with a screen to the left still centres", "-1500,100,800,600", 1920, 1080, 560, 100, 800,
       600, {{0, 0, 1920, 1080}, {-1920, 0, 1920, 1080}}},
      {"centred huge window cut to the screen", "-1,-1,2147483647,2147483647", 1280, 800, 0, 0, 1280, 800, one},
      {"the preview beside the window", "900,50,800,600", 1920, 1080, 900, 50, 800, 600, two, true},
      {"the preview's smaller size ignored", "900,50,300,200", 1920, 1080, 900, 50, 720, 440, two, true},
      {"the preview centred", "-1,-1", 1920, 1080, 600, 320, 720, 440, {}, true},
      {"the preview beyond the screens moved back", "9000,100,800,600", 1920, 1080, 3040, 100, 800, 600, two, true},
  };
  for (const auto& c : cases) {
    Write(std::string(c.preview ? "[Preview]" : "[QuorRenamer]") + "\nPosition=" + c.position + "\n");
    FormSettings s;
    s.ScreenWidth = c.screenWidth;
    s.ScreenHeight = c.screenHeight;
    s.Screens = c.screens;
    LoadSettings(path_, s);
    const WindowBounds b = c.preview ? s.Preview : WindowBounds{s.Left, s.Top, s.Width, s.Height};
    EXPECT_EQ(b.Left, c.left) << c.what;
    EXPECT_EQ(b.Top, c.top) << c.what;
    EXPECT_EQ(b.Width, c.width) << c.what;
    EXPECT_EQ(b.Height, c.height) << c.what;
    EXPECT_EQ(s.PreviewPlaced, c.preview) << c.what << ": a place for the preview only where the file holds one";
    if (c.preview) {
      EXPECT_EQ(s.Width, 640) << c.what << ": the window keeps its own";
    }
  }
}

// The folder text comes back as saved, whether its folder is there or not
// (an unplugged drive): the run says what is missing when it is pressed.
TEST_F(SettingsTest, DirIsRestoredAsSaved) {
  fs::create_directory(dir_ + "/films");
  const struct {
    const char* what;
    std::string file;
    std::string dir;
  } cases[] = {
      {"folder", "Dir=" + dir_ + "/films\n", dir_ + "/films"},
      {"folder with a separator at the end", "Dir=" + dir_ + "/films/\n", dir_ + "/films/"},
      {"mask", "Dir=" + dir_ + "/films/*.mp4\n", dir_ + "/films/*.mp4"},
      {"folder gone", "Dir=" + dir_ + "/第1話\n", dir_ + "/第1話"},
      {"mask in a folder that is gone", "Dir=" + dir_ + "/gone/*.mp4\n", dir_ + "/gone/*.mp4"},
      {"empty", "Dir=\n", ""},
      {"no key", "", "as before"},
  };
  for (const auto& c : cases) {
    Write("[Rename]\n" + c.file);
    FormSettings s = Fresh();
    s.Dir = "as before";
    LoadSettings(path_, s);
    EXPECT_EQ(s.Dir, c.dir) << c.what;
  }
}

TEST_F(SettingsTest, BooleansDefaultToTheCurrentState) {
  const char* const keys = "[Rename]\nLowerExt=0\nKakkoHanToZen=false\nWaSpaceKakko=1\nWaKakko=TRUE\n"
                           "DeleteAfterKakko=True\nDeleteKakko=1\nAlnumZenToHan=1\n[ReplaceList]\nIgnoreCase=0\n"
                           "[FileList]\nWithDir=1\nWithExt=true\n";
  FormSettings s = Load(keys);
  EXPECT_FALSE(s.LowerExt);
  EXPECT_FALSE(s.KakkoHanToZen);
  EXPECT_TRUE(s.WaSpaceKakko);
  EXPECT_TRUE(s.WaKakko);
  EXPECT_TRUE(s.DeleteAfterKakko);
  EXPECT_TRUE(s.DeleteKakko);
  EXPECT_TRUE(s.AlnumZenToHan);
  EXPECT_FALSE(s.IgnoreCase);
  EXPECT_TRUE(s.WithDir);
  EXPECT_TRUE(s.WithExt);

  // Missing keys and values that are no booleans keep whatever the boxes show.
  Write("[Rename]\nLowerExt=maybe\nKakkoHanToZen=2\nWaSpaceKakko=\n[FileList]\nWithDir=yes\n");
  FormSettings t = Fresh();
  t.LowerExt = false;
  t.KakkoHanToZen = false;
  t.WaSpaceKakko = true;
  t.WaKakko = true;
  t.IgnoreCase = false;
  t.WithDir = true;
  const FormSettings before = t;
  LoadSettings(path_, t);
  t.Left = before.Left;
  t.Top = before.Top;
  ExpectSameSettings(t, before, "kept");
}

TEST_F(SettingsTest, ReplaceListByNumber) {
  FormSettings s = Load(
      "[ReplaceList]\n"
      "IgnoreCase=0\n"
      "3=a,b\n"
      "1=c,d\n"
      "x=not an entry\n"
      "-2=not an entry\n"
      "1.0=not an entry\n"
      "+-4=not an entry\n"
      "007=own,value\n"
      "5=  spaced  ,\"  quoted  \"\n"
      "0=zero,0\n"
      "99999999999999999999=big,number\n"
      "8=only\n"
      "9=,new\n"
      "10=\"a,b\",\"say \"\"hi\"\"\"\n"
      "+4=plus,four\n"
      "11=one,two,three\n"
      "01=leading,zero\n"
      "12=\n"
      "13=\"\\[(字|再|Ｓ)\\]\",\"\",re\n"
      "14=(.+) 第(\\d+)話,$1 #$2,re\n"
      "15=x,y,RE\n"
      "16=x,y,\" re \"\n"
      "17=x,y,\" \"\n"
      "18=x,y,rex\n");
  // Hand-written keys are rows read under their own names; one number keeps file order.
  const Rows expected = {{"zero", "0"},      {"c", "d"},      {"leading", "zero"},        {"a", "b"},
                         {"plus", "four"},   {"spaced", "  quoted  "}, {"own", "value"}, {"only", ""},
                         {"", "new"},        {"a,b", "say \"hi\""},   {"one", "two", false, "three"},    {"", ""},
                         {"\\[(字|再|Ｓ)\\]", "", true}, {"(.+) 第(\\d+)話", "$1 #$2", true},
                         // "re" in any case, blanks around it; a blank item is none.
                         {"x", "y", true}, {"x", "y", true}, {"x", "y"},
                         // Any other third item is kept, and the row is broken.
                         {"x", "y", false, "rex"},
                         {"big", "number"}};
  EXPECT_EQ(s.Rows, expected);
  // Each row under its own key, as the file spells it.
  EXPECT_EQ(s.RowKeys, (std::vector<std::string>{"0", "1", "01", "3", "+4", "5", "007", "8", "9", "10", "11", "12", "13",
                                                 "14", "15", "16", "17", "18", "99999999999999999999"}));
  EXPECT_FALSE(s.IgnoreCase);
}

TEST_F(SettingsTest, KeysOfOneNumberKeepTheirFileOrder) {
  FormSettings s = Load("[ReplaceList]\n07=x,y\n7=p,q\n+007=r,s\n");
  EXPECT_EQ(s.Rows[0], (Row{"x", "y"}));
  EXPECT_EQ(s.Rows[1], (Row{"p", "q"}));
  EXPECT_EQ(s.Rows[2], (Row{"r", "s"}));
}

TEST_F(SettingsTest, FewerEntriesLeaveTheOtherRowsAndMoreGrowTheGrid) {
  Write("[ReplaceList]\n1=a,b\n2=c,d\n");
  FormSettings s = Fresh();
  for (auto& row : s.Rows) row = {"kept", "kept"};
  LoadSettings(path_, s);
  ASSERT_EQ(s.Rows.size(), 6u);
  EXPECT_EQ(s.Rows[1], (Row{"c", "d"}));
  EXPECT_EQ(s.Rows[2], (Row{"kept", "kept"}));

  std::string many = "[ReplaceList]\n";
  for (int i = 1; i <= 20; ++i) many += std::to_string(i) + "=o" + std::to_string(i) + ",n\n";
  s = Load(many);
  ASSERT_EQ(s.Rows.size(), 20u);
  EXPECT_EQ(s.Rows[19], (Row{"o20", "n"}));
}

TEST_F(SettingsTest, SaveWritesEveryKeyInOrder) {
  FormSettings s = Fresh();
  s.Left = -8;
  s.Top = 20;
  s.Width = 800;
  s.Height = 600;
  s.Dir = "/no/such folder";
  s.WaKakko = true;
  // Cells are stored as they are; only a wholly empty row is no entry.
  s.Rows = {{"  a  ", " b"}, {"", ""}, {"   ", "\t"}, {"", "new"}, {"a b", "c,d"}, {"q\"", ""}, {"　", " "},
            {"\\[(字|再|Ｓ)\\]", "", true}, {"", "", true}, {"(.+) 第(\\d+)話", "$1 #$2", true}};
  SaveSettings(path_, s);
  EXPECT_EQ(test::ReadFile(path_),
            "[QuorRenamer]\nVersion=1000\nPosition=-8,20,800,600\n"
            "\n[Rename]\nDir=/no/such folder\nLowerExt=1\nKakkoHanToZen=1\nWaSpaceKakko=0\nWaKakko=1\n"
            "DeleteAfterKakko=0\nDeleteKakko=0\nAlnumZenToHan=0\nCompanions=1\n"
            "\n[ReplaceList]\nIgnoreCase=1\n1=\"  a  \",\" b\"\n2=\\esc:\"   \",\"\\x09\"\n3=,new\n"
            "4=\"a b\",\"c,d\"\n5=\"q\"\"\",\n6=　,\" \"\n"
            // A regex row has a third item; a plain one keeps the two it always had.
            "7=\\[(字|再|Ｓ)\\],,re\n8=\"(.+) 第(\\d+)話\",\"$1 #$2\",re\n"
            "\n[FileList]\nWithDir=0\nWithExt=0\n");
}

TEST_F(SettingsTest, WhatIsSavedLoadsBackTheSame) {
  fs::create_directory(dir_ + "/films");
  FormSettings s = Fresh();
  s.Left = 10;
  s.Top = 20;
  s.Width = 1000;
  s.Height = 700;
  s.Preview = {1020, 30, 800, 500};
  s.PreviewPlaced = true;
  s.Dir = dir_ + "/films/*.mp4";
  s.LowerExt = false;
  s.KakkoHanToZen = false;
  s.WaSpaceKakko = true;
  s.WaKakko = true;
  s.DeleteAfterKakko = true;
  s.DeleteKakko = true;
  s.AlnumZenToHan = true;
  s.Companions = false;
  s.IgnoreCase = false;
  s.WithDir = true;
  s.WithExt = true;
  s.Rows = {{"\\[(字|再|Ｓ)\\]", "", true}, {"x", "y", true}, {"x", "y"}, {"a, \"b\"", " $$1 ", true},
            {"", "only new", true}, {"第1話", "第 1 話"}, {"C:\\dir\\", "\\\\server\\x"}, {"\\esc:", "\\esc:\\x0A"},
            {"a,b", "say \"hi\""}, {"", "only new"}, {"　", " "}, {" ", "_"}, {" ", ""}, {"  a  ", " b"},
            {"a", "b", false, "Re2"}, {"a", "b", false, " x,\"y\""}};
  // Pasted text: every control byte inside a cell, one per row.
  for (int b = 0; b < 0x20; ++b) s.Rows.push_back({std::string("a") + static_cast<char>(b) + "b", "x"});
  s.Rows.push_back({"a\x7F" "b", "line\r\nbreak"});
  SaveSettings(path_, s);
  const std::string bytes = test::ReadFile(path_);
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  EXPECT_TRUE(IsValidText(bytes, Codepage::Utf8));

  FormSettings back;
  back.ScreenWidth = 1920;
  back.ScreenHeight = 1080;
  LoadSettings(path_, back);
  ExpectSameSettings(back, s, "round trip");
}

TEST_F(SettingsTest, SaveKeepsWhatItDoesNotKnowAndDropsOldEntries) {
  std::string old = "; by hand\n[QuorRenamer]\nVersion=1\nTheme=dark\n[Custom]\nA=1\n[ReplaceList]\n";
  for (int i = 1; i <= 10; ++i) old += std::to_string(i) + "=x,y\n";
  Write(old);
  FormSettings s = Fresh();
  s.Rows = {{"a", "b"}};
  SaveSettings(path_, s);
  const std::string text = test::ReadFile(path_);
  EXPECT_NE(text.find("; by hand\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Version=1000\nTheme=dark\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Custom]\nA=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[ReplaceList]\nIgnoreCase=1\n1=a,b\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("x,y"), std::string::npos) << text;
}

TEST_F(SettingsTest, VersionHasNoEffect) {
  const std::string body = "[Rename]\nLowerExt=0\n[ReplaceList]\n1=a,b\n";
  const FormSettings plain = Load("[QuorRenamer]\nPosition=1,2,700,500\n" + body);
  for (const char* version : {"1000", "99999", "-1", "abc", ""}) {
    const FormSettings s =
        Load(std::string("[QuorRenamer]\nVersion=") + version + "\nPosition=1,2,700,500\n" + body);
    ExpectSameSettings(s, plain, version);
  }
}

// Replaces each Japanese character of a UTF-8 text by its CP932 bytes, from
// a table written out by hand, so that the fixture does not depend on the
// conversion under test.
std::string ToCp932ByTable(std::string_view utf8) {
  static const std::map<std::string, std::string> table = {
      {"第", "\x91\xE6"}, {"話", "\x98\x62"}, {"表", "\x95\x5C"}, {"示", "\x8E\xA6"},
      {"ソ", "\x83\x5C"}, {"ー", "\x81\x5B"}, {"ス", "\x83\x58"}, {"削", "\x8D\xED"},
      {"除", "\x8F\x9C"}, {"ｱ", "\xB1"},     {"ｲ", "\xB2"},     {"ア", "\x83\x41"},
      {"イ", "\x83\x43"}, {"～", "\x81\x60"}, {"フ", "\x83\x74"}, {"ォ", "\x83\x48"},
      {"ル", "\x83\x8B"}, {"ダ", "\x83\x5F"}};
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = CharLength(utf8, i, Codepage::Utf8);
    const std::string ch(utf8.substr(i, n));
    if (n == 1) {
      out += ch;
    } else {
      const auto it = table.find(ch);
      if (it == table.end()) {
        ADD_FAILURE() << "no CP932 bytes for " << ch;
        return {};
      }
      out += it->second;
    }
    i += n;
  }
  return out;
}

TEST_F(SettingsTest, AFullFileLoadsExactlyInEachEncodingAndSavesBackAsUtf8) {
  const std::string folder = dir_ + "/第1話フォルダ";
  fs::create_directory(folder);
  const std::string fixture =
      "[QuorRenamer]\nVersion=1000\nPosition=120,80,800,600\n"
      "\n[Rename]\nDir=" + folder + "\nLowerExt=0\nKakkoHanToZen=0\nWaSpaceKakko=1\nWaKakko=0\n"
      "DeleteAfterKakko=1\nDeleteKakko=1\n"
      "\n[ReplaceList]\nIgnoreCase=0\n"
      "1=第,\"第 話\"\n"
      "2=表示,ソース\n"
      "3=,削除\n"
      "4=\"a,b\",\"say \"\"hi\"\"\"\n"
      "5=ｱｲ,アイ\n"
      "6=C:\\x\\y,\\\\server\n"
      "7=～,ー\n"
      "\n[FileList]\nWithDir=1\nWithExt=1\n";
  FormSettings expected;
  expected.Left = 120;
  expected.Top = 80;
  expected.Width = 800;
  expected.Height = 600;
  expected.Dir = folder;
  expected.LowerExt = false;
  expected.KakkoHanToZen = false;
  expected.WaSpaceKakko = true;
  expected.DeleteAfterKakko = true;
  expected.DeleteKakko = true;
  expected.IgnoreCase = false;
  expected.Rows = {{"第", "第 話"},   {"表示", "ソース"}, {"", "削除"},      {"a,b", "say \"hi\""},
                   {"ｱｲ", "アイ"}, {"C:\\x\\y", "\\\\server"}, {"～", "ー"}};
  expected.WithDir = true;
  expected.WithExt = true;

  // The same file as Windows wrote it: CP932 with CRLF and no blank lines.
  std::string windows;
  for (std::string_view rest = fixture; !rest.empty();) {
    const std::size_t nl = rest.find('\n');
    const std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl + 1);
    if (!line.empty()) windows += ToCp932ByTable(line) + "\r\n";
  }
  ASSERT_FALSE(IsValidText(windows, Codepage::Utf8)) << "the fixture must need the CP932 reading";

  const struct {
    const char* what;
    std::string bytes;
  } files[] = {{"UTF-8", fixture}, {"CP932", windows}, {"UTF-8 with a BOM", "\xEF\xBB\xBF" + fixture}};
  for (const auto& f : files) {
    FormSettings s = Load(f.bytes);
    ExpectSameSettings(s, expected, f.what);
    // Saved again, the file is this program's UTF-8 form of the same content,
    // with the keys that came after this file was written.
    SaveSettings(path_, s);
    std::string saved = fixture;
    saved.insert(saved.find("\n\n[ReplaceList]") + 1, "AlnumZenToHan=0\nCompanions=1\n");
    EXPECT_EQ(test::ReadFile(path_), saved) << f.what;
  }
}

TEST_F(SettingsTest, DamagedFilesKeepTheDefaults) {
  const std::string random = test::RandomBytes(10 << 20, 99u);
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"10 MB of random bytes", random},
      {"random bytes under the sections", "[QuorRenamer]\n[Rename]\n" + random},
      {"no sections", "Position=1,2,3000,3000\nLowerExt=0\n1=a,b\n"},
      {"lines without =", "[Rename]\nLowerExt\n[ReplaceList]\n1\nIgnoreCase\n"},
      {"garbage lines", "[Rename\n]\n[]\n=\n==\n[ReplaceList]]\nLowerExt=0\n"},
      {"binary zeros", "[Rename]\0LowerExt=0\n\0\0\0"s},
  };
  for (const auto& c : cases) {
    FormSettings s = Load(c.file);
    ExpectSameSettings(s, Centred(), c.what);
  }
}

TEST_F(SettingsTest, DamagedFilesReadWhatCanBeRead) {
  FormSettings s = Load(
      "[Rename]\nLowerExt=0\nLowerExt=1\n"  // the first of a repeated key wins
      "[ReplaceList]\n1=\"a,b\n"           // a quote without its end takes the rest
      "2=\"x\"junk,y\n"
      "[Rename]\nWaKakko=1\n");            // a repeated section continues the first
  EXPECT_FALSE(s.LowerExt);
  EXPECT_TRUE(s.WaKakko);
  EXPECT_EQ(s.Rows[0], (Row{"a,b", ""}));
  EXPECT_EQ(s.Rows[1], (Row{"x", "y"}));
}

TEST_F(SettingsTest, FailuresThrowAndKeepTheOldFile) {
  // A pipe where the file should be: refused at once, never waited on.
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  FormSettings s = Fresh();
  EXPECT_THROW(LoadSettings(path_, s), Exception) << "a pipe";
  ExpectSameSettings(s, Fresh(), "nothing taken from a file that was not read");
  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_THROW(LoadSettings(path_, s), Exception) << "a folder where the file should be";
  EXPECT_THROW(SaveSettings(path_, s), Exception);
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_THROW(SaveSettings(dir_ + "/missing/quor-renamer.ini", s), Exception);
  EXPECT_FALSE(fs::exists(dir_ + "/missing"));

  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::remove(path_);
  Write("[Rename]\nLowerExt=0\n");
  ::chmod(dir_.c_str(), 0500);
  EXPECT_THROW(SaveSettings(path_, s), Exception);
  ::chmod(dir_.c_str(), 0700);
  EXPECT_EQ(test::ReadFile(path_), "[Rename]\nLowerExt=0\n");
}

TEST_F(SettingsTest, PathBesideTheProgramOrInTheUserConfiguration) {
  fs::create_directory(dir_ + "/bin");
  // Installed layouts under a prefix of the user's own, and copies that only look like one.
  const auto layout = [&](const std::string& prefix, const std::string& program, const std::string& link) {
    fs::create_directories(dir_ + "/" + prefix + "/lib/quor-renamer");
    std::ofstream(dir_ + "/" + prefix + "/lib/quor-renamer/" + program) << "exe";
    if (link.empty()) return;
    fs::create_directories(dir_ + "/" + prefix + "/bin");
    fs::create_symlink(link, dir_ + "/" + prefix + "/bin/" + program);
  };
  layout("local", "quor-renamer", "../lib/quor-renamer/quor-renamer");
  layout("cli-only", "quor-rename", "../lib/quor-renamer/quor-rename");
  layout("unlinked", "quor-renamer", "");
  layout("elsewhere", "quor-renamer", dir_ + "/bin/quor-renamer");
  fs::create_directories(dir_ + "/apps/quor-renamer");
  fs::create_directory_symlink(dir_ + "/apps/quor-renamer", dir_ + "/bin/qr");
  const struct {
    const char* what;
    std::string exe;
    std::string config;
    std::string path;
  } cases[] = {
      {"writable folder", dir_ + "/bin/quor-renamer", "/cfg", dir_ + "/bin/quor-renamer.ini"},
      {"extension replaced", dir_ + "/bin/quor-renamer.bin", "/cfg", dir_ + "/bin/quor-renamer.ini"},
      {"folder not there", dir_ + "/gone/quor-renamer", dir_ + "/cfg", dir_ + "/cfg/quor-renamer.ini"},
      {"no configuration folder known", dir_ + "/gone/quor-renamer", "", dir_ + "/gone/quor-renamer.ini"},
      // Installed: never beside the program, even for a user who may write there.
      {"under /usr", "/usr/lib/quor-renamer", dir_ + "/cfg", dir_ + "/cfg/quor-renamer.ini"},
      {"under /opt", "/opt/quor/quor-renamer", dir_ + "/cfg", dir_ + "/cfg/quor-renamer.ini"},
      {"installed under a prefix of the user's", dir_ + "/local/lib/quor-renamer/quor-renamer", dir_ + "/cfg",
       dir_ + "/cfg/quor-renamer.ini"},
      {"installed without the window", dir_ + "/cli-only/lib/quor-renamer/quor-renamer", dir_ + "/cfg",
       dir_ + "/cfg/quor-renamer.ini"},
      {"the layout's folders without links in bin/", dir_ + "/unlinked/lib/quor-renamer/quor-renamer", "/cfg",
       dir_ + "/unlinked/lib/quor-renamer/quor-renamer.ini"},
      {"bin/ links to another copy", dir_ + "/elsewhere/lib/quor-renamer/quor-renamer", "/cfg",
       dir_ + "/elsewhere/lib/quor-renamer/quor-renamer.ini"},
      {"a copy with a link to it elsewhere", dir_ + "/apps/quor-renamer/quor-renamer", "/cfg",
       dir_ + "/apps/quor-renamer/quor-renamer.ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(SettingsPath(c.exe, c.config), c.path) << c.what;
  fs::create_directory(dir_ + "/shared");
  ::chmod((dir_ + "/shared").c_str(), 0777);
  if (::geteuid() == 0 && ::chown((dir_ + "/shared").c_str(), 65534, 65534) == 0) {
    EXPECT_EQ(SettingsPath(dir_ + "/shared/quor-renamer", "/cfg"), "/cfg/quor-renamer.ini")
        << "a folder of another user's, writable all the same";
  }

  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ::chmod((dir_ + "/bin").c_str(), 0500);
  EXPECT_EQ(SettingsPath(dir_ + "/bin/quor-renamer", "/home/u/.config/quor"),
            "/home/u/.config/quor/quor-renamer.ini");
  ::chmod((dir_ + "/bin").c_str(), 0700);
}

TEST_F(SettingsTest, ASaveRemovesWhatKilledSavesLeftBehind) {
  // A process that has ended, so its number is free.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string dead = std::to_string(child);
  const std::string alive = std::to_string(::getpid());
  const std::vector<std::string> names = {
      ".quor-renamer.ini." + dead + ".0.tmp",   ".quor-renamer.ini." + dead + ".17.tmp",
      ".quor-renamer.ini." + alive + ".3.tmp",  ".other.ini." + dead + ".0.tmp",
      ".quor-renamer.ini." + dead + ".x.tmp",   "quor-renamer.ini." + dead + ".0.tmp"};
  for (const auto& name : names) test::WriteFile(dir_ + "/" + name, "half a save");
  SaveSettings(path_, Fresh());
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(fs::exists(dir_ + "/" + names[i]), i >= 2) << names[i];
}

}  // namespace
}  // namespace quor
