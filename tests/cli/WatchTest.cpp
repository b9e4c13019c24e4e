// quor-rename --watch run as a process, on real folders with real writers,
// and the pure logic of its quiet time.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
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

// The quiet time of the tests: short, so that they stay quick.
constexpr const char* kSettle = "0.5";
constexpr auto kQuiet = 500ms;

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
  EXPECT_TRUE(Within(2s, [&] { return dir.Has("old「1」.ts"); })) << "what was there at the start";

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
  EXPECT_TRUE(Within(kQuiet + 1s, [&] { return dir.Has("moved「3」.ts"); })) << "a file moved in";

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

}  // namespace
}  // namespace quor
