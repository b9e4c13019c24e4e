#include "engine/settings/MemIniFile.h"
#include "text/Escape.h"

#include <gtest/gtest.h>

#include "tests/Hex.h"
#include "tests/TempFolder.h"
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "system/Exception.h"

namespace quor {
namespace {

using test::Hex;

namespace fs = std::filesystem;

class MemIniFileTest : public ::testing::Test {
 protected:
  // Names in the folder other than the settings file: leftovers of a write.
  [[nodiscard]] std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename() != "quor-renamer.ini") names.push_back(e.path().filename().string());
    return names;
  }

  test::TempFolder folder_{"quor-ini"};
  std::string dir_ = folder_.Path();
  std::string path_ = dir_ + "/quor-renamer.ini";
};

TEST(IniEscape, PlainValuesAreWrittenAsTheyAre) {
  const char* const plain[] = {
      "",
      "C:\\Users\\a b\\第1話",
      "\\\\server\\share",
      "\"a b\",\"x,\"\"y\"\"\"",
      " leading and trailing ",
      "=x=y",
      "\\esc",
      "x\\esc:",
      "\\ESC:upper case is no marker",
      "ｱｲ「」～①",
      "\xC2\xA0no-break space",  // U+00A0, the first character after the C1 controls
  };
  for (const std::string_view v : plain) {
    EXPECT_EQ(EscapeLineValue(v), v) << Hex(v);
    EXPECT_EQ(UnescapeLineValue(v), v) << Hex(v);
  }
}

TEST(IniEscape, EscapesOnlyWhatCouldBreakALine) {
  const struct {
    const char* what;
    std::string value;
    std::string written;
  } cases[] = {
      {"line feed", "a\nb", "\\esc:a\\x0Ab"},
      {"CR LF", "a\r\nb", "\\esc:a\\x0D\\x0Ab"},
      {"tab with a backslash path", "C:\\dir\t", "\\esc:C:\\\\dir\\x09"},
      {"NUL", std::string("a\0b", 3), "\\esc:a\\x00b"},
      {"DEL", "\x7F", "\\esc:\\x7F"},
      {"marker itself", "\\esc:x", "\\esc:\\\\esc:x"},
      {"marker alone", "\\esc:", "\\esc:\\\\esc:"},
      {"stray byte", "a\xFFz", "\\esc:a\\xFFz"},
      {"CP932 bytes", "\x91\xE6", "\\esc:\\x91\\xE6"},
      {"C1 next line", "a\xC2\x85z", "\\esc:a\\xC2\\x85z"},
      {"last C1 control", "a\xC2\x9Fz", "\\esc:a\\xC2\\x9Fz"},
      {"line separator", "a\xE2\x80\xA8z", "\\esc:a\\xE2\\x80\\xA8z"},
      {"japanese kept bare beside a control", "第\n話", "\\esc:第\\x0A話"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeLineValue(c.value), c.written) << c.what;
    EXPECT_EQ(UnescapeLineValue(c.written), c.value) << c.what;
  }
}

TEST(IniEscape, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string v = std::string("a") + static_cast<char>(b) + "\\x41\\";
    const std::string written = EscapeLineValue(v);
    for (const char c : written) {
      const auto u = static_cast<unsigned char>(c);
      ASSERT_TRUE(u >= 0x20 && u != 0x7F) << "byte " << b << " wrote " << Hex(written);
    }
    EXPECT_EQ(UnescapeLineValue(written), v) << "byte " << b;
    all += static_cast<char>(b);
  }
  EXPECT_EQ(UnescapeLineValue(EscapeLineValue(all)), all);
  EXPECT_EQ(UnescapeLineValue(EscapeLineValue("\\esc:" + all)), "\\esc:" + all);
}

TEST(IniEscape, ReadsOddEscapesLeniently) {
  const struct {
    const char* text;
    std::string value;
  } cases[] = {
      {"\\esc:a\\qb", "a\\qb"},       // unknown escape: the backslash stands
      {"\\esc:a\\x4", "a\\x4"},       // one digit only
      {"\\esc:\\xZZ", "\\xZZ"},       // no digits
      {"\\esc:end\\", "end\\"},       // a backslash at the end
      {"\\esc:\\x0a\\x0A", "\n\n"},  // lower-case digits
      {"\\esc:\\x0f\\xf0", "\x0F\xF0"},  // lower-case f, both places
      {"\\esc:", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeLineValue(c.text), c.value) << c.text;
}

TEST_F(MemIniFileTest, WhatIsWrittenLoadsBackTheSame) {
  std::string everyControl;
  for (int b = 0; b < 0x20; ++b) everyControl += static_cast<char>(b);
  everyControl += '\x7F';
  const std::string values[] = {
      "", "plain", " spaced ", "C:\\a\\b", "\\esc:", "\\esc:\\x0A", "\\\\", everyControl,
      "\"a\nb\",\"x\r\"", "第1話\t「x」", "a\xFF\xFE", "\r", "\n", "=", "[Rename]", "]",
  };
  {
    TMemIniFile ini(path_);
    for (std::size_t i = 0; i < std::size(values); ++i)
      ini.WriteString("S", std::to_string(i), values[i]);
    ini.WriteString("S", "last", "end");
    ini.UpdateFile();
  }
  const std::string bytes = test::ReadFile(path_);
  // One line per key plus the header, so no value broke a line.
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), static_cast<long>(std::size(values) + 2));
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  TMemIniFile back(path_);
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(back.ReadString("S", std::to_string(i), "?"), values[i]) << i << " " << Hex(values[i]);
  EXPECT_EQ(back.ReadString("S", "last", "?"), "end");
}

TEST_F(MemIniFileTest, WritesSectionsAndKeysInTheOrderTheyAreWritten) {
  TMemIniFile ini(path_);
  ini.WriteInteger("B", "Version", 1000);
  ini.WriteString("B", "Position", "1,2,3,4");
  ini.WriteBool("A", "On", true);
  ini.WriteBool("A", "Off", false);
  ini.WriteString("B", "Position", "5,6,7,8");  // in place
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path_), "[B]\nVersion=1000\nPosition=5,6,7,8\n\n[A]\nOn=1\nOff=0\n");
}

TEST_F(MemIniFileTest, ReadsTheDialect) {
  test::WriteFile(path_,
             "\xEF\xBB\xBF"
             "orphan=before any section\r\n"
             "[Main]\r\n"
             "  Key = value with a space before  \r\n"
             "; Key=commented out\r\n"
             "# hash=comment\r\n"
             "garbage line without equals\r\n"
             "=no key\r\n"
             "Dup=first\r\n"
             "dup=second\r\n"
             "Eq=a=b\r\n"
             "Quote=\"unclosed\r\n"
             "\r\n"
             "[Other]\n"
             "X=1\n"
             "[Zone]\n"
             "Zip=z\n"
             " [ main ] \n"
             "Late=from the repeated section\n"
             "Dup=third\n"
             "NoNewlineAtEnd=yes");
  TMemIniFile ini(path_);
  const struct {
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"Main", "Key", " value with a space before  "},
      {"MAIN", "KEY", " value with a space before  "},
      {"Main", "Dup", "first"},
      {"Main", "Eq", "a=b"},
      {"Main", "Quote", "\"unclosed"},
      {"Main", "Late", "from the repeated section"},
      {"Main", "NoNewlineAtEnd", "yes"},
      {"Other", "X", "1"},
      {"zone", "zip", "z"},
      {"Main", "; Key", "(missing)"},
      {"Main", "# hash", "(missing)"},
      {"Main", "", "(missing)"},
      {"", "orphan", "(missing)"},
      {"Missing", "Key", "(missing)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "(missing)"), c.value) << c.section << "/" << c.key;
  TStringList keys;
  ini.ReadSection("main", keys);
  EXPECT_EQ(keys.Strings(), (std::vector<std::string>{"Key", "Dup", "Eq", "Quote", "Late", "NoNewlineAtEnd"}));
  keys.Add("stale");
  ini.ReadSection("Missing", keys);
  EXPECT_EQ(keys.Count(), 0u);
}

TEST_F(MemIniFileTest, IntegersAndBooleans) {
  test::WriteFile(path_,
             "[N]\n"
             "a=42\nb=-7\nc= +3 \nd=2147483647\ne=-2147483648\nf=2147483648\ng=1.5\nh=0x10\n"
             "i=\nj=-\nk=12a\nl=99999999999999999999\n"
             "[B]\n"
             "t1=1\nt2=TRUE\nt3= true \nf1=0\nf2=False\nx1=yes\nx2=2\nx3=\nx4=-1\n");
  TMemIniFile ini(path_);
  const struct {
    const char* key;
    int value;
  } ints[] = {{"a", 42}, {"b", -7},  {"c", 3},   {"d", 2147483647}, {"e", -2147483647 - 1},
              {"f", -99}, {"g", -99}, {"h", -99}, {"i", -99},         {"j", -99},
              {"k", -99}, {"l", -99}, {"missing", -99}};
  for (const auto& c : ints) EXPECT_EQ(ini.ReadInteger("N", c.key, -99), c.value) << c.key;
  const struct {
    const char* key;
    bool whenDefaultFalse;
    bool whenDefaultTrue;
  } bools[] = {{"t1", true, true},  {"t2", true, true},   {"t3", true, true},  {"f1", false, false},
               {"f2", false, false}, {"x1", false, true}, {"x2", false, true}, {"x3", false, true},
               {"x4", false, true},  {"missing", false, true}};
  for (const auto& c : bools) {
    EXPECT_EQ(ini.ReadBool("B", c.key, false), c.whenDefaultFalse) << c.key;
    EXPECT_EQ(ini.ReadBool("B", c.key, true), c.whenDefaultTrue) << c.key;
  }
}

TEST_F(MemIniFileTest, UnknownContentSurvivesASave) {
  const std::string original =
      "; written by hand\n"
      "[Mine]\n"
      "Keep=this\n"
      "stray line\n"
      "[ReplaceList]\n"
      "; gone with the section\n"
      "1=a,b\n"
      "[Tail]\n"
      "Dup=1\n"
      "Dup=2\n";
  test::WriteFile(path_, original);
  {
    TMemIniFile ini(path_);
    ini.WriteString("Mine", "New", "v");
    ini.EraseSection("ReplaceList");
    ini.WriteBool("ReplaceList", "IgnoreCase", true);
    ini.WriteString("Added", "K", "x");
    ini.UpdateFile();
  }
  // The erased section comes back where it was, and the repeated key stays inert.
  EXPECT_EQ(test::ReadFile(path_),
            "; written by hand\n"
            "\n[Mine]\nKeep=this\nstray line\nNew=v\n"
            "\n[ReplaceList]\nIgnoreCase=1\n"
            "\n[Tail]\nDup=1\nDup=2\n"
            "\n[Added]\nK=x\n");
  // A second save of the same content changes nothing.
  const std::string once = test::ReadFile(path_);
  TMemIniFile(path_).UpdateFile();
  EXPECT_EQ(test::ReadFile(path_), once);
}

TEST_F(MemIniFileTest, ErasedSectionIsGoneFromReadsAndFromTheFile) {
  test::WriteFile(path_, "[A]\nx=1\n[B]\ny=2\n");
  TMemIniFile ini(path_);
  ini.EraseSection("a");
  ini.EraseSection("NotThere");
  EXPECT_EQ(ini.ReadString("A", "x", "gone"), "gone");
  TStringList keys;
  ini.ReadSection("A", keys);
  EXPECT_EQ(keys.Count(), 0u);
  EXPECT_EQ(ini.Text(), "[B]\ny=2\n");
}

TEST_F(MemIniFileTest, ReadsAWindowsFileAsCp932) {
  // 第1話 and 表示 (trail byte 0x5C) in CP932, CRLF line ends.
  test::WriteFile(path_, "[ReplaceList]\r\n1=\x91\xE6\x31\x98\x62,\x95\x5C\x8E\xA6\r\nDir=C:\\\x95\x5C\r\n");
  TMemIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("ReplaceList", "1", ""), "第1話,表示");
  EXPECT_EQ(ini.ReadString("ReplaceList", "Dir", ""), "C:\\表");
  // Saved again, it is UTF-8 and reads the same.
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path_), "[ReplaceList]\n1=第1話,表示\nDir=C:\\表\n");
}

TEST_F(MemIniFileTest, AFileNeitherUtf8NorCp932IsTakenLineByLine) {
  test::WriteFile(path_,
             "[S]\n"
             "utf8=第1話\n"
             "cp932=\x91\xE6\n"
             "bad=a\x80z\n");
  TMemIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("S", "utf8", ""), "第1話");
  EXPECT_EQ(ini.ReadString("S", "cp932", ""), "第");
  EXPECT_EQ(ini.ReadString("S", "bad", ""), "a\xEF\xBF\xBDz");
}

TEST_F(MemIniFileTest, MissingFileOrFolderGivesAnEmptyObject) {
  for (const std::string& path : {path_, dir_ + "/no/such/folder.ini", dir_ + "/x.ini/sub"}) {
    TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "b", "def"), "def") << path;
    EXPECT_EQ(ini.Text(), "") << path;
  }
  EXPECT_TRUE(Strays().empty());
}

TEST_F(MemIniFileTest, AFileThatCannotBeReadThrows) {
  fs::create_directory(path_);
  EXPECT_THROW(TMemIniFile ini(path_), Exception);
  fs::remove(path_);
  if (::geteuid() == 0) GTEST_SKIP() << "root reads a file without read permission";
  test::WriteFile(path_, "[A]\nb=c\n");
  ::chmod(path_.c_str(), 0);
  EXPECT_THROW(TMemIniFile ini(path_), Exception);
}

TEST_F(MemIniFileTest, FailedWritesThrowAndLeaveTheOldFile) {
  test::WriteFile(path_, "[A]\nold=1\n");
  // Into a folder that does not exist.
  {
    TMemIniFile ini(dir_ + "/missing/quor-renamer.ini");
    ini.WriteString("A", "new", "1");
    try {
      ini.UpdateFile();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("/missing/quor-renamer.ini"), std::string::npos) << e.Message();
    }
  }
  // Over a folder.
  {
    TMemIniFile ini(dir_ + "/folder.ini");
    fs::create_directory(dir_ + "/folder.ini");
    ini.WriteString("A", "new", "1");
    EXPECT_THROW(ini.UpdateFile(), Exception);
    fs::remove(dir_ + "/folder.ini");
  }
  // A full disk, as a file size limit below what is written.
  {
    TMemIniFile ini(path_);
    ini.WriteString("A", "big", std::string(100000, 'x'));
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
      ini.UpdateFile();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("quor-renamer.ini"), std::string::npos) << e.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_EQ(test::ReadFile(path_), "[A]\nold=1\n");
  EXPECT_TRUE(Strays().empty()) << Strays().front();
}

TEST_F(MemIniFileTest, ReadOnlyFolderOrFileThrowsAndLeavesTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
  test::WriteFile(path_, "[A]\nold=1\n");
  TMemIniFile ini(path_);
  ini.WriteString("A", "new", "1");
  ::chmod(dir_.c_str(), 0500);
  EXPECT_THROW(ini.UpdateFile(), Exception);
  ::chmod(dir_.c_str(), 0700);
  EXPECT_EQ(test::ReadFile(path_), "[A]\nold=1\n");
  // A read-only file in a writable folder is not replaced either.
  ::chmod(path_.c_str(), 0400);
  EXPECT_THROW(ini.UpdateFile(), Exception);
  EXPECT_EQ(test::ReadFile(path_), "[A]\nold=1\n");
  EXPECT_TRUE(Strays().empty());
}

TEST_F(MemIniFileTest, RewriteKeepsPermissionsAndLinks) {
  const std::string real = dir_ + "/real.ini";
  test::WriteFile(real, "[A]\nx=1\n");
  ::chmod(real.c_str(), 0604);
  fs::create_symlink("real.ini", path_);
  TMemIniFile ini(path_);
  ini.WriteString("A", "x", "2");
  ini.UpdateFile();
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(test::ReadFile(real), "[A]\nx=2\n");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  EXPECT_EQ(Strays(), std::vector<std::string>{"real.ini"});
}

TEST_F(MemIniFileTest, TenMegabytesOfJunkLoad) {
  // Random bytes, a long run of key lines, and one endless line.
  const std::string random = test::RandomBytes(10 << 20, 12345u);
  std::string keys = "[S]\n";
  for (int i = 0; keys.size() < (10u << 20); ++i) keys += std::to_string(i) + "=" + std::to_string(i) + "\n";
  const std::string junk[] = {random, keys, std::string(10 << 20, 'x'), "[S]\n" + random};
  for (const std::string& j : junk) {
    test::WriteFile(path_, j);
    TMemIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("Rename", "Dir", "def"), "def");
  }
  TMemIniFile ini(path_);  // the last one: a section of random lines
  ini.WriteString("S", "mine", "v");
  ini.UpdateFile();
  EXPECT_EQ(TMemIniFile(path_).ReadString("S", "mine", ""), "v");
}

}  // namespace
}  // namespace quor
