#pragma once

// Kills a rename run at random moments, as a crash or a power button would,
// and checks after each kill that the next start's recovery and an undo from
// the history leave every file where it belongs.

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
#include "engine/rename/RenameRun.h"
#include "tests/TempFolder.h"
#include "text/Bytes.h"

namespace quor::test {

// `folder` holds files whose content is their original name. Runs the rename
// in a child process until `kills` kills have landed inside a run, each with
// SIGKILL after a random delay within the time a whole run takes; after each
// kill: recovery, the checks, and an undo from the history that must give
// back every name.
inline void KillRunsAtRandom(const std::string& folder, const std::string& historyDir, const RenameOptions& options,
                             int kills, unsigned seed) {
  const std::vector<std::string> originals = Names(folder);
  std::map<std::string, std::string> content;  // name -> content, before any run
  for (const auto& name : originals) content[name] = ReadFile(folder + "/" + name);

  const auto runChild = [&] {
    const pid_t child = fork();
    if (child == 0) {
      std::vector<std::string> oldPaths, newPaths;
      JournalWriter journal(historyDir, RunKind::Rename, folder);
      (void)RunRename(folder, options, {oldPaths, newPaths}, {}, &journal);
      _exit(0);
    }
    return child;
  };

  // How long a whole run takes here, so that the kills fall anywhere in it.
  auto start = std::chrono::steady_clock::now();
  pid_t child = runChild();
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  std::string undoProblem;
  UndoPlan plan = PlanUndo(historyDir, NewestUndoableRun(historyDir));
  (void)UndoRecordedRun(historyDir, plan, {}, &undoProblem);
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
    child = runChild();
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
      ASSERT_EQ(content.count(text), 1u) << "kill " << k << ": " << name << " holds " << text;
      // Under its old name or under the name the rules give it.
      Codepage cp = Codepage::Utf8;
      ASSERT_TRUE(name == text || name == std::string(TrimRightView(ApplyNameRules(text, options, cp))))
          << "kill " << k << ": " << text << " is under " << name;
      seen.insert(text);
    }
    std::multiset<std::string> expected;
    for (const auto& [name, text] : content) expected.insert(text);
    ASSERT_EQ(seen, expected) << "kill " << k << ": every file is still there";

    // Undo from the history gives every name back.
    const std::string id = NewestUndoableRun(historyDir);
    if (!id.empty()) {
      plan = PlanUndo(historyDir, id);
      ASSERT_EQ(plan.Problem, "") << "kill " << k;
      (void)UndoRecordedRun(historyDir, plan, {}, &undoProblem);
      ASSERT_TRUE(plan.OldPaths.empty()) << "kill " << k << ": " << plan.OldPaths.size() << " could not go back";
    }
    ASSERT_EQ(Names(folder), originals) << "kill " << k << ": after the undo";
  }
  EXPECT_EQ(interrupted, kills) << "kills that landed inside a run, in " << attempts << " tries";
  std::printf("%d kills inside a run in %d tries, %zu runs recovered, %zu entries moved from a temporary name\n",
              interrupted, attempts, recovered, repaired);
}

}  // namespace quor::test
