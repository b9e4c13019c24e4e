#include "engine/files/Findfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "engine/files/File.h"
#include "tests/Hex.h"
#include "tests/TempFolder.h"

namespace quor {
namespace {

using test::Hex;
using test::TempFolder;

// Runs from another working folder for as long as it lives.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

using NameList = std::vector<std::string>;

// Every entry the enumerator hands out as name -> full path.
std::map<std::string, std::string> List(TFindFile& find, const std::string& pattern) {
  std::map<std::string, std::string> seen;
  find.First(pattern);
  while (find.Next()) seen[find.FileName()] = find.FullPath;
  return seen;
}

NameList SortedNames(const std::string& pattern, std::uint32_t exclude = 0, bool dots = false) {
  TFindFile find;
  find.ExcludeAttr = exclude;
  find.IncludeDots = dots;
  NameList names;
  for (const auto& [name, path] : List(find, pattern)) names.push_back(name);
  return names;
}


TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
  const struct {
    const char* what;
    std::string dir, name, joined;
  } cases[] = {
      {"plain", "/a", "b", "/a/b"},
      {"folder ends in separator", "/a/", "b", "/a/b"},
      {"name starts with separators", "/a", "//b", "/a/b"},
      {"both", "/a/", "/b", "/a/b"},
      {"root", "/", "b", "/b"},
      {"empty folder stays relative", "", "b", "b"},
      {"empty folder, rooted name", "", "/b", "b"},
      {"empty name", "/a", "", "/a/"},
      {"backslash is a name character", "a\\", "b", "a\\/b"},
      {"colon is a name character", "c:", "b", "c:/b"},
      {"folder ends in a three-byte character", "\xE8\xA1\xA8", "b", "\xE8\xA1\xA8/b"},
      {"folder ends in a stray byte", "a\xE8", "b", "a\xE8/b"},
      {"folder ends in NUL", std::string("a\0", 2), "b", std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.joined) << c.what << ": " << Hex(c.joined);
}

TEST(MakeSearchPattern, AddsTheMaskUnlessTheTextHasOne) {
  const struct {
    const char* what;
    std::string text, pattern;
  } cases[] = {
      {"folder", "/media/anime", "/media/anime/*.*"},
      {"folder with trailing separator", "/media/anime/", "/media/anime/*.*"},
      {"own mask with star", "/media/anime/*.mp4", "/media/anime/*.mp4"},
      {"own mask with question mark", "/media/ep?.mp4", "/media/ep?.mp4"},
      {"star in a folder name", "/media/*/x", "/media/*/x"},
      {"root", "/", "/*.*"},
      {"empty text is the current folder", "", "*.*"},
      {"not trimmed", " /m ", " /m /*.*"},
      {"backslash is no separator", "a\\b", "a\\b/*.*"},
      {"japanese folder", "/m/\xE8\xA1\xA8", "/m/\xE8\xA1\xA8/*.*"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeSearchPattern(c.text), c.pattern) << c.what;
}

TEST(MatchesFindMask, StarQuestionMarkAndAsciiCase) {
  const struct {
    const char* what;
    std::string name, mask;
    bool match;
    Codepage cp = Codepage::Utf8;
  } cases[] = {
      {"star dot star takes a name without dot", "README", "*.*", true},
      {"star dot star takes a dot name", ".profile", "*.*", true},
      {"star takes anything", "x.y.z", "*", true},
      {"extension in other case", "EP1.MP4", "*.mp4", true},
      {"mask in upper case", "ep1.mp4", "*.MP4", true},
      {"longer extension", "a.mp4x", "*.mp4", false},
      {"extension in the middle", "a.mp4.txt", "*.mp4", false},
      {"star needs backtracking", "xaxxab", "*a*b", true},
      {"star matches nothing", "ab", "a*b", true},
      {"question mark takes one byte", "abc", "a?c", true},
      {"question mark needs a character", "ac", "a?c", false},
      {"question mark takes a whole character", "\xE3\x81\x82", "?", true},
      {"two question marks for one character", "\xE3\x81\x82", "??", false},
      {"question mark takes a stray byte", "a\xFF", "a?", true},
      {"no folding beyond ASCII", "\xC3\xA4", "\xC3\x84", false},
      {"full-width letters are not ASCII", "\xEF\xBD\x81", "\xEF\xBC\xA1", false},
      {"japanese literal", "\xE7\xAC\xAC" "1\xE8\xA9\xB1.mp4", "*\xE8\xA9\xB1*", true},
      {"literal never matches part of a character", "\xE3\x81\x82", "\xE3*", false},
      {"backslash is literal", "a\\b", "a\\b", true},
      {"backslash escapes nothing", "a*", "a\\*", false},
      {"empty mask takes only the empty name", "a", "", false},
      {"trailing stars", "abc", "abc**", true},
      {"z in the mask takes Z", "ZIP.TXT", "z*", true},
      // ア (83 41) ends in 'A': after a star the match resumes on whole characters only.
      {"star never resumes on a trail byte", "\x83\x41", "*A", false, Codepage::Cp932},
      {"star resumes after a whole character", "\x83\x41" "A", "*A", true, Codepage::Cp932},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFindMask(c.name, c.mask, c.cp), c.match) << c.what;
}

TEST(TFindFile, ListsEveryEntryButTheDots) {
  TempFolder t;
  t.File("EP1.MP4", "12345");
  t.File("README");
  t.File(".hidden");
  t.Folder("Season.2");
  for (const std::string& text : {t.Path(), t.Path() + "/"}) {
    TFindFile find;
    const auto seen = List(find, MakeSearchPattern(text));
    const std::map<std::string, std::string> expected = {{".hidden", t / ".hidden"},
                                                         {"EP1.MP4", t / "EP1.MP4"},
                                                         {"README", t / "README"},
                                                         {"Season.2", t / "Season.2"}};
    EXPECT_EQ(seen, expected) << text;
  }
}

TEST(TFindFile, ReportsEntriesInTheFileSystemsOrder) {
  TempFolder t;
  for (int i = 0; i < 50; ++i) t.File("f" + std::to_string(i));
  NameList fromSystem;
  DIR* dir = opendir(t.Path().c_str());
  while (const dirent* e = readdir(dir))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") fromSystem.push_back(e->d_name);
  closedir(dir);
  NameList listed;
  TFindFile find;
  find.First(t / "*.*");
  while (find.Next()) listed.push_back(find.FileName());
  EXPECT_EQ(listed, fromSystem);
}

TEST(TFindFile, UsesTheMaskOfThePattern) {
  TempFolder t;
  for (const char* n : {"EP1.MP4", "ep2.mp4", "ep3.Mp4", "a.mp4.txt", "b.mp4x", "mp4", "ep10.mp4"}) t.File(n);
  EXPECT_EQ(SortedNames(t / "*.mp4"), (NameList{"EP1.MP4", "ep10.mp4", "ep2.mp4", "ep3.Mp4"}));
  EXPECT_EQ(SortedNames(t / "ep?.mp4"), (NameList{"EP1.MP4", "ep2.mp4", "ep3.Mp4"}));
  EXPECT_EQ(SortedNames(t / "EP1.MP4"), (NameList{"EP1.MP4"}));
  EXPECT_EQ(SortedNames(t / "*"), SortedNames(t / "*.*"));
  EXPECT_EQ(SortedNames(t / "*.*").size(), 7u);
  EXPECT_EQ(SortedNames(t / "*.doc"), NameList{});
}

TEST(TFindFile, HandsOutOddNamesByteForByte) {
  TempFolder t;
  const NameList names = {"a?b",   "a*b",   "back\\slash", " lead and trail ", "line\nbreak",
                          "\xFF\xFE", "\xE7\xAC\xAC" "1\xE8\xA9\xB1\xEF\xBD\xA2" "A\xEF\xBD\xA3.MP4"};
  for (const auto& n : names) t.File(n);
  NameList sorted = names;
  std::sort(sorted.begin(), sorted.end());
  TFindFile find;
  const auto seen = List(find, t / "*.*");
  NameList listed;
  for (const auto& [name, path] : seen) {
    listed.push_back(name);
    EXPECT_EQ(path, t / name) << Hex(name);
  }
  EXPECT_EQ(listed, sorted);
  // Wildcards in a name are ordinary characters to the entry; in the
  // pattern they stay wildcards.
  EXPECT_EQ(SortedNames(t / "a?b"), (NameList{"a*b", "a?b"}));
}

TEST(TFindFile, FiltersByAttribute) {
  TempFolder t;
  t.File("file");
  t.File(".hidden");
  t.Folder("sub");
  t.Folder(".git");
  t.File("locked");
  ASSERT_EQ(chmod((t / "locked").c_str(), 0444), 0);
  EXPECT_EQ(SortedNames(t / "*.*", FILE_ATTRIBUTE_DIRECTORY), (NameList{".hidden", "file", "locked"}));
  EXPECT_EQ(SortedNames(t / "*.*", FILE_ATTRIBUTE_HIDDEN), (NameList{"file", "locked", "sub"}));
  EXPECT_EQ(SortedNames(t / "*.*", FILE_ATTRIBUTE_READONLY), (NameList{".git", ".hidden", "file", "sub"}));
  EXPECT_EQ(SortedNames(t / "*.*", FILE_ATTRIBUTE_NORMAL), (NameList{".git", ".hidden", "locked", "sub"}));

  // Next with a mask of its own ignores ExcludeAttr.
  TFindFile find;
  find.ExcludeAttr = FILE_ATTRIBUTE_DIRECTORY;
  find.First(t / "*.*");
  NameList names;
  while (find.Next(0)) names.push_back(find.FileName());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (NameList{".git", ".hidden", "file", "locked", "sub"}));
}

TEST(TFindFile, HandsOutTheDotsOnRequest) {
  TempFolder t;
  t.File("a");
  TFindFile find;
  find.IncludeDots = true;
  const auto seen = List(find, t / "*.*");
  const std::map<std::string, std::string> expected = {{".", t / "."}, {"..", t / ".."}, {"a", t / "a"}};
  EXPECT_EQ(seen, expected);
  // The dots are the folder and its parent, not hidden entries.
  EXPECT_EQ(SortedNames(t / "*.*", FILE_ATTRIBUTE_HIDDEN, true), (NameList{".", "..", "a"}));
}

TEST(TFindFile, FillsTheRecord) {
  TempFolder t;
  t.File("five", "12345");
  t.File("locked", "x");
  ASSERT_EQ(chmod((t / "locked").c_str(), 0444), 0);
  t.Folder("sub");
  t.File(".dot");
  t.File("..a");
  t.File("group-writable");
  ASSERT_EQ(chmod((t / "group-writable").c_str(), 0464), 0);
  ASSERT_EQ(symlink("five", (t / "link").c_str()), 0);
  // 2001-09-09 01:46:40.5 UTC
  const timespec times[2] = {{1000000000, 500000000}, {1000000000, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, (t / "five").c_str(), times, 0), 0);

  std::map<std::string, std::uint32_t> attributes;
  TFindFile find;
  find.First(t / "*.*");
  while (find.Next()) {
    attributes[find.FileName()] = find.FileAttributes();
    if (find.FileName() == "five") {
      EXPECT_EQ(find.FileSize(), 5u);
      EXPECT_EQ(find.FileSizeLow(), 5u);
      EXPECT_EQ(find.FileSizeHigh(), 0u);
      const FileTime expected = (1000000000ull + 11644473600ull) * 10000000ull + 5000000ull;
      EXPECT_EQ(find.LastWriteTime(), expected);
      EXPECT_EQ(find.LastAccessTime(), expected);
    }
    if (find.FileName() == "sub") {
      EXPECT_EQ(find.FileSize(), 0u);
    }
  }
  const std::map<std::string, std::uint32_t> expected = {
      {"five", FILE_ATTRIBUTE_NORMAL},       {"locked", FILE_ATTRIBUTE_READONLY},
      {"sub", FILE_ATTRIBUTE_DIRECTORY},     {".dot", FILE_ATTRIBUTE_HIDDEN},
      {"link", FILE_ATTRIBUTE_REPARSE_POINT}, {"..a", FILE_ATTRIBUTE_HIDDEN},
      {"group-writable", FILE_ATTRIBUTE_NORMAL},
  };
  EXPECT_EQ(attributes, expected);
}

TEST(TFindFile, FillsTheShortNameFromTheLongOne) {
  TempFolder t;
  const std::string kana = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\xE3\x81\x8A.txt";  // あいうえお.txt
  t.File("a.txt");
  t.File("exactly13.txt");
  t.File("fourteen-bytes");
  t.File(kana);
  std::map<std::string, std::string> shortNames;
  TFindFile find;
  find.First(t / "*.*");
  while (find.Next()) shortNames[find.FileName()] = find.cAlternateFileName;
  const std::map<std::string, std::string> expected = {
      {"a.txt", "a.txt"},
      {"exactly13.txt", "exactly13.txt"},
      {"fourteen-bytes", "fourteen-byte"},
      // Cut before the fifth three-byte character, not inside it.
      {kana, "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88"},
  };
  EXPECT_EQ(shortNames, expected);
}

TEST(TFindFile, BuildsFullPathsWithoutTurningToTheRoot) {
  TempFolder t;
  t.File("a");
  {
    // No directory part: the entries of the current folder, by bare name.
    WorkingFolder here(t.Path());
    TFindFile find;
    EXPECT_EQ(List(find, MakeSearchPattern("")), (std::map<std::string, std::string>{{"a", "a"}}));
    EXPECT_EQ(List(find, "a*"), (std::map<std::string, std::string>{{"a", "a"}}));
  }
  // A run of separators in the pattern stays as it is, with none added.
  TFindFile find;
  EXPECT_EQ(List(find, t.Path() + "//*.*"), (std::map<std::string, std::string>{{"a", t.Path() + "//a"}}));

  // At the root the separator is not doubled.
  find.First("/*");
  ASSERT_TRUE(find.Next());
  EXPECT_EQ(find.FullPath, "/" + find.FileName());
  find.CloseSearch();
}

TEST(TFindFile, YieldsNothingForWhatCannotBeListed) {
  TempFolder t;
  t.File("file");
  t.Folder("empty");
  const struct {
    const char* what;
    std::string pattern;
  } cases[] = {
      {"empty pattern", ""},
      {"missing folder", t / "missing/*.*"},
      {"a file as folder", t / "file/*.*"},
      {"nothing matches", t / "*.doc"},
      {"empty folder", t / "empty/x*"},
      {"no mask after the separator", t / ""},
      {"NUL in the pattern", t.Path() + std::string("\0/*.*", 5)},
  };
  for (const auto& c : cases) {
    TFindFile find;
    // The record handed out an entry before: a new start forgets it.
    ASSERT_TRUE(find.First(t / "file") && find.Next());
    EXPECT_FALSE(find.First(c.pattern)) << c.what;
    EXPECT_TRUE(find.FullPath.empty()) << c.what;
    EXPECT_FALSE(find.IsOpen()) << c.what;
    EXPECT_FALSE(find.Next()) << c.what;
    EXPECT_TRUE(find.FullPath.empty()) << c.what;
  }
}

TEST(TFindFile, StepsThroughItsStates) {
  TempFolder t;
  t.File("only");
  TFindFile find;
  EXPECT_FALSE(find.IsOpen());
  EXPECT_FALSE(find.Next()) << "Next before any First";

  EXPECT_TRUE(find.First(t / "*.*"));
  EXPECT_TRUE(find.IsOpen());
  EXPECT_TRUE(find.FullPath.empty()) << "started, nothing handed out yet";

  ASSERT_TRUE(find.Next());
  EXPECT_EQ(find.FileName(), "only");
  EXPECT_EQ(find.FullPath, t / "only");

  EXPECT_FALSE(find.Next());
  EXPECT_FALSE(find.IsOpen()) << "the end closes the search";
  EXPECT_TRUE(find.FullPath.empty());
  EXPECT_FALSE(find.Next()) << "and it stays at the end";
  EXPECT_TRUE(find.FullPath.empty());
}

TEST(TFindFile, StartsOnAnEmptyFolderYetHandsOutNothing) {
  // The start sees "." and "..", which the filter then drops.
  TempFolder t;
  TFindFile find;
  EXPECT_TRUE(find.First(t / "*.*"));
  EXPECT_FALSE(find.Next());
  EXPECT_FALSE(find.IsOpen());
}

TEST(TFindFile, ReleasesItsSearchOnEveryPath) {
  TempFolder t;
  t.File("a");
  t.File("b");
  t.Folder("other");
  t.File("other/c");
  const int before = OpenDescriptors();
  {
    TFindFile find;
    find.First(t / "*.*");
    ASSERT_TRUE(find.Next());
    // A new First on an open search ends the old one first.
    EXPECT_TRUE(find.First(t / "other/*.*"));
    EXPECT_EQ(OpenDescriptors(), before + 1);
    ASSERT_TRUE(find.Next());
    EXPECT_EQ(find.FullPath, t / "other/c");
    EXPECT_FALSE(find.Next());

    find.First(t / "*.*");
    find.CloseSearch();
    EXPECT_FALSE(find.IsOpen());
    EXPECT_EQ(OpenDescriptors(), before);

    find.First(t / "*.*");
    EXPECT_TRUE(find.Next());
  }
  EXPECT_EQ(OpenDescriptors(), before) << "the destructor closes";
}

}  // namespace
}  // namespace quor
