// quor-rename --watch run as a process, on real folders with real writers,
// and the pure logic of its quiet time.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Settle.h"
#include "engine/history/History.h"
#include "system/FolderLock.h"
#include "tests/TempFolder.h"
#include "tests/cli/RunCli.h"

namespace quor {
namespace {

using test::CliProcess;
using test::CliResult;
using test::TempFolder;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The quiet time of the tests: short, so that they stay quick. What only
// has to happen at some point is given a time that a busy machine under the
// sanitizers keeps too; what must happen in time says so.
constexpr const char* kSettle = "0.5";
constexpr auto kQuiet = 500ms;
constexpr auto kPatience = 10s;

class Watch : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Env() const {
    return {{"HOME", home_.Path()}, {"XDG_CONFIG_HOME", home_ / "config"}, {"XDG_STATE_HOME", home_ / "state"},
            {"PATH", "/usr/bin:/bin"}};
  }
  std::string History() const { return home_ / "state/quor-renamer/history"; }
  CliResult Run(const Lines& args) const { return test::RunCli(args, Env()); }

  // A watch of `folders` with the tests' quiet time and the rules
  // --defaults plus the cut after 」, started once it says it watches each.
  std::unique_ptr<CliProcess> Start(const Lines& folders, Lines options = {}) const {
    Lines args = {"--watch", "--defaults", "-o", "DeleteAfterKakko=1", "--settle", kSettle};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), folders.begin(), folders.end());
    auto watch = std::make_unique<CliProcess>(args, Env());
    EXPECT_TRUE(watch->WaitForErr("quor-rename: watching ", 10000, folders.size())) << watch->ErrSoFar();
    return watch;
  }

  // SIGTERM: the watch ends with status 0.
  static CliResult Stop(CliProcess& watch) {
    watch.Signal(SIGTERM);
    CliResult r = watch.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    return r;
  }

  TempFolder home_{"quor-watch-home"};
};

// True once `done` holds, checked every 20 ms for `within`.
bool Within(std::chrono::milliseconds within, const std::function<bool()>& done) {
  for (const auto until = SteadyClock::now() + within; SteadyClock::now() < until; std::this_thread::sleep_for(20ms))
    if (done()) return true;
  return done();
}

void SetOld(const std::string& path) {
  const timeval times[2] = {{1700000000, 0}, {1700000000, 0}};
  ASSERT_EQ(::lutimes(path.c_str(), times), 0) << path;
}

// What is there at the start is renamed at once; a file written slowly, with
// a pause longer than the quiet time, only once its writer has closed it and
// the quiet time has passed; a file moved in, a quiet time after it came.
// Hidden files, the temporary files of copying tools, stay as they are.
TEST_F(Watch, RenamesWhatIsThereThenWhatArrivesOnceComplete) {
  TempFolder dir, elsewhere;
  dir.File("old｢1｣[字].TS", "old");
  SetOld(dir / "old｢1｣[字].TS");
  const auto watch = Start({dir.Path()});
  EXPECT_TRUE(Within(kPatience, [&] { return dir.Has("old「1」.ts"); })) << "what was there at the start";

  // Open, write now and then for a second, pause for three quiet times, write
  // again, close.
  const std::string slow = dir / "slow｢2｣[字].TS";
  const int fd = ::open(slow.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(::write(fd, "0123456789", 10), 10);
    std::this_thread::sleep_for(200ms);
  }
  std::this_thread::sleep_for(3 * kQuiet);
  EXPECT_TRUE(dir.Has("slow｢2｣[字].TS")) << "renamed while its writer still had it open";
  ASSERT_EQ(::write(fd, "end", 3), 3);
  ::close(fd);
  const auto closed = SteadyClock::now();
  dir.File(".slow.TS.part", "a copying tool's");
  EXPECT_FALSE(Within(kQuiet - 150ms, [&] { return dir.Has("slow「2」.ts"); })) << "renamed before its quiet time";
  EXPECT_TRUE(Within(1500ms, [&] { return dir.Has("slow「2」.ts"); }));
  EXPECT_LE(SteadyClock::now() - closed, kQuiet + 1s);
  EXPECT_EQ(dir.Read("slow「2」.ts").size(), 63u) << "the whole file, renamed once";

  elsewhere.File("moved｢3｣[再].TS", "moved");
  std::filesystem::rename(elsewhere / "moved｢3｣[再].TS", dir / "moved｢3｣[再].TS");
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("moved「3」.ts"); })) << "a file moved in";

  const CliResult r = Stop(*watch);
  EXPECT_EQ(r.Out,
            "Rename\told「1」.ts\t←\told｢1｣[字].TS\n"
            "Rename\tslow「2」.ts\t←\tslow｢2｣[字].TS\n"
            "Rename\tmoved「3」.ts\t←\tmoved｢3｣[再].TS\n");
  EXPECT_TRUE(dir.Has(".slow.TS.part"));
  // One line per run on standard error, with the time, and the runs in the
  // history, undoable.
  EXPECT_EQ(ListRuns(History()).size(), 3u);
  std::size_t runLines = 0;
  for (std::size_t at = 0; (at = r.Err.find(": 1 renamed, 0 refused (run ", at)) != std::string::npos; ++at) ++runLines;
  EXPECT_EQ(runLines, 3u) << r.Err;
  EXPECT_EQ(Run({"-q", "--undo"}).Status, 0);
  EXPECT_TRUE(dir.Has("moved｢3｣[再].TS"));
}


// A file that a recorder writes after its recording was renamed follows the
// recording, in a plain run as in the watch, and its line says which one it
// followed.
TEST_F(Watch, ACompanionThatComesLateFollowsItsRecording) {
  TempFolder dir;
  const Lines rules = {"--defaults", "-o", "DeleteAfterKakko=1"};
  const auto run = [&](const std::string& path) {
    Lines args = rules;
    args.push_back(path);
    return Run(args);
  };
  dir.File("X｢a｣[字].TS", "recording");
  ASSERT_EQ(run(dir.Path()).Status, 0);
  dir.File("X｢a｣[字].TS.err", "errors");
  dir.File("X｢a｣[字].TS.program.txt", "programme");
  CliResult r = run(dir / "X｢a｣[字].TS.err");
  EXPECT_EQ(r.Out, "Rename\tX「a」.ts.err\t←\tX｢a｣[字].TS.err\t本体 X「a」.ts に合わせました\n") << r.Err;
  r = run(dir.Path());
  EXPECT_EQ(r.Out, "Rename\tX「a」.ts.program.txt\t←\tX｢a｣[字].TS.program.txt\t本体 X「a」.ts に合わせました\n") << r.Err;

  const auto watch = Start({dir.Path()});
  dir.File("Y｢b｣[字].TS", "recording");
  ASSERT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("Y「b」.ts"); }));
  dir.File("Y｢b｣[字].TS.err", "errors");
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("Y「b」.ts.err"); }));
  r = Stop(*watch);
  EXPECT_EQ(r.Out,
            "Rename\tY「b」.ts\t←\tY｢b｣[字].TS\n"
            "Rename\tY「b」.ts.err\t←\tY｢b｣[字].TS.err\t本体 Y「b」.ts に合わせました\n");
  EXPECT_EQ(dir.Names(), (Lines{"X「a」.ts", "X「a」.ts.err", "X「a」.ts.program.txt", "Y「b」.ts", "Y「b」.ts.err"}));
}

// An undo while the watch runs sticks: the entries it gave back stay as
// they are until they change again.
TEST_F(Watch, AnUndoWhileItWatchesSticks) {
  TempFolder dir;
  const auto watch = Start({dir.Path()});
  dir.File("A｢1｣[字].TS", "recording");
  dir.File("A｢1｣[字].TS.err", "errors");
  ASSERT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("A「1」.ts.err"); }));
  const CliResult undo = Run({"--undo"});
  ASSERT_EQ(undo.Status, 0) << undo.Err;
  ASSERT_EQ(dir.Names(), (Lines{"A｢1｣[字].TS", "A｢1｣[字].TS.err"}));
  std::this_thread::sleep_for(kQuiet + 1s);
  EXPECT_EQ(dir.Names(), (Lines{"A｢1｣[字].TS", "A｢1｣[字].TS.err"})) << "the watch undid the undo";
  std::ofstream(dir / "A｢1｣[字].TS", std::ios::app) << " and more";
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("A「1」.ts"); })) << "changed again, it is renamed again";
  EXPECT_EQ(dir.Names(), (Lines{"A「1」.ts", "A「1」.ts.err"}));
  (void)Stop(*watch);
}

// Two watches and a run on one folder: each entry is renamed once, by one
// of them, and none of them refuses anything.
TEST_F(Watch, TwoWatchesAndARunShareAFolder) {
  TempFolder dir;
  const auto first = Start({dir.Path()});
  const auto second = Start({dir.Path()});
  Lines expected;
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    dir.File("ep" + n + "｢" + n + "｣[字].TS", n);
    expected.push_back("ep" + n + "「" + n + "」.ts");
    if (i == 20) {
      ASSERT_EQ(Run({"--defaults", "-q", "-o", "DeleteAfterKakko=1", dir.Path()}).Status, 0);
    }
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Names() == expected; }));
  std::this_thread::sleep_for(kQuiet + 500ms);  // nothing renamed twice meanwhile
  const CliResult a = Stop(*first);
  const CliResult b = Stop(*second);
  EXPECT_EQ(dir.Names(), expected);
  EXPECT_EQ((a.Out + b.Out).find("Error"), std::string::npos) << a.Out << b.Out;
  std::size_t renamed = 0;
  for (const RunSummary& run : ListRuns(History())) renamed += run.Record.Renamed;
  EXPECT_EQ(renamed, expected.size());
}

// SIGTERM in the middle of a run ends the watch after the entry in
// progress, with its record closed; a watch killed outright is repaired by
// the next start, which renames the rest.
TEST_F(Watch, StopsAfterTheEntryInProgressAndTheNextStartRepairs) {
  TempFolder dir;
  constexpr int kFiles = 10000;
  for (int i = 0; i < kFiles; ++i) dir.File("ep" + std::to_string(i) + ".MP4");
  // The signal once the run's record appears, or once it says that a batch
  // of renames is done.
  const auto midRun = [&](CliProcess& watch, std::size_t before, int sig, const char* sign) {
    const auto begun = [&] {
      const Lines records = test::Names(History());
      return records.size() > before && test::ReadFile(History() + "/" + records.back()).find(sign) != std::string::npos;
    };
    for (int i = 0; i < 100000 && !begun(); ++i) usleep(100);
    watch.Signal(sig);
  };
  std::unique_ptr<CliProcess> watch = Start({dir.Path()}, {"-q"});
  midRun(*watch, 0, SIGTERM, "");
  const CliResult stopped = watch->Wait();
  EXPECT_EQ(stopped.Status, 0) << stopped.Err;
  std::vector<RunSummary> runs = ListRuns(History());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Now, RunSummary::State::Cancelled) << "the run ended before the signal came";
  std::size_t renamed = 0;
  for (const std::string& name : dir.Names()) renamed += name.ends_with(".mp4") ? 1 : 0;
  EXPECT_EQ(renamed, runs[0].Record.Renamed);
  EXPECT_LT(renamed, static_cast<std::size_t>(kFiles));

  watch = Start({dir.Path()}, {"-q"});
  midRun(*watch, 1, SIGKILL, "\nC\t");
  EXPECT_EQ(watch->Wait().Status, 128 + SIGKILL);
  watch = Start({dir.Path()}, {"-q"});
  EXPECT_NE(watch->ErrSoFar().find("repaired the interrupted run"), std::string::npos) << watch->ErrSoFar();
  EXPECT_TRUE(Within(60s, [&] {
    for (const std::string& name : dir.Names())
      if (!name.ends_with(".mp4")) return false;
    return true;
  }));
  (void)Stop(*watch);
  EXPECT_EQ(dir.Names().size(), static_cast<std::size_t>(kFiles));
}

// The kernel's queue of events overflows while the watch is stopped (as a
// busy machine can hold it up): it reads the folder again and misses nothing.
TEST_F(Watch, AnOverflowedQueueMissesNothing) {
  const std::string limit = test::ReadFile("/proc/sys/fs/inotify/max_queued_events");
  const std::size_t queue = limit.empty() ? 0 : std::stoul(limit);
  if (queue == 0 || queue > 100000) GTEST_SKIP() << "the queue holds " << queue << " events: too many to fill here";
  TempFolder dir;
  const auto watch = Start({dir.Path()});
  watch->Signal(SIGSTOP);
  const std::size_t files = queue + 1000;
  for (std::size_t i = 0; i < files; ++i) dir.File("f" + std::to_string(i) + ".TS");
  watch->Signal(SIGCONT);
  EXPECT_TRUE(watch->WaitForErr("overflowed", 30000)) << watch->ErrSoFar();
  EXPECT_TRUE(Within(60s, [&] {
    for (const std::string& name : dir.Names())
      if (!name.ends_with(".ts")) return false;
    return true;
  }));
  const CliResult r = Stop(*watch);
  EXPECT_EQ(dir.Names().size(), files);
  EXPECT_EQ(r.Out.find("Error"), std::string::npos);
}

// A folder given with --poll is listed instead: a file is renamed once it
// has stayed the same for the quiet time. A folder that goes away is looked
// for, and taken in again when it is back.
TEST_F(Watch, PollsAndWatchesForAFolderThatGoes) {
  TempFolder parent;
  const std::string dir = parent / "tv";
  std::filesystem::create_directory(dir);
  // A quiet time of five writes: a test that stalls for a moment still grows the file within it.
  const auto watch = Start({dir}, {"--poll", "0.2", "--settle", "1"});
  EXPECT_NE(watch->ErrSoFar().find("by listing it every 0.2 s, as --poll asks"), std::string::npos) << watch->ErrSoFar();
  {
    std::ofstream out(dir + "/grows｢1｣.TS");
    for (int i = 0; i < 6; ++i) {
      out << "more" << std::flush;
      std::this_thread::sleep_for(200ms);
      ASSERT_TRUE(std::filesystem::exists(dir + "/grows｢1｣.TS")) << "renamed while it still grew";
    }
  }
  EXPECT_TRUE(Within(2s + kPatience, [&] { return std::filesystem::exists(dir + "/grows「1」.ts"); }));

  std::filesystem::rename(dir, parent / "away");
  ASSERT_TRUE(watch->WaitForErr(" is gone; watching for it to come back", 5000)) << watch->ErrSoFar();
  std::filesystem::create_directory(dir);
  test::WriteFile(dir + "/back｢2｣.TS", "back");
  EXPECT_TRUE(watch->WaitForErr(" is there again", 5000)) << watch->ErrSoFar();
  EXPECT_TRUE(Within(2s + kPatience, [&] { return std::filesystem::exists(dir + "/back「2」.ts"); }));
  (void)Stop(*watch);
}


// The window saves its settings while the watch runs: the next run takes
// the new rules; rules that cannot be had leave the old ones in force.
TEST_F(Watch, ReadsItsSettingsFileAgainWhenItChanges) {
  TempFolder dir, config;
  const auto save = [&](const std::string& text) {
    test::WriteFile(config / "tv.ini.new", text);
    std::filesystem::rename(config / "tv.ini.new", config / "tv.ini");
  };
  save("[Rename]\nLowerExt=0\n");
  CliProcess watch({"--watch", "--settle", kSettle, "--settings", config / "tv.ini", dir.Path()}, Env());
  ASSERT_TRUE(watch.WaitForErr("quor-rename: watching ", 10000)) << watch.ErrSoFar();
  dir.File("a｢1｣.MP4");
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("a「1」.MP4"); }));
  save("[Rename]\nLowerExt=1\n");
  dir.File("b｢2｣.MP4");
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("b「2」.mp4"); })) << watch.ErrSoFar();
  save("[Rename]\nLowerExt=0\n[ReplaceList]\n1=\"(a\",,re\n");
  dir.File("c｢3｣.MP4");
  EXPECT_TRUE(Within(kQuiet + kPatience, [&] { return dir.Has("c「3」.mp4"); })) << watch.ErrSoFar();
  const CliResult r = Stop(watch);
  EXPECT_NE(r.Err.find("read the settings file " + config / "tv.ini" + " again"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("missing closing parenthesis\nquor-rename: the rules stay as they were"), std::string::npos) << r.Err;
}

// The user service as systemd reads it, with the program and the manual
// page it names where this build has them.
TEST_F(Watch, TheUserServiceIsAValidUnit) {
  const std::string analyze = "/usr/bin/systemd-analyze";
  if (access(analyze.c_str(), X_OK) != 0) GTEST_SKIP() << "systemd-analyze (Debian package systemd) is not installed";
  const std::string source = test::ReadFile(std::string(QUOR_SOURCE_DIR) + "/packaging/quor-rename-watch@.service");
  ASSERT_NE(source.find("\nExecStart=/usr/bin/quor-rename --watch -- %f\n"), std::string::npos) << source;
  ASSERT_NE(source.find("\nRestart=on-failure\n"), std::string::npos);
  TempFolder units, run;
  std::string unit = source;
  // As the install writes it for its prefix.
  for (std::size_t at; (at = unit.find("/usr/bin/quor-rename")) != std::string::npos;)
    unit.replace(at, std::strlen("/usr/bin/quor-rename"), test::TestedExe());
  const std::string instance = units / "quor-rename-watch@srv-tv.service";
  test::WriteFile(instance, unit);
  std::filesystem::create_directories(units / "man/man1");
  std::filesystem::copy_file(std::string(QUOR_SOURCE_DIR) + "/cli/quor-rename.1", units / "man/man1/quor-rename.1");
  std::map<std::string, std::string> env = Env();
  env["XDG_RUNTIME_DIR"] = run.Path();
  env["MANPATH"] = units / "man";
  const CliResult r = test::RunCli({"--user", "verify", instance}, env, units.Path(), analyze);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err + r.Out, "");
}

// The quiet time without sleeping: which entries are due when, and which
// are taken together.
TEST(Settle, TakesEntriesQuietForTheQuietTimeTogether) {
  struct Op {
    int At;     // ms
    char What;  // T touch, O observed, F forget
    std::string Name;
    std::uint64_t Signature = 0;
  };
  struct Take {
    int At;
    Lines Due;  // "a", or "a=7" with the signature last observed
  };
  std::vector<Op> stream;
  for (int i = 0; i < 20; ++i) stream.push_back({i * 200, 'T', "s" + std::to_string(100 + i)});
  Lines firstEleven;
  for (int i = 0; i <= 10; ++i) firstEleven.push_back("s" + std::to_string(100 + i));
  const struct {
    const char* what;
    std::vector<Op> ops;
    int wake;  // ms; -1 for none
    std::vector<Take> takes;
  } cases[] = {
      {"a quiet time after the last touch", {{0, 'T', "a"}, {300, 'T', "a"}}, 1300, {{1299, {}}, {1300, {"a"}}, {5000, {}}}},
      {"a touch from before the last one changes nothing", {{500, 'T', "a"}, {100, 'T', "a"}}, 1500, {{1500, {"a"}}}},
      {"entries that come due close together are one batch", {{0, 'T', "a"}, {200, 'T', "b"}, {400, 'T', "c"}}, 1400,
       {{1000, {}}, {1400, {"a", "b", "c"}}}},
      {"a gap ends the batch", {{0, 'T', "a"}, {600, 'T', "b"}}, 1000, {{1000, {"a"}}, {1599, {}}, {1600, {"b"}}}},
      {"a stream is cut two seconds after the first is due", stream, 3000, {{2999, {}}, {3000, firstEleven}}},
      {"a forgotten entry is not waited for", {{0, 'T', "a"}, {10, 'F', "a"}}, -1, {{5000, {}}}},
      {"the same signature lets the quiet time run on, another starts it again",
       {{0, 'O', "a", 1}, {500, 'O', "a", 1}, {800, 'O', "b", 1}, {900, 'O', "b", 2}}, 1000,
       {{1000, {"a=1"}}, {1899, {}}, {1900, {"b=2"}}}},
      {"a touch forgets the signature", {{0, 'O', "a", 7}, {100, 'T', "a"}}, 1100, {{1100, {"a"}}}},
  };
  for (const auto& c : cases) {
    const cli::Settle::Time zero{};
    cli::Settle settle(1000ms);
    for (const Op& op : c.ops) {
      const cli::Settle::Time at = zero + std::chrono::milliseconds(op.At);
      if (op.What == 'T') settle.Touch(op.Name, at);
      if (op.What == 'O') settle.Observed(op.Name, op.Signature, at);
      if (op.What == 'F') settle.Forget(op.Name);
    }
    const auto wake = settle.NextWake();
    EXPECT_EQ(wake ? (*wake - zero) / 1ms : -1, c.wake) << c.what;
    for (const Take& take : c.takes) {
      Lines due;
      for (const cli::Settle::Due& d : settle.TakeDue(zero + std::chrono::milliseconds(take.At)))
        due.push_back(d.Name + (d.Signature ? "=" + std::to_string(*d.Signature) : ""));
      EXPECT_EQ(due, take.Due) << c.what << " at " << take.At << " ms";
    }
  }
}

}  // namespace
}  // namespace quor
