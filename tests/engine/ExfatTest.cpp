// Renames on a real case-insensitive volume: an exFAT image on a loop device,
// mounted with the FUSE driver. Needs root, /dev/fuse and the exFAT tools;
// without them every test here skips and says why.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "engine/files/Findfile.h"
#include "system/EntryIdentity.h"
#include "system/SystemOps.h"
#include "system/ExactNames.h"
#include "engine/rename/RenameRun.h"
#include "tests/TempFolder.h"
#include "tests/cli/RandomHistory.h"
#include "tests/cli/RunCli.h"
#include "tests/engine/KillTorture.h"

namespace quor {
namespace {

using NameList = std::vector<std::string>;
using test::Names;
using test::ReadFile;

// Runs a command line (all our arguments are plain temp paths) and returns
// its exit status, with its output in `output`.
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool OnPath(const std::string& tool) { return Shell("command -v " + tool) == 0; }


// A file system of its own on a loop device, made and mounted once for the
// tests of a kind; needs root, and each kind's tools.
struct Exfat {
  static constexpr const char* kName = "exFAT";
  static constexpr const char* kMake = "mkfs.exfat";
  static constexpr const char* kMount = "mount.exfat-fuse";
  static constexpr bool kFuse = true;
};
// ext4 with the inodes of old ext3 file systems, which keep no birth time.
struct Ext4WithoutBirthTimes {
  static constexpr const char* kName = "ext4 without birth times";
  static constexpr const char* kMake = "mkfs.ext4 -q -I 128";
  static constexpr const char* kMount = "mount -t ext4";
  static constexpr bool kFuse = false;
};

template <typename Kind>
class LoopVolume : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    skipReason_ = Mount();
    if (!skipReason_.empty()) {
      std::printf("%s tests skip: %s\n", Kind::kName, skipReason_.c_str());
      Unmount();
    }
  }

  static void TearDownTestSuite() { Unmount(); }

  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    // Each test gets a folder of its own on the volume.
    folder_ = mountPoint_ + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_EQ(mkdir(folder_.c_str(), 0777), 0) << folder_;
  }

  [[nodiscard]] std::string At(const std::string& name) const { return folder_ + "/" + name; }
  void File(const std::string& name, const std::string& content) const {
    std::ofstream(At(name), std::ios::binary) << content;
  }

  std::string folder_;

 private:
  // "" when the volume is mounted, else why not.
  static std::string Mount() {
    if (geteuid() != 0) return "not root, so no loop device and no mount";
    if (Kind::kFuse && access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is not available";
    const std::string make(Kind::kMake);
    const std::string mount(Kind::kMount);
    for (const std::string& tool : {make.substr(0, make.find(' ')), std::string("losetup"),
                                    mount.substr(0, mount.find(' ')), std::string("umount")})
      if (!OnPath(tool)) return tool + " is not installed";

    std::string base = (std::filesystem::temp_directory_path() / "quor-volume-XXXXXX").string();
    if (mkdtemp(base.data()) == nullptr) return "cannot make a temporary folder";
    work_ = base;
    image_ = work_ + "/volume.img";
    mountPoint_ = work_ + "/mnt";
    if (mkdir(mountPoint_.c_str(), 0755) != 0) return "cannot make the mount point";

    std::string out;
    if (Shell("truncate -s 16M " + image_, &out) != 0) return "cannot make the image: " + out;
    if (Shell(make + " " + image_, &out) != 0) return make + " failed: " + out;
    if (Shell("losetup -f --show " + image_, &out) != 0) return "losetup failed: " + out;
    loopDevice_ = out.substr(0, out.find('\n'));
    if (Shell(mount + " " + loopDevice_ + " " + mountPoint_, &out) != 0) return mount + " failed: " + out;
    mounted_ = true;
    return {};
  }

  // Undoes whatever Mount got done, in reverse order.
  static void Unmount() {
    if (mounted_) {
      if (Shell("umount " + mountPoint_) != 0) Shell("umount -l " + mountPoint_);
      mounted_ = false;
    }
    if (!loopDevice_.empty()) {
      // The FUSE daemon may still hold the device for a moment after umount.
      for (int i = 0; i < 50 && Shell("losetup -d " + loopDevice_) != 0; ++i) usleep(100000);
      loopDevice_.clear();
    }
    if (!work_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(work_, ec);
      work_.clear();
    }
  }

  static inline std::string skipReason_;
  static inline std::string work_;
  static inline std::string image_;
  static inline std::string mountPoint_;
  static inline std::string loopDevice_;
  static inline bool mounted_ = false;
};

class ExfatVolume : public LoopVolume<Exfat> {};
class Ext4VolumeWithoutBirthTimes : public LoopVolume<Ext4WithoutBirthTimes> {};

TEST_F(ExfatVolume, IsCaseInsensitive) {
  // Guards the other tests: they mean nothing on a case-sensitive volume.
  // Nor do the identity checks here without the rule for made-up inodes.
  EXPECT_FALSE(InodesAreStable(folder_));
  File("Probe.TXT", "p");
  EXPECT_TRUE(EntryExists(At("probe.txt")));
  // So a preview asks the volume whether each new name is taken.
  EXPECT_FALSE(LooksUpExactNames(folder_));
}

TEST_F(ExfatVolume, ACaseOnlyRenameChangesTheCase) {
  File("A.MP4", "movie");
  ASSERT_EQ(RenameFile(At("A.MP4"), At("A.mp4")).Error(), 0);
  EXPECT_EQ(Names(folder_), (NameList{"A.mp4"}));
  EXPECT_EQ(ReadFile(At("A.mp4")), "movie");

  // And back, the way Undo would.
  ASSERT_EQ(RenameFile(At("A.mp4"), At("A.MP4")).Error(), 0);
  EXPECT_EQ(Names(folder_), (NameList{"A.MP4"}));
}

TEST_F(ExfatVolume, ACaseOnlyRenameOfAFolderKeepsItsContent) {
  ASSERT_EQ(mkdir(At("season").c_str(), 0777), 0);
  File("season/ep1.mp4", "one");
  ASSERT_EQ(RenameFile(At("season"), At("Season")).Error(), 0);
  EXPECT_EQ(Names(folder_), (NameList{"Season"}));
  EXPECT_EQ(ReadFile(At("Season/ep1.mp4")), "one");
}

TEST_F(ExfatVolume, RefusesAnotherFileThatDiffersOnlyInCase) {
  File("a.mp4", "first");
  File("b.mp4", "second");
  EXPECT_EQ(RenameFile(At("b.mp4"), At("A.MP4")).Error(), EEXIST);
  EXPECT_EQ(Names(folder_), (NameList{"a.mp4", "b.mp4"}));
  EXPECT_EQ(ReadFile(At("a.mp4")), "first");
  EXPECT_EQ(ReadFile(At("b.mp4")), "second");
}

TEST_F(ExfatVolume, NeverReplacesWithoutTheNoReplaceFlag) {
  // This driver refuses RENAME_NOREPLACE, so the fallback check is what
  // protects the target here.
  File("old", "source");
  File("taken", "target");
  EXPECT_EQ(RenameFile(At("old"), At("taken")).Error(), EEXIST);
  EXPECT_EQ(ReadFile(At("taken")), "target");

  EXPECT_EQ(RenameFile(At("old"), At("new")).Error(), 0);
  EXPECT_EQ(Names(folder_), (NameList{"new", "taken"}));
  EXPECT_EQ(ReadFile(At("new")), "source");
}

TEST_F(ExfatVolume, ListsUpperCaseExtensionsWithALowerCaseMask) {
  File("EP1.MP4", "");
  File("ep2.mp4", "");
  File("notes.txt", "");
  TFindFile find;
  find.First(At("*.mp4"));
  NameList names;
  while (find.Next()) names.push_back(find.FileName());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (NameList{"EP1.MP4", "ep2.mp4"}));
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// The whole command on a case-insensitive volume: the preview foresees the
// case-only renames and the collisions, and Undo gives the old case back.
TEST_F(ExfatVolume, RenameRunPreviewAndUndoOnACaseInsensitiveVolume) {
  File("A.MP4", "a");
  File("B.MP4", "b");
  File("b.mp4.part", "partial");  // left alone: its extension is already lower case
  File("c.TXT", "upper");
  File("C.txt2", "other");
  // Companions whose shared part differs in case from their recording's,
  // as a repair or a copy may leave them: they follow it all the same.
  File("D.ts", "d");
  File("D.TS.ERR", "d errors");
  File("E.TS", "e");
  File("e.ts.Err", "e errors");
  std::vector<std::string> oldPaths, newPaths;
  std::vector<EntryId> ids;
  RenameOptions options;
  options.ReplaceList = {{"txt2", "txt"}};
  const RenameOutcome preview = PreviewRename(folder_, options);
  const RenameOutcome run = RunRename(folder_, options, {oldPaths, newPaths, ids});
  std::vector<std::string> previewLog, runLog;
  for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
  for (const auto& line : run.Lines) runLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, runLog);
  EXPECT_EQ(ReadFile(At("A.mp4")), "a");
  EXPECT_EQ(ReadFile(At("B.mp4")), "b");
  const NameList tidy = Names(folder_);
  for (const char* name : {"D.ts.err", "E.ts", "E.ts.err"})
    EXPECT_NE(std::find(tidy.begin(), tidy.end(), name), tidy.end()) << name;
  std::size_t errors = 0;
  for (const auto& line : run.Lines) errors += !line.Ok;
  EXPECT_EQ(errors, 1u) << "c.TXT and C.txt2 both want c.txt, which folds to one name";

  (void)RunUndo({oldPaths, newPaths, ids});
  const NameList names = Names(folder_);
  EXPECT_TRUE(std::find(names.begin(), names.end(), "A.MP4") != names.end());
  EXPECT_TRUE(std::find(names.begin(), names.end(), "B.MP4") != names.end());
  EXPECT_TRUE(std::find(names.begin(), names.end(), "e.ts.Err") != names.end());
}

// A folder whose case a first PATH changes is still there for the next
// one on this volume: the dry run says what the run then does.
TEST_F(ExfatVolume, ADryRunOfSeveralPathsEqualsTheRun) {
  ASSERT_EQ(mkdir(At("Show.DIR").c_str(), 0777), 0);
  File("Show.DIR/a.MP4", "a");
  File("b.MP4", "b");
  test::TempFolder home("quor-home");
  const std::map<std::string, std::string> env = {{"HOME", home.Path()}, {"XDG_STATE_HOME", home / "state"},
                                                  {"PATH", "/usr/bin:/bin"}};
  const std::vector<std::string> args = {"--defaults", folder_, At("Show.DIR")};
  std::vector<std::string> dry = args;
  dry.insert(dry.begin(), "-n");
  const test::CliResult preview = test::RunCli(dry, env);
  const test::CliResult run = test::RunCli(args, env);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(preview.Out, run.Out);
  EXPECT_EQ(preview.Err, run.Err);
  EXPECT_EQ(preview.Status, run.Status);
  EXPECT_EQ(ReadFile(At("Show.dir/a.mp4")), "a");
}

// Every rename here is case-only, so each goes through a temporary name on
// this volume: killed at random moments, a run never leaves an entry there
// once the next start has repaired it, and undo from the history gives
// every name back.
TEST_F(ExfatVolume, KillsAtRandomMomentsLeaveNoTemporaryName) {
  for (int i = 0; i < 60; ++i) File("ep" + std::to_string(i) + ".MP4", "ep" + std::to_string(i) + ".MP4");
  test::TempFolder history("quor-history");
  test::KillAtRandom(test::Killed::Rename, folder_, history.Path(), RenameOptions{}, 20, 1234u);
}

// Inode numbers tell nothing here, and the files share their size: the
// repair of a killed undo of chains goes by the order of the renames.
TEST_F(ExfatVolume, KillsDuringUndosOfChainsLeaveEveryNameBack) {
  test::MakeChains(folder_, 40);
  test::TempFolder history("quor-history");
  RenameOptions options;
  options.ReplaceList = {{"QQ", "Q"}};
  test::KillAtRandom(test::Killed::Undo, folder_, history.Path(), options, 20, 777u);
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// Two recordings that end together and whose tidy names meet, renamed by
// two processes at once on a volume without an atomic no-replace rename:
// the first is held up between its look at the new name and its rename,
// and the second waits for it instead of passing the same look.
TEST_F(ExfatVolume, TwoRunsWhoseNamesMeetNeverOverwrite) {
  if (!OnPath("strace")) GTEST_SKIP() << "strace is not installed";
  File("X｢夜｣.ts", "first");
  File("X「夜」.ts", "second");
  test::TempFolder home("quor-home");
  const std::map<std::string, std::string> env = {{"HOME", home.Path()}, {"XDG_STATE_HOME", home / "state"},
                                                  {"PATH", "/usr/bin:/bin"}};
  // A sanitized build's leak check cannot stop a traced process's threads,
  // and would fail the traced run at its exit.
  std::map<std::string, std::string> traced = env;
  traced["ASAN_OPTIONS"] = "detect_leaks=0";
  test::CliProcess slowed({"-f", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
                           "inject=rename:delay_enter=1500000", test::TestedExe(), "--defaults", "-o", "DeleteKakko=1",
                           At("X｢夜｣.ts")},
                          traced, {}, "/usr/bin/strace");
  usleep(500000);
  const test::CliResult second = test::RunCli({"--defaults", "-o", "DeleteKakko=1", At("X「夜」.ts")}, env);
  const test::CliResult first = slowed.Wait();
  EXPECT_EQ(first.Status, 0) << first.Err;
  EXPECT_EQ(second.Status, 1) << second.Out << second.Err;
  EXPECT_EQ(Names(folder_), (NameList{"X「夜」.ts", "X夜.ts"}));
  EXPECT_EQ(ReadFile(At("X夜.ts")), "first");
  EXPECT_EQ(ReadFile(At("X「夜」.ts")), "second");
}

// A case-only rename that a person took back by hand: the entry already
// bears its old spelling, which counts as given back, and the undo walks on
// to the run before.
TEST_F(ExfatVolume, AnEntryAlreadyUnderItsOldSpellingCountsAsGivenBack) {
  File("Z.MP4", "z");
  File("Y.MP4", "y");
  test::TempFolder home("quor-home");
  const std::map<std::string, std::string> env = {{"HOME", home.Path()}, {"XDG_STATE_HOME", home / "state"},
                                                  {"PATH", "/usr/bin:/bin"}};
  ASSERT_EQ(test::RunCli({"--defaults", At("Z.MP4")}, env).Status, 0);
  ASSERT_EQ(test::RunCli({"--defaults", At("Y.MP4")}, env).Status, 0);
  ASSERT_EQ(std::rename(At("Y.mp4").c_str(), At("t").c_str()), 0);
  ASSERT_EQ(std::rename(At("t").c_str(), At("Y.MP4").c_str()), 0);
  const test::CliResult y = test::RunCli({"--undo"}, env);
  EXPECT_EQ(y.Status, 0) << y.Out << y.Err;
  EXPECT_EQ(y.Lines(), (NameList{"Undo\t" + At("Y.MP4") + "\t←\t" + At("Y.mp4")}));
  const test::CliResult z = test::RunCli({"--undo"}, env);
  EXPECT_EQ(z.Status, 0) << z.Out << z.Err;
  EXPECT_EQ(Names(folder_), (NameList{"Y.MP4", "Z.MP4"}));
  EXPECT_EQ(ReadFile(At("Y.MP4")) + ReadFile(At("Z.MP4")), "yz");
}

// The random sequences of tests/cli/RandomHistory.h on a case-insensitive
// volume, where a case-only rename goes through a temporary name that a
// kill may leave.
TEST_F(ExfatVolume, RandomRunsUndosAndKillsLoseNoName) {
  test::RandomSequences(folder_, test::RandomSeed(), 4, 12);
}

// Where the file system keeps no birth time, a new file may get the inode
// number of a deleted one: the undo tells them apart all the same, and
// takes back a file that was only edited.
TEST_F(Ext4VolumeWithoutBirthTimes, AnUndoTellsANewFileWithTheSameInodeNumber) {
  EntryId probe;
  File("probe", "p");
  ASSERT_TRUE(IdentityOf(At("probe"), probe));
  ASSERT_EQ(probe.Btime, EntryId::kNoTime) << "the volume keeps birth times: the test means nothing";
  File("a.MP4", "mine");
  File("b.MP4", "edited");
  test::TempFolder home("quor-home");
  const std::map<std::string, std::string> env = {{"HOME", home.Path()}, {"XDG_STATE_HOME", home / "state"},
                                                  {"PATH", "/usr/bin:/bin"}};
  ASSERT_EQ(test::RunCli({"--defaults", folder_}, env).Status, 0);
  struct stat before {};
  ASSERT_EQ(stat(At("a.mp4").c_str(), &before), 0);
  ASSERT_EQ(unlink(At("a.mp4").c_str()), 0);
  File("a.mp4", "other");
  struct stat after {};
  ASSERT_EQ(stat(At("a.mp4").c_str(), &after), 0);
  std::ofstream(At("b.mp4"), std::ios::binary | std::ios::app) << " and more";
  const test::CliResult undo = test::RunCli({"--undo"}, env);
  EXPECT_EQ(undo.Status, 1) << undo.Out << undo.Err;
  EXPECT_EQ(Names(folder_), (NameList{"a.mp4", "b.MP4", "probe"}))
      << (before.st_ino == after.st_ino ? "the new file got the deleted one's inode number" : "");
  EXPECT_EQ(ReadFile(At("a.mp4")), "other");
}

}  // namespace
}  // namespace quor
