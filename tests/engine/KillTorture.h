#pragma once

// Kills a rename run, or the undo of one, at random moments, as a crash or a
// power button would, and checks after each kill that the next start's
// recovery and an undo from the history leave every file where it belongs.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/history/History.h"
#include "engine/history/Recovery.h"
#include "engine/record/Journal.h"
#include "engine/rename/RenameRun.h"
#include "tests/TempFolder.h"
#include "text/Bytes.h"

namespace quor::test {

// What is killed.
enum class Killed { Rename, Undo };

// `folder` holds files whose content is their original name (blanks after it
// allowed, so that files may share a size). Runs a rename, or a whole
// rename and then the undo of it, in a child process until `kills` kills
// have landed inside the killed run, each with SIGKILL after a random delay
// within the time a whole such run takes; after each kill: recovery, the
// checks, and undos from the history that must give back every name.
inline void KillAtRandom(Killed killed, const std::string& folder, const std::string& historyDir,
                         const RenameOptions& options, int kills, unsigned seed) {
  const std::vector<std::string> originals = Names(folder);
  std::map<std::string, std::string> content;  // name -> content, before any run
  for (const auto& name : originals) content[name] = ReadFile(folder + "/" + name);

  const auto rename = [&] {
    JournalWriter journal(historyDir, RunKind::Rename, folder);
    (void)RunRecordedRename(folder, options, journal);
  };
  std::chrono::steady_clock::time_point forkedAt;
  const auto runChild = [&](bool renameFirst) {
    if (renameFirst) rename();
    // Planned here, so that the time of a kill falls within the undo itself.
    UndoPlan plan;
    if (killed == Killed::Undo) plan = PlanUndo(historyDir, NewestUndoableRun(historyDir));
    forkedAt = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      if (killed == Killed::Rename)
        rename();
      else
        (void)UndoRecordedRun(historyDir, plan);
      _exit(0);
    }
    return child;
  };
  // Undos from the history, newest run first, until nothing is left.
  const auto undoAll = [&](int k) {
    for (int runs = 0; runs < 100; ++runs) {
      const std::string id = NewestUndoableRun(historyDir);
      if (id.empty()) return;
      UndoPlan plan = PlanUndo(historyDir, id);
      ASSERT_EQ(plan.Problem, "") << "kill " << k;
      (void)UndoRecordedRun(historyDir, plan);
      ASSERT_TRUE(plan.OldPaths.empty()) << "kill " << k << ": " << plan.OldPaths.size() << " could not go back";
    }
    FAIL() << "kill " << k << ": the undos never end";
  };

  // How long a whole run takes here, so that the kills fall anywhere in it.
  if (killed == Killed::Undo) rename();
  pid_t child = runChild(false);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - forkedAt);
  undoAll(-1);
  ASSERT_EQ(Names(folder), originals) << "a whole run and its undo from the history";

  // A busy machine runs faster or slower than the run measured above: a
  // kill that comes after the run has ended counts for nothing, and the
  // next kills come sooner.
  std::mt19937 random(seed);
  long bound = std::max<long>(1, whole.count());
  int interrupted = 0;
  int attempts = 0;
  std::size_t recovered = 0;
  std::size_t repaired = 0;
  for (int k = 0; interrupted < kills && attempts < 3 * kills; ++k) {
    ++attempts;
    child = runChild(killed == Killed::Undo);
    ASSERT_GT(child, 0);
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, bound)(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
      ++interrupted;
    } else {
      bound = std::max<long>(1, bound * 3 / 4);
    }

    // The next start.
    const RecoveryReport report = RecoverInterruptedRuns(historyDir);
    recovered += report.Runs.size();
    repaired += report.Repairs.size();
    std::multiset<std::string> seen;
    for (const auto& name : Names(folder)) {
      ASSERT_FALSE(name.starts_with(kTempNamePrefix)) << "kill " << k << ": left under " << name;
      const std::string text = ReadFile(folder + "/" + name);
      ASSERT_EQ(content.count(std::string(TrimRightView(text))), 1u) << "kill " << k << ": " << name << " holds " << text;
      // Under its old name or under the name the rules give it.
      const std::string original(TrimRightView(text));
      ASSERT_TRUE(name == original ||
                  name == std::string(TrimRightView(ApplyNameRules(original, options, Codepage::Utf8))))
          << "kill " << k << ": " << original << " is under " << name;
      seen.insert(text);
    }
    std::multiset<std::string> expected;
    for (const auto& [name, text] : content) expected.insert(text);
    ASSERT_EQ(seen, expected) << "kill " << k << ": every file is still there";

    // Undo from the history gives every name back.
    undoAll(k);
    ASSERT_EQ(Names(folder), originals) << "kill " << k << ": after the undo";
  }
  EXPECT_EQ(interrupted, kills) << "kills that landed inside a run, in " << attempts << " tries";
  std::printf("%d kills inside a%s in %d tries, %zu runs recovered, %zu entries moved from a temporary name\n",
              interrupted, killed == Killed::Rename ? " run" : "n undo", attempts, recovered, repaired);
}

// A folder of chains for `-r QQ Q`: g7_QQQ.ts wants the name of g7_QQ.ts,
// which goes on to g7_Q.ts, so that the order of the renames decides. All
// files have one size, so that only the inode number tells them apart.
inline void MakeChains(const std::string& folder, int chains) {
  for (int i = 0; i < chains; ++i) {
    for (const char* tail : {"_QQ.ts", "_QQQ.ts"}) {
      std::string name = "g" + std::to_string(i) + tail;
      WriteFile(folder + "/" + name, name + std::string(16 - name.size(), ' '));
    }
  }
}

}  // namespace quor::test
