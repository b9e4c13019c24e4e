#include "system/SystemOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "system/EntryIdentity.h"
#include "system/FolderLock.h"
#include "system/FolderWatch.h"
#include "system/Mounts.h"
#include "tests/TempFolder.h"

namespace quor {
namespace {

using test::Names;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

using NameList = std::vector<std::string>;

TEST(RenameFile, RenamesFilesAndFoldersWithTheirContent) {
  TempFolder t;
  WriteFile(t / "a.MP4", "movie");
  ASSERT_EQ(mkdir((t / "Season").c_str(), 0755), 0);
  WriteFile(t / "Season/ep1", "one");

  EXPECT_TRUE(RenameFile(t / "a.MP4", t / "b.mp4"));
  EXPECT_TRUE(RenameFile(t / "Season", t / "Season 1"));
  EXPECT_EQ(Names(t.Path()), (NameList{"Season 1", "b.mp4"}));
  EXPECT_EQ(ReadFile(t / "b.mp4"), "movie");
  EXPECT_EQ(ReadFile(t / "Season 1/ep1"), "one");
}

TEST(RenameFile, NeverReplacesAnExistingEntry) {
  const struct {
    const char* what;
    bool sourceIsFolder;
    bool targetIsFolder;
  } cases[] = {
      {"file onto file", false, false},
      {"file onto folder", false, true},
      {"folder onto folder", true, true},
      {"folder onto file", true, false},
  };
  for (const auto& c : cases) {
    TempFolder t;
    if (c.sourceIsFolder)
      ASSERT_EQ(mkdir((t / "src").c_str(), 0755), 0);
    else
      WriteFile(t / "src", "source");
    // An empty folder is what plain rename() would silently replace.
    if (c.targetIsFolder)
      ASSERT_EQ(mkdir((t / "dst").c_str(), 0755), 0);
    else
      WriteFile(t / "dst", "target");

    EXPECT_EQ(RenameFile(t / "src", t / "dst").Error(), EEXIST) << c.what;
    EXPECT_EQ(Names(t.Path()), (NameList{"dst", "src"})) << c.what;
    if (!c.sourceIsFolder) {
      EXPECT_EQ(ReadFile(t / "src"), "source") << c.what;
    }
    if (!c.targetIsFolder) {
      EXPECT_EQ(ReadFile(t / "dst"), "target") << c.what;
    }
  }
}

TEST(RenameFile, ADanglingLinkIsAnExistingTarget) {
  TempFolder t;
  WriteFile(t / "src", "source");
  ASSERT_EQ(symlink("nowhere", (t / "dst").c_str()), 0);
  EXPECT_FALSE(RenameFile(t / "src", t / "dst"));
  EXPECT_EQ(Names(t.Path()), (NameList{"dst", "src"}));
}

TEST(RenameFile, AHardLinkIsAnExistingTarget) {
  // Same inode under another name: looks like a case-insensitive hit but is
  // a separate entry.
  TempFolder t;
  WriteFile(t / "a", "data");
  ASSERT_EQ(link((t / "a").c_str(), (t / "b").c_str()), 0);
  EXPECT_EQ(RenameFile(t / "a", t / "b").Error(), EEXIST);
  EXPECT_EQ(Names(t.Path()), (NameList{"a", "b"}));
}

TEST(RenameFile, ChangesTheCaseOnly) {
  TempFolder t;
  WriteFile(t / "A.MP4", "movie");
  EXPECT_TRUE(RenameFile(t / "A.MP4", t / "A.mp4"));
  EXPECT_EQ(Names(t.Path()), (NameList{"A.mp4"}));
  EXPECT_EQ(ReadFile(t / "A.mp4"), "movie");
}

TEST(RenameFile, NeverMovesAnEntryThatIsNotRenamed) {
  // On a case-sensitive folder both spellings are separate entries, and two
  // hard links are two entries of one file: the rename is refused without
  // touching either, so that nothing is ever seen under another name.
  const struct {
    const char* what;
    bool hardLink;
  } cases[] = {{"case twins", false}, {"hard links", true}};
  for (const auto& c : cases) {
    TempFolder t;
    WriteFile(t / "A.MP4", "upper");
    if (c.hardLink)
      ASSERT_EQ(link((t / "A.MP4").c_str(), (t / "a.mp4").c_str()), 0);
    else
      WriteFile(t / "a.mp4", "lower");
    test::FolderWatch watch(t.Path());
    const RenameResult result = RenameFile(t / "A.MP4", t / "a.mp4");
    EXPECT_EQ(result.Error(), EEXIST) << c.what;
    EXPECT_TRUE(result.StrandedAt.empty()) << c.what;
    EXPECT_EQ(watch.Seen(), NameList{}) << c.what;
    EXPECT_EQ(Names(t.Path()), (NameList{"A.MP4", "a.mp4"})) << c.what;
    EXPECT_EQ(ReadFile(t / "a.mp4"), c.hardLink ? "upper" : "lower") << c.what;
  }
}

TEST(RenameFile, FailsCleanly) {
  TempFolder t;
  WriteFile(t / "a", "data");
  const struct {
    const char* what;
    std::string from;
    std::string to;
    int error;
  } cases[] = {
      {"missing source", t / "missing", t / "b", ENOENT},
      {"missing target folder", t / "a", t / "no/b", ENOENT},
      {"empty source", "", t / "b", ENOENT},
      {"empty target", t / "a", "", ENOENT},
      // The NUL would cut the path to ".../a" and rename that.
      {"NUL in source", t / std::string("a\0x", 3), t / "b", EINVAL},
      {"NUL in target", t / "a", t / std::string("b\0", 2), EINVAL},
      {"target below a file", t / "a", t / "a/inner", ENOTDIR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RenameFile(c.from, c.to).Error(), c.error) << c.what;
    EXPECT_EQ(Names(t.Path()), (NameList{"a"})) << c.what;
  }
}

TEST(RenameFile, RefusesToMoveAFolderIntoItself) {
  TempFolder t;
  ASSERT_EQ(mkdir((t / "d").c_str(), 0755), 0);
  EXPECT_EQ(RenameFile(t / "d", t / "d/inner").Error(), EINVAL);
  EXPECT_EQ(Names(t.Path()), (NameList{"d"}));
  EXPECT_EQ(Names(t / "d"), NameList{});
}

TEST(RenameFile, EachResultCarriesItsOwnReason) {
  TempFolder t;
  WriteFile(t / "a", "");
  const RenameResult failed = RenameFile(t / "missing", t / "b");
  const RenameResult done = RenameFile(t / "a", t / "b");
  EXPECT_EQ(failed.Error(), ENOENT);
  EXPECT_FALSE(failed.Message().empty());
  EXPECT_TRUE(failed.StrandedAt.empty());
  EXPECT_EQ(done.Error(), 0);
  EXPECT_EQ(done.Message(), "");
}

TEST(ExistsChecks, TellFilesFoldersAndLinksApart) {
  TempFolder t;
  WriteFile(t / "file", "");
  ASSERT_EQ(mkdir((t / "folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink("file", (t / "to-file").c_str()), 0);
  ASSERT_EQ(symlink("folder", (t / "to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (t / "dangling").c_str()), 0);
  const struct {
    const char* what;
    std::string path;
    bool file, folder, entry;
  } cases[] = {
      {"file", t / "file", true, false, true},
      {"folder", t / "folder", false, true, true},
      {"folder with trailing slash", t / "folder/", false, true, true},
      {"link to a file", t / "to-file", true, false, true},
      {"link to a folder", t / "to-folder", false, true, true},
      {"dangling link", t / "dangling", true, false, true},
      {"missing", t / "missing", false, false, false},
      {"below a file", t / "file/x", false, false, false},
      {"empty path", "", false, false, false},
      {"NUL cuts to the file", t / std::string("file\0x", 6), false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileExists(c.path), c.file) << c.what;
    EXPECT_EQ(DirectoryExists(c.path), c.folder) << c.what;
    EXPECT_EQ(EntryExists(c.path), c.entry) << c.what;
  }
}

TEST(ExecutablePath, NamesThisProgram) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(std::filesystem::path(path).filename(), "core_tests");
}

TEST(IsWritableDirectory, WantsAFolderThatTakesEntries) {
  TempFolder t;
  WriteFile(t / "file", "");
  EXPECT_TRUE(IsWritableDirectory(t.Path()));
  EXPECT_FALSE(IsWritableDirectory(t / "file"));
  WriteFile(t / "program", "");
  ASSERT_EQ(chmod((t / "program").c_str(), 0755), 0);
  EXPECT_FALSE(IsWritableDirectory(t / "program")) << "writable and executable, yet a file";
  EXPECT_FALSE(IsWritableDirectory(t / "missing"));
  if (geteuid() != 0) {
    ASSERT_EQ(mkdir((t / "locked").c_str(), 0555), 0);
    EXPECT_FALSE(IsWritableDirectory(t / "locked"));
    // Without the search bit no entry can be created, though the write bit is set.
    ASSERT_EQ(mkdir((t / "unenterable").c_str(), 0600), 0);
    EXPECT_FALSE(IsWritableDirectory(t / "unenterable"));
  }
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// When an entry may be taken for the one a run recorded.
TEST(EntryIdentity, TellsTheRecordedEntryFromAnother) {
  EntryId file;
  file.Type = 'f';
  file.Dev = 2049;
  file.Ino = 1311;
  file.Size = 4096;
  file.Mtime = 1765116930123456789;
  file.Btime = 1765116000000000000;
  const auto with = [&](auto change) {
    EntryId id = file;
    change(id);
    return id;
  };
  EntryId folder = file;
  folder.Type = 'd';
  // What a run on a file system with birth times records: the listing's
  // kind and inode, and for the run its file system and a time by which
  // every entry was born.
  EntryId brief{'f', 2049, 1311};
  brief.Fsid = 77;
  brief.BornBy = file.Btime + 5;
  // A file system without birth times: a look at the entry before its rename.
  EntryId unborn = with([](EntryId& i) { i.Btime = EntryId::kNoTime; });
  EntryId generation = with([](EntryId& i) { i.Btime = EntryId::kNoTime; i.Gen = 5; });
  const struct {
    const char* what;
    EntryId recorded, now;
    bool stable;  // the file system's inode numbers
    bool same;
  } cases[] = {
      {"the same entry", file, file, true, true},
      {"its content changed since", file, with([](EntryId& i) { i.Size = 1; i.Mtime = 2; }), true, true},
      {"another inode", file, with([](EntryId& i) { i.Ino = 1312; }), true, false},
      {"the inode of a deleted file, born later", file, with([](EntryId& i) { i.Btime += 1; }), true, false},
      {"a folder where a file was", file, with([](EntryId& i) { i.Type = 'd'; }), true, false},
      {"another device after a remount, the same file", file, with([](EntryId& i) { i.Dev = 7; }), true, true},
      {"another device, another content", file, with([](EntryId& i) { i.Dev = 7; i.Size = 1; }), true, false},
      {"made-up inode numbers: the same size and time", file, with([](EntryId& i) { i.Ino = 9; i.Dev = 7; }), false, true},
      {"made-up inode numbers: another size", file, with([](EntryId& i) { i.Ino = 9; i.Size = 1; }), false, false},
      {"made-up inode numbers: another time", file, with([](EntryId& i) { i.Mtime += 10000000; }), false, false},
      {"made-up inode numbers: a folder whose content changed", folder,
       with([](EntryId& i) { i.Type = 'd'; i.Ino = 9; i.Size = 1; i.Mtime = 2; }), false, true},
      {"no birth time now", file, with([](EntryId& i) { i.Btime = EntryId::kNoTime; }), true, true},
      {"an inode number alone (a record of the first version)", EntryId{'?', 0, 1311}, file, true, true},
      {"... that is another", EntryId{'?', 0, 1311}, with([](EntryId& i) { i.Ino = 1; }), true, false},
      {"nothing known: any entry", EntryId{}, file, false, true},
      {"born by the run's listing", brief, file, true, true},
      {"born after the run's listing: a new entry with a deleted one's number", brief,
       with([](EntryId& i) { i.Btime += 6; }), true, false},
      {"born by the listing and edited since", brief, with([](EntryId& i) { i.Size = 1; i.Mtime = 2; }), true, true},
      {"... no birth time to tell by: the number alone proves nothing", brief,
       with([](EntryId& i) { i.Btime = EntryId::kNoTime; }), true, false},
      {"... on another device after a remount, the same file system", brief,
       with([](EntryId& i) { i.Dev = 7; i.Fsid = 77; }), true, true},
      {"... on another device and file system", brief, with([](EntryId& i) { i.Dev = 7; i.Fsid = 78; }), true, false},
      {"no birth times: the same size and time", unborn, unborn, true, true},
      {"no birth times: a new file with the number of a deleted one", unborn,
       with([](EntryId& i) { i.Btime = EntryId::kNoTime; i.Size = 5; i.Mtime = 9; }), true, false},
      {"no birth times: the same generation, edited since", generation,
       with([](EntryId& i) { i.Btime = EntryId::kNoTime; i.Gen = 5; i.Size = 1; i.Mtime = 2; }), true, true},
      {"no birth times: another generation", generation,
       with([](EntryId& i) { i.Btime = EntryId::kNoTime; i.Gen = 6; }), true, false},
  };
  for (const auto& c : cases) EXPECT_EQ(SameEntry(c.recorded, c.now, c.stable), c.same) << c.what;
}

TEST(EntryIdentity, IsTheSameThroughARenameAndOtherForACopy) {
  test::TempFolder t;
  test::WriteFile(t / "a.MP4", "movie");
  EntryId before, after, copy;
  ASSERT_TRUE(IdentityOf(t / "a.MP4", before));
  ASSERT_TRUE(RenameFile(t / "a.MP4", t / "a.mp4"));
  ASSERT_TRUE(IdentityOf(t / "a.mp4", after));
  const bool stable = InodesAreStable(t.Path());
  EXPECT_TRUE(SameEntry(before, after, stable));
  test::WriteFile(t / "b.mp4", "movie");
  ASSERT_TRUE(IdentityOf(t / "b.mp4", copy));
  EXPECT_FALSE(SameEntry(before, copy, stable));
  EXPECT_EQ(IdentityOf(t / "gone", copy).Error(), ENOENT);
}

// A run takes its folder's lock again inside it (the repair, the walk);
// any other holder waits, another thread of this process included, and a
// process sees the lock until its last holder lets go.
TEST(FolderLock, TheHoldingThreadTakesItAgainAndNoOtherDoes) {
  test::TempFolder t;
  std::filesystem::create_directory(t / "F");
  const auto elsewhere = [&](const std::string& folder) {
    int error = -1;
    std::thread([&] {
      FolderLock other;
      error = other.TryLock(folder).Error();
    }).join();
    return error;
  };
  const auto anotherProcess = [&](const std::string& folder) {
    const pid_t child = fork();
    if (child == 0) {
      FolderLock other;
      _exit(other.TryLock(folder).Error() == EWOULDBLOCK ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WEXITSTATUS(status) == 1;
  };
  FolderLock outer, inner;
  ASSERT_TRUE(outer.TryLock(t / "F"));
  EXPECT_TRUE(inner.TryLock(t / "F/.")) << "the same folder by another path, from the same thread";
  EXPECT_EQ(elsewhere(t / "F"), EWOULDBLOCK);
  EXPECT_TRUE(anotherProcess(t / "F"));
  outer.Unlock();
  EXPECT_TRUE(anotherProcess(t / "F")) << "held while the inner lock lives";
  FolderLock moved = std::move(inner);
  EXPECT_FALSE(inner.Held());
  moved.Unlock();
  EXPECT_FALSE(anotherProcess(t / "F"));
  EXPECT_EQ(elsewhere(t / "F"), 0);
  EXPECT_EQ(FolderLock().TryLock(t / "missing").Error(), ENOENT);
}

// The file system of a path is that of the longest mount point that holds
// it, the last mount on a point hiding those before; network file systems
// are told by their type, FUSE ones by their subtype.
TEST(Mounts, TellTheFileSystemOfAPath) {
  const std::string table =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "30 22 0:40 / /srv rw shared:5 master:1 - nfs4 nas:/export rw\n"
      "31 30 0:41 / /srv/tv rw - cifs //nas/tv rw\n"
      "32 22 0:42 / /media/my\\040disk rw - fuse.exfat /dev/sdb1 rw\n"
      "33 22 0:43 / /mnt/box rw - fuse.sshfs me@box: rw\n"
      "34 22 0:44 / /mnt/box rw - tmpfs tmpfs rw\n"
      "garbage line\n";
  const struct {
    const char* path;
    const char* type;
    bool network;
  } cases[] = {
      {"/home/tv/a.ts", "ext4", false},        {"/", "ext4", false},
      {"/srv", "nfs4", true},                  {"/srv/tv", "cifs", true},
      {"/srv/tv/x/y", "cifs", true},           {"/srv/tvx", "nfs4", true},  // not in /srv/tv
      {"/media/my disk/a", "fuse.exfat", false}, {"/mnt/box/a", "tmpfs", false},  // the later mount hides sshfs
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileSystemTypeIn(table, c.path), c.type) << c.path;
    EXPECT_EQ(IsNetworkFileSystem(FileSystemTypeIn(table, c.path)), c.network) << c.path;
  }
  EXPECT_TRUE(IsNetworkFileSystem("fuse.sshfs"));
  EXPECT_TRUE(IsNetworkFileSystem("smb3"));
  EXPECT_FALSE(IsNetworkFileSystem("fuseblk"));
  EXPECT_EQ(FileSystemTypeIn("", "/a"), "");
  test::TempFolder t;
  EXPECT_NE(FileSystemTypeOf(t.Path()), "") << "this machine's own table";
  EXPECT_EQ(FileSystemTypeOf(t / "gone"), "");
}

// What a watch asks of a file: whether a writer has it open, and a value
// that changes with it, or with anything in a folder's tree.
TEST(FolderWatch, TellsWritersAndChanges) {
  test::TempFolder t;
  test::WriteFile(t / "a.ts", "recording");
  t.Folder("season");
  test::WriteFile(t / "season/1.ts", "one");
  EXPECT_EQ(WritersOf(t / "a.ts"), Writers::None);
  EXPECT_EQ(WritersOf(t / "season"), Writers::None) << "a folder has no writer";
  EXPECT_EQ(WritersOf(t / "gone"), Writers::Unknown);
  {
    const int writer = ::open((t / "a.ts").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(WritersOf(t / "a.ts"), Writers::Some);
    ::close(writer);
  }
  EXPECT_EQ(WritersOf(t / "a.ts"), Writers::None) << "the writer closed it";

  std::uint64_t file = 0, folder = 0, again = 0;
  ASSERT_TRUE(ChangeSignature(t / "a.ts", file));
  ASSERT_TRUE(ChangeSignature(t / "season", folder));
  ASSERT_TRUE(ChangeSignature(t / "a.ts", again));
  EXPECT_EQ(again, file) << "nothing changed";
  std::ofstream(t / "a.ts", std::ios::app) << " more";
  ASSERT_TRUE(ChangeSignature(t / "a.ts", again));
  EXPECT_NE(again, file) << "written";
  std::ofstream(t / "season/1.ts", std::ios::app) << " more";
  ASSERT_TRUE(ChangeSignature(t / "season", again));
  EXPECT_NE(again, folder) << "a file in the folder was written";
  EXPECT_EQ(ChangeSignature(t / "gone", again).Error(), ENOENT);
}

// The events of a folder's entries, as the watch reads them: each kind, and
// the end of the folder's watch when it goes.
TEST(FolderWatch, ReportsTheEventsOfAFoldersEntries) {
  test::TempFolder t;
  t.Folder("tv");
  FolderWatcher watcher;
  ASSERT_TRUE(watcher.Ready());
  SysResult why;
  const int watch = watcher.Add(t / "tv", why);
  ASSERT_GE(watch, 0) << why.Message();
  test::WriteFile(t / "tv/a.ts", "x");
  std::filesystem::rename(t / "tv/a.ts", t / "tv/b.ts");
  std::filesystem::rename(t / "tv/b.ts", t / "b.ts");
  std::filesystem::rename(t / "tv", t / "moved");
  std::vector<Waited> ready{{watcher.Fd(), false, false}};
  ASSERT_TRUE(WaitForAny(ready, 1000));
  ASSERT_TRUE(ready[0].Ready);
  std::vector<FolderEvent> events;
  ASSERT_TRUE(watcher.Read(events));
  using Kind = FolderEvent::Kind;
  std::vector<std::pair<Kind, std::string>> seen;
  for (const FolderEvent& e : events) {
    EXPECT_EQ(e.Watch, watch);
    if (seen.empty() || seen.back() != std::make_pair(e.What, e.Name)) seen.emplace_back(e.What, e.Name);
  }
  const std::vector<std::pair<Kind, std::string>> expected = {
      {Kind::Created, "a.ts"}, {Kind::Changed, "a.ts"}, {Kind::Left, "a.ts"}, {Kind::MovedIn, "b.ts"},
      {Kind::Left, "b.ts"},    {Kind::FolderGone, ""}};
  EXPECT_EQ(seen, expected);
  std::filesystem::rename(t / "b.ts", t / "moved/c.ts");
  events.clear();
  ASSERT_TRUE(watcher.Read(events));
  EXPECT_TRUE(events.empty()) << "a folder moved away is watched no more";
  EXPECT_FALSE(WaitForAny(ready, 0) && ready[0].Ready);
}

}  // namespace
}  // namespace quor
