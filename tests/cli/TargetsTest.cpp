// What quor-rename's PATHs resolve to, without running the program.

#include "cli/Targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "engine/files/File.h"
#include "system/SystemOps.h"
#include "tests/TempFolder.h"

namespace quor::cli {
namespace {

TEST(Targets, AbsolutePath) {
  const struct {
    const char* what;
    std::string path, current, absolute;
  } cases[] = {
      {"a name", "a.MP4", "/x/y", "/x/y/a.MP4"},
      {"leading ./", "./a.MP4", "/x/y", "/x/y/a.MP4"},
      {"leading ../ steps", "../../b/a.MP4", "/x/y", "/b/a.MP4"},
      {"mixed leading steps", "../b/./c", "/a/x", "/a/b/c"},
      {". alone is the current folder", ".", "/x/y", "/x/y"},
      {".. alone is its parent", "..", "/x/y", "/x"},
      {"a trailing /. names a folder", "a/.", "/x/y", "/x/y/a/"},
      {"doubled separators", "a//b///c", "/x/y", "/x/y/a/b/c"},
      {"doubled separators in an absolute path", "//m//tv", "/x/y", "/m/tv"},
      {"a trailing / stays", "tv/", "/x/y", "/x/y/tv/"},
      {"an absolute trailing / stays", "/m/tv/", "/x/y", "/m/tv/"},
      {"the root", "/", "/x/y", "/"},
      {".. at the root stays there", "../..", "/x", "/"},
      {"a .. in the middle is left to the system", "a/../b", "/x/y", "/x/y/a/../b"},
      {"an absolute .. in the middle is left alone", "/m/../tv", "/x/y", "/m/../tv"},
      {"names that only start with dots are names", ".hidden/...", "/x/y", "/x/y/.hidden/..."},
  };
  for (const auto& c : cases) EXPECT_EQ(AbsolutePath(c.path, c.current), c.absolute) << c.what << ": " << c.path;
}

// The runs in order, each its folder text below the temporary folder ("."
// for the folder itself) and, for single entries, {name=PATH as typed, ...}.
std::string Summary(const std::vector<Target>& targets, const std::string& root) {
  std::string out;
  for (const Target& t : targets) {
    if (!out.empty()) out += " | ";
    std::string folder = t.FolderText;
    if (folder.starts_with(root)) folder = folder == root ? "." : folder.substr(root.size() + 1);
    out += folder;
    if (t.Names.empty()) continue;
    std::vector<std::string> names(t.Names.begin(), t.Names.end());
    std::sort(names.begin(), names.end());
    out += '{';
    for (const std::string& name : names) {
      const auto typed = t.Typed.find(name);
      out += (name == names.front() ? "" : ",") + name + "=" + (typed == t.Typed.end() ? "?" : typed->second);
    }
    out += '}';
  }
  return out;
}

TEST(Targets, ResolveOnARealFolder) {
  test::TempFolder root("quor-targets");
  root.Folder("tv");
  for (const char* name : {"a.MP4", "b.MP4", "*.MP4"}) root.File("tv/" + std::string(name));
  root.Folder("tv/a*");
  root.File("tv/a*/x.MP4");
  root.Folder("other");
  root.File("other/c.ts");
  const std::string here = root.Path();
  const std::string missing = SysResult(ENOENT).Message();

  const struct {
    const char* what;
    std::vector<std::string> paths;  // "{root}" stands for the temporary folder
    bool themselves;
    std::string current;
    std::string runs;
    std::vector<std::string> problems;
  } cases[] = {
      {"a folder: every entry of it", {"tv"}, false, here, "tv", {}},
      {"a folder with a trailing /", {"tv/"}, false, here, "tv/", {}},
      {"a folder with -d: the folder itself, in its parent", {"tv"}, true, here, ".{tv=tv}", {}},
      {"a mask", {"tv/*.mp4"}, false, here, "tv/*.mp4", {}},
      {"a mask beside a file literally named so stays a mask", {"tv/*.MP4"}, false, here, "tv/*.MP4", {}},
      {"with -d that file is one entry", {"tv/*.MP4"}, true, here, "tv{*.MP4=tv/*.MP4}", {}},
      {"a folder literally named a* is refused",
       {"tv/a*"},
       false,
       here,
       "",
       {"cannot take tv/a*: a '*' or '?' in the name of its folder would be read as a mask"}},
      {"so is an entry in it",
       {"tv/a*/x.MP4"},
       false,
       here,
       "",
       {"cannot take tv/a*/x.MP4: a '*' or '?' in the name of its folder would be read as a mask"}},
      {"single entries of one folder make one run, in the order of its first",
       {"tv/a.MP4", "other/c.ts", "./tv/b.MP4"},
       false,
       here,
       "tv{a.MP4=tv/a.MP4,b.MP4=./tv/b.MP4} | other{c.ts=other/c.ts}",
       {}},
      {"a missing PATH", {"tv/none.MP4"}, false, here, "", {"cannot find tv/none.MP4: " + missing}},
      {"a mask in a missing folder", {"gone/*.MP4"}, false, here, "", {"cannot find gone/*.MP4: " + missing}},
      {"a file named as a folder",
       {"tv/a.MP4/"},
       false,
       here,
       "",
       {"cannot find tv/a.MP4/: " + SysResult(ENOTDIR).Message()}},
      {"the root with -d", {"/"}, true, here, "", {"cannot rename / itself"}},
      {"no current folder: a relative PATH means nothing",
       {"tv"},
       false,
       "",
       "",
       {"the current folder cannot be told, so tv means nothing"}},
      {"no current folder: an absolute PATH still counts", {"{root}/tv"}, false, "", "tv", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> paths = c.paths;
    for (std::string& path : paths)
      if (path.starts_with("{root}")) path = here + path.substr(6);
    std::vector<Target> targets;
    const std::vector<std::string> problems = ResolveTargets(paths, c.themselves, c.current, targets);
    EXPECT_EQ(problems, c.problems) << c.what;
    EXPECT_EQ(Summary(targets, here), c.runs) << c.what;
  }
}

}  // namespace
}  // namespace quor::cli
