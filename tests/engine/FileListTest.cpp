#include "engine/files/FileList.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/TempFolder.h"

namespace quor {
namespace {

using test::TempFolder;

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(FileList, FourLineForms) {
  TempFolder root;
  root.Folder("old.data");
  const std::string dir = root / "old.data";
  for (const char* name : {"report.final.txt", "README", ".profile", "readme"}) std::ofstream(dir + "/" + name);
  std::filesystem::create_directory(dir + "/archive.old");
  using V = std::vector<std::string>;
  EXPECT_EQ(Sorted(BuildFileList(dir, false, false)), (V{"", "README", "archive", "readme", "report.final"}));
  EXPECT_EQ(Sorted(BuildFileList(dir, false, true)),
            (V{".profile", "README", "archive.old", "readme", "report.final.txt"}));
  EXPECT_EQ(Sorted(BuildFileList(dir, true, false)),
            (V{dir + "/", dir + "/README", dir + "/archive", dir + "/readme", dir + "/report.final"}));
  EXPECT_EQ(Sorted(BuildFileList(dir, true, true)), (V{dir + "/.profile", dir + "/README", dir + "/archive.old",
                                                       dir + "/readme", dir + "/report.final.txt"}));
}

TEST(FileList, MasksMissingFoldersAndTheCurrentFolder) {
  TempFolder dir;
  dir.File("a.txt");
  dir.File("b.mp4");
  EXPECT_EQ(BuildFileList(dir / "*.txt", false, true), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(BuildFileList(dir / "missing", true, true).empty());
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const auto lines = Sorted(BuildFileList("", true, true));
  std::filesystem::current_path(old);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.txt", "b.mp4"})) << "bare names, never the root";
}

}  // namespace
}  // namespace quor
