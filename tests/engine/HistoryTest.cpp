#include "engine/history/History.h"
#include "engine/record/RecordFolder.h"
#include "engine/history/Recovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/record/Journal.h"
#include "engine/record/Retention.h"
#include "engine/rename/RenameRun.h"
#include "tests/TempFolder.h"
#include "tests/engine/KillTorture.h"
#include "text/Codepage.h"

namespace quor {
namespace {

using test::TempFolder;
using Names = std::vector<std::string>;

class History : public ::testing::Test {
 protected:
  // A rename run of the folder with its record.
  RenameOutcome Run(const std::string& folder, const RenameOptions& options = {}) {
    std::vector<std::string> oldPaths, newPaths;
    JournalWriter journal(history_.Path(), RunKind::Rename, folder);
    RenameOutcome outcome = RunRename(folder, options, {oldPaths, newPaths}, {}, &journal);
    lastId_ = journal.Id();
    EXPECT_EQ(journal.Problem(), "");
    return outcome;
  }
  std::vector<std::string> Records() const {
    std::vector<std::string> names;
    for (const auto& name : test::Names(history_.Path())) names.push_back(name);
    return names;
  }

  TempFolder history_{"quor-history"};
  std::string lastId_;
};

// Whatever bytes a name holds, the record gives them back, and stays text a
// person can read: one line per rename, no control character but TAB.
TEST_F(History, ARunLeavesARecordOfEveryRename) {
  TempFolder dir;
  const Names names = {"a\tb.MP4", "new\nline.MP4", "\x83\x65\x83\x58.MP4", "\\esc:x.MP4", "x.MP4", "x.Mp4"};
  for (const auto& name : names) dir.File(name, name);
  const RenameOutcome outcome = Run(dir.Path());
  ASSERT_EQ(outcome.Lines.size(), 6u);
  ASSERT_EQ(Records(), Names{lastId_ + ".log"});

  const RunRecord record = ReadRecord(history_ / (lastId_ + ".log"), true);
  ASSERT_TRUE(record.Readable) << record.Problem;
  EXPECT_EQ(record.Kind, RunKind::Rename);
  EXPECT_EQ(record.Folder, dir.Path());
  EXPECT_EQ(record.End, RunEnd::Finished);
  EXPECT_EQ(record.Renamed, 5u);
  EXPECT_EQ(record.Refused, 1u);
  ASSERT_EQ(record.Renames.size(), 6u);
  std::size_t done = 0;
  for (const RecordedRename& r : record.Renames) {
    ASSERT_EQ(r.OldPath.rfind(dir.Path() + "/", 0), 0u);
    const std::string name = r.OldPath.substr(dir.Path().size() + 1);
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_EQ(r.NewPath, dir.Path() + "/" + name.substr(0, name.size() - 4) + ".mp4");
    if (r.Outcome == RecordedRename::State::Done) {
      ++done;
    } else {
      EXPECT_EQ(r.Outcome, RecordedRename::State::Refused);
      EXPECT_EQ(r.Error, EEXIST);
    }
  }
  EXPECT_EQ(done, 5u);

  const std::string text = dir.Read("../" + std::filesystem::path(history_.Path()).filename().string() + "/" + lastId_ + ".log");
  EXPECT_TRUE(text.starts_with(std::string(kHistoryVersionLine) + "\n")) << text;
  EXPECT_TRUE(IsValidText(text, Codepage::Utf8));
  for (const char c : text) EXPECT_TRUE(c == '\t' || c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

TEST_F(History, ARunThatRenamesNothingLeavesNoRecord) {
  TempFolder dir;
  dir.File("plain.mp4");
  Run(dir.Path());
  EXPECT_EQ(lastId_, "");
  EXPECT_EQ(Records(), Names{});
}

// A history that cannot be written stops nothing: the run goes on and says so.
TEST_F(History, AnUnwritableHistoryDoesNotStopTheRun) {
  TempFolder dir;
  dir.File("a.MP4");
  dir.File("b.MP4");
  history_.File("blocker");
  std::vector<std::string> oldPaths, newPaths;
  JournalWriter journal(history_ / "blocker/history", RunKind::Rename, dir.Path());
  const RenameOutcome outcome = RunRename(dir.Path(), {}, {oldPaths, newPaths}, {}, &journal);
  EXPECT_EQ(outcome.Lines.size(), 2u);
  EXPECT_TRUE(dir.Has("a.mp4") && dir.Has("b.mp4"));
  EXPECT_NE(journal.Problem(), "");
  EXPECT_EQ(journal.Id(), "");
}

// A record that cannot be trusted is listed as unreadable and never acted
// on, whatever it names.
TEST_F(History, DamagedRecordsAreNeverActedOn) {
  TempFolder dir;
  dir.File(".quor-rename-1-0-0.tmp", "stranded");
  const std::string r = "R\t0\t0\t" + dir / "a.mp4" + "\t" + dir / "b.mp4" + "\nT\t0\t" + dir / ".quor-rename-1-0-0.tmp" + "\n";
  const std::string begin = "begin\trename\t1700000000\t1\t" + dir.Path() + "\n";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"cut inside the head", "quor-renamer history 1\nbeg"},
      {"no head at all", ""},
      {"another version", "quor-renamer history 2\n" + begin + r},
      {"not a record", "hello\n" + begin + r},
      {"a line of junk", "quor-renamer history 1\n" + begin + r + "junk\n"},
      {"a temporary name for no rename", "quor-renamer history 1\n" + begin + "T\t5\t" + dir / ".quor-rename-1-0-0.tmp" + "\n"},
      {"something after the end", "quor-renamer history 1\n" + begin + r + "end\tfinished\t1\t0\nR\t1\t0\tx\ty\n"},
  };
  int n = 0;
  for (const auto& c : cases) history_.File("2026010" + std::to_string(++n) + "-000000-1.log", c.text);
  history_.Folder("20260109-000000-1.log");  // not even a file
  for (const RunSummary& run : ListRuns(history_.Path()))
    EXPECT_EQ(run.Now, RunSummary::State::Unreadable) << run.Record.Id;
  const RecoveryReport report = RecoverInterruptedRuns(history_.Path());
  EXPECT_TRUE(report.Repairs.empty());
  EXPECT_TRUE(report.Runs.empty());
  EXPECT_TRUE(dir.Has(".quor-rename-1-0-0.tmp"));
  for (const auto& c : cases) EXPECT_NE(PlanUndo(history_.Path(), "20260101-000000-1").Problem, "") << c.what;
}

// The repair of an entry that a kill left under its temporary name: on to
// its new name, or back to its old one when the new one is taken.
TEST_F(History, RecoveryMovesAStrandedEntryOnOrBack) {
  const struct {
    const char* what;
    bool newTaken;
    const char* endsAs;
  } cases[] = {{"new name free", false, "b.mp4"}, {"new name taken", true, "a.MP4"}};
  for (const auto& c : cases) {
    TempFolder dir;
    TempFolder history("quor-history");
    dir.File(".quor-rename-1-0-0.tmp", "moving");
    if (c.newTaken) dir.File("b.mp4", "in the way");
    // As a writer killed between the two steps of a case-only rename leaves it;
    // its half-written last line never counted.
    history.File("20260101-000000-1.log", "quor-renamer history 1\nbegin\trename\t1700000000\t1\t" + dir.Path() +
                                              "\nR\t0\t0\t" + dir / "a.MP4" + "\t" + dir / "b.mp4" + "\nT\t0\t" +
                                              dir / ".quor-rename-1-0-0.tmp" + "\nR\t1\t0\t" + dir.Path() + "/c");
    const RecoveryReport report = RecoverInterruptedRuns(history.Path());
    ASSERT_EQ(report.Repairs.size(), 1u) << c.what;
    EXPECT_EQ(report.Repairs[0].PathNow, dir / c.endsAs) << c.what;
    EXPECT_EQ(dir.Read(c.endsAs), "moving") << c.what;
    EXPECT_FALSE(dir.Has(".quor-rename-1-0-0.tmp")) << c.what;
    const RunRecord record = ReadRecord(history / "20260101-000000-1.log", true);
    EXPECT_EQ(record.End, RunEnd::Recovered) << c.what;
    EXPECT_EQ(record.Renamed, c.newTaken ? 0u : 1u) << c.what;
    EXPECT_TRUE(RecoverInterruptedRuns(history.Path()).Runs.empty()) << "a recovered run is done with";
  }
}

TEST_F(History, UndoAfterARestartRestoresChainsAndFolders) {
  TempFolder dir;
  dir.File("A", "was A");
  dir.File("C", "was C");
  dir.Folder("Season.ONE");
  RenameOptions o;
  o.IgnoreCase = false;
  o.ReplaceList = {{"A", "B"}, {"C", "A"}};  // A -> B and C -> A in one run
  Run(dir.Path(), o);
  ASSERT_EQ(dir.Read("B"), "was A");
  ASSERT_EQ(dir.Read("A"), "was C");
  ASSERT_TRUE(dir.Has("Season.one"));
  const std::string id = lastId_;
  EXPECT_EQ(NewestUndoableRun(history_.Path()), id);

  UndoPlan plan = PlanUndo(history_.Path(), id);
  ASSERT_EQ(plan.Problem, "");
  EXPECT_TRUE(plan.Newest);
  const UndoOutcome undone = UndoRecordedRun(history_.Path(), plan);
  EXPECT_EQ(undone.Lines.size(), 3u);
  EXPECT_EQ(dir.Read("A"), "was A");
  EXPECT_EQ(dir.Read("C"), "was C");
  EXPECT_TRUE(dir.Has("Season.ONE"));
  EXPECT_EQ(ListRuns(history_.Path())[1].Now, RunSummary::State::Undone);
  EXPECT_EQ(ListRuns(history_.Path())[0].Record.Kind, RunKind::Undo) << "the undo is a run of its own";
  EXPECT_EQ(PlanUndo(history_.Path(), id).Problem, "nothing is left to undo");
  EXPECT_EQ(NewestUndoableRun(history_.Path()), "") << "an undo is never itself undone";
}

TEST_F(History, ARefusedUndoFromTheHistoryCanBeTriedAgain) {
  TempFolder dir;
  dir.File("a.MP4", "a");
  dir.File("b.MP4", "b");
  Run(dir.Path());
  const std::string id = lastId_;
  Run(dir.Path());  // renames nothing: no record, so the first stays the newest
  dir.File("a.MP4", "in the way");
  UndoPlan plan = PlanUndo(history_.Path(), id);
  (void)UndoRecordedRun(history_.Path(), plan);
  EXPECT_EQ(plan.OldPaths, std::vector<std::string>{dir / "a.MP4"});
  EXPECT_EQ(ListRuns(history_.Path())[1].Now, RunSummary::State::PartlyUndone);
  std::filesystem::remove(dir / "a.MP4");
  plan = PlanUndo(history_.Path(), id);
  ASSERT_EQ(plan.OldPaths, std::vector<std::string>{dir / "a.MP4"}) << "only what is left";
  (void)UndoRecordedRun(history_.Path(), plan);
  EXPECT_EQ(dir.Read("a.MP4"), "a");
  EXPECT_EQ(ListRuns(history_.Path())[2].Now, RunSummary::State::Undone);
}

TEST_F(History, AnOlderRunOfTheSameFolderIsNotTheNewest) {
  TempFolder dir;
  dir.File("a.MP4");
  Run(dir.Path());
  const std::string first = lastId_;
  sleep(1);  // ids tell runs apart by the second they started in
  dir.File("b.MP4");
  Run(dir.Path());
  EXPECT_FALSE(PlanUndo(history_.Path(), first).Newest);
  EXPECT_TRUE(PlanUndo(history_.Path(), lastId_).Newest);
}

TEST_F(History, KeepsTheNewestRunsWithinTheirSize) {
  std::string record = "quor-renamer history 1\nbegin\trename\t1700000000\t1\t/x\nR\t0\t0\t/x/a\t/x/b\nC\t0\nend\tfinished\t1\t0\n";
  for (int i = 0; i < 110; ++i) history_.File("20260101-" + std::to_string(100000 + i) + "-1.log", record);
  // An interrupted run waits for its repair, however old.
  history_.File("20250101-000000-1.log", "quor-renamer history 1\nbegin\trename\t1700000000\t1\t/x\nR\t0\t0\t/x/a\t/x/b\n");
  PruneHistory(history_.Path());
  Names kept = Records();
  EXPECT_EQ(kept.size(), 101u);
  EXPECT_EQ(kept.front(), "20250101-000000-1.log");
  EXPECT_EQ(kept[1], "20260101-100010-1.log") << "the ten oldest went";
  PruneHistory(history_.Path(), 100, 3 * record.size());
  EXPECT_EQ(Records().size(), 4u);
}

// Killed at random moments while it renames a folder with collisions, a run
// never loses a file nor leaves one under a temporary name, and undo from
// the history gives every name back.
TEST_F(History, KillsAtRandomMomentsLoseNothing) {
  TempFolder dir;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "ep" + std::to_string(i % 1100) + (i % 2 ? "[字]" : "") + (i < 1500 ? ".MP4" : ".Mp4");
    if (!dir.Has(name)) dir.File(name, name);
  }
  RenameOptions o;
  o.ReplaceList = {{"[字]", ""}};
  test::KillRunsAtRandom(dir.Path(), history_.Path(), o, 20, 4242u);
}

}  // namespace
}  // namespace quor
