#include "engine/history/History.h"
#include "engine/record/RecordFolder.h"
#include "engine/history/Recovery.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
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
#include "text/TextOps.h"

namespace quor {
namespace {

using test::TempFolder;
using Names = std::vector<std::string>;

// Ids for hand-written records: "r3" as written at minute m. A record's id
// ends in its name, so that a test can tell them apart.
std::string IdOf(const std::string& name, int minute = -1) {
  static std::map<std::string, int> minutes;
  if (minute >= 0) minutes[name] = minute;
  const int m = minutes.count(name) != 0 ? minutes[name] : 59;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "20231114-22%02d20.000-", m);
  return stamp + std::string(name == "?" ? "junk" : name);
}
std::string NameOfId(const std::string& id) {
  const std::string name = id.substr(id.rfind('-') + 1);
  return name == "junk" ? "?" : name;
}

class History : public ::testing::Test {
 protected:
  // A rename run of the folder with its record.
  RenameOutcome Run(const std::string& folder, const RenameOptions& options = {}) {
    std::vector<std::string> oldPaths, newPaths;
    std::vector<EntryId> ids;
    JournalWriter journal(history_.Path(), RunKind::Rename, folder);
    RenameOutcome outcome = RunRename(folder, options, {oldPaths, newPaths, ids}, {}, &journal);
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
    std::vector<EntryId> ids;
  JournalWriter journal(history_ / "blocker/history", RunKind::Rename, dir.Path());
  const RenameOutcome outcome = RunRename(dir.Path(), {}, {oldPaths, newPaths, ids}, {}, &journal);
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
      {"bytes after the end", "quor-renamer history 1\n" + begin + r + "end\tfinished\t1\t0\nR\t1"},
      {"a base without its trailing /", "quor-renamer history 1\n" + begin + "base\t" + dir.Path() + "\nR\t0\t0\ta.mp4\tb.mp4\n"},
      {"an identity in a record of the first version",
       "quor-renamer history 1\n" + begin + "R\t0\tf 1 2 3 4 5\t" + dir / "a.mp4" + "\t" + dir / "b.mp4\n"},
      {"an identity that is no identity",
       "quor-renamer history 2\n" + begin + "R\t0\tx 1 2 3 4 5\t" + dir / "a.mp4" + "\t" + dir / "b.mp4\n"},
      {"an end line with a field too many", "quor-renamer history 1\n" + begin + r + "end\tfinished\t1\t0\t0\t0\n"},
      {"a brief identity in a record of the second version",
       "quor-renamer history 2\n" + begin + "R\t0\t1311\t" + dir / "a.mp4" + "\t" + dir / "b.mp4\n"},
      {"a brief identity without the run's facts",
       "quor-renamer history 3\n" + begin + "base\t" + dir.Path() + "/\nR\t0\t1311\ta.mp4\tb.mp4\n"},
      {"the run's facts without the time its entries were born by",
       "quor-renamer history 3\n" + begin + "base\t" + dir.Path() + "/\t2049\t77\t-\nR\t0\t1311\ta.mp4\tb.mp4\n"},
      {"a generation in a record of the second version",
       "quor-renamer history 2\n" + begin + "R\t0\tf 1 2 3 4 5 6\t" + dir / "a.mp4" + "\t" + dir / "b.mp4\n"},
      {"the undone rename's number in a rename run",
       "quor-renamer history 3\n" + begin + "R\t0\tf 1 2 3 4 5\t" + dir / "a.mp4" + "\t" + dir / "b.mp4\t0\n"},
      {"a start that is no number",
       "quor-renamer history 1\nbegin\trename\t12x\t1\t" + dir.Path() + "\n" + r + "end\tfinished\t1\t0\n"},
  };
  int n = 0;
  std::vector<std::string> ids;
  for (const auto& c : cases) {
    ids.push_back("2026010" + std::to_string(++n) + "-000000-1");
    history_.File(ids.back() + ".log", c.text);
  }
  history_.Folder("20251231-000000-1.log");  // not even a file
  for (const RunSummary& run : ListRuns(history_.Path()))
    EXPECT_EQ(run.Now, RunSummary::State::Unreadable) << run.Record.Id;
  const RecoveryReport report = RecoverInterruptedRuns(history_.Path());
  EXPECT_TRUE(report.Repairs.empty());
  EXPECT_TRUE(report.Runs.empty());
  EXPECT_TRUE(dir.Has(".quor-rename-1-0-0.tmp"));
  for (std::size_t i = 0; i < ids.size(); ++i)
    EXPECT_EQ(PlanUndo(history_.Path(), ids[i]).Why, UndoPlan::Block::Unreadable) << cases[i].what;
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

// An undo killed right after it was refused an entry (a file had taken its
// old name): the refusal never reached the record, yet the repair leaves
// the entry to undo.
// What became of each entry is on the undo's record: given back, refused,
// gone, or replaced by another entry under its name.
TEST_F(History, AnUndoRecordsWhatBecameOfEachEntry) {
  TempFolder dir;
  for (const char* name : {"a.MP4", "b.MP4", "c.MP4", "d.MP4"}) dir.File(name, name);
  Run(dir.Path());
  const std::string id = lastId_;
  std::filesystem::remove(dir / "a.mp4");
  std::filesystem::remove(dir / "b.mp4");
  dir.File("b.mp4", "another file");
  dir.File("c.MP4", "in the way");
  UndoPlan plan = PlanUndo(history_.Path(), id);
  (void)UndoRecordedRun(history_.Path(), plan);
  const RunRecord undo = ReadRecord(history_ / (ListRuns(history_.Path())[0].Record.Id + ".log"), true);
  ASSERT_TRUE(undo.Readable) << undo.Problem;
  EXPECT_EQ(undo.Kind, RunKind::Undo);
  std::map<std::string, std::string> became;
  for (const RecordedRename& r : undo.Renames) {
    using State = RecordedRename::State;
    became[std::string(FileNameView(r.NewPath))] = r.Outcome == State::Done      ? "back"
                                                   : r.Outcome == State::Refused ? "refused"
                                                   : r.Outcome != State::Gone    ? "?"
                                                   : r.Replaced                  ? "replaced"
                                                                                 : "gone";
  }
  EXPECT_EQ(became, (std::map<std::string, std::string>{
                        {"a.MP4", "gone"}, {"b.MP4", "replaced"}, {"c.MP4", "refused"}, {"d.MP4", "back"}}));
  EXPECT_EQ(undo.Renamed, 1u);
  EXPECT_EQ(undo.Refused, 1u);
  EXPECT_EQ(undo.Gone, 2u);
}

TEST_F(History, AnUndoKilledRightAfterARefusalStillOffersTheEntry) {
  TempFolder dir;
  for (const char* name : {"a.MP4", "b.MP4", "c.MP4"}) dir.File(name, name);
  Run(dir.Path());
  const std::string id = lastId_;
  UndoPlan plan = PlanUndo(history_.Path(), id);
  ASSERT_EQ(plan.OldPaths.size(), 3u);
  const std::string blocked = plan.OldPaths.back();  // the first to go back
  test::WriteFile(blocked, "in the way");
  const pid_t child = fork();
  if (child == 0) {
    (void)UndoRecordedRun(history_.Path(), plan, [](std::size_t, std::size_t) -> bool { _exit(0); });
    _exit(1);
  }
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_EQ(RecoverInterruptedRuns(history_.Path()).Runs.size(), 1u);
  plan = PlanUndo(history_.Path(), id);
  EXPECT_EQ(plan.OldPaths.size(), 3u);
  EXPECT_EQ(NewestUndoableRun(history_.Path()), id);
  std::filesystem::remove(blocked);
  (void)UndoRecordedRun(history_.Path(), plan);
  EXPECT_EQ(dir.Names(), (Names{"a.MP4", "b.MP4", "c.MP4"}));
  EXPECT_EQ(dir.Read("a.MP4") + dir.Read("b.MP4") + dir.Read("c.MP4"), "a.MP4b.MP4c.MP4");
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

// What the history keeps: the limits count the runs that can still be
// undone; what cannot goes first, a run with the undo records of it.
TEST_F(History, KeepsWhatCanStillBeUndone) {
  // "r3" a rename run of two renames, "u3" an undo of r3 that gave both
  // back ("u3g": one back and one gone, "u3e": one back and one refused),
  // "i" a run killed midway, "?" junk. Each is written at the minute of its
  // place, which orders them.
  const auto record = [](const std::string& what, int minute) {
    const std::string begin = "\t" + std::to_string(1700000000 + 60 * minute) + "\t1\t/x\nfolder\t/x\n";
    const std::string rs = "R\t0\t? - - - - -\t/x/a\t/x/b\nR\t1\t? - - - - -\t/x/c\t/x/d\n";
    if (what == "?") return std::string("junk\n");
    if (what == "i") return "quor-renamer history 2\nbegin\trename" + begin + rs;
    if (what[0] == 'r') return "quor-renamer history 2\nbegin\trename" + begin + rs + "C\t1\nend\tfinished\t2\t0\t0\n";
    const char last = what.back();
    const std::string run = "r" + what.substr(1, last == 'g' || last == 'e' ? what.size() - 2 : std::string::npos);
    const std::string outcome = last == 'g' ? "G\t1\tgone\n" : last == 'e' ? "E\t1\t17\n" : "";
    const std::string counts = last == 'g' ? "1\t0\t1" : last == 'e' ? "1\t1\t0" : "2\t0\t0";
    return "quor-renamer history 2\nbegin\tundo" + begin + "undoes\t" + IdOf(run) + "\n" + rs + outcome +
           "C\t1\nend\tfinished\t" + counts + "\n";
  };
  const struct {
    const char* what;
    Names records;  // oldest first; each is written at the minute of its place
    std::size_t keepRuns;
    std::uint64_t keepRecords;  // the byte limit, in records of a rename run
    Names kept;     // oldest first
    Names removedUndoable;
  } cases[] = {
      {"within the limits nothing goes", {"r1", "u1", "r2"}, 3, 100, {"r1", "u1", "r2"}, {}},
      {"undone runs go first, each with its undo, the oldest first",
       {"r1", "u1", "r2", "u2", "r3", "r4", "u4", "r5"}, 3, 100, {"r3", "r5"}, {}},
      {"a run given back in part stays, with its undo",
       {"r1", "u1e", "r2", "u2", "r3", "r4"}, 3, 100, {"r1", "u1e", "r3", "r4"}, {}},
      {"a run given back or given up in full is done with", {"r1", "u1g", "r2", "r3"}, 2, 100, {"r2", "r3"}, {}},
      {"runs that can be undone stay past the count alone", {"r1", "r2", "r3", "r4"}, 2, 100,
       {"r1", "r2", "r3", "r4"}, {}},
      {"... and past the size alone", {"r1", "r2", "r3", "r4"}, 100, 1, {"r1", "r2", "r3", "r4"}, {}},
      {"... and go past both, the oldest first", {"r1", "r2", "r3", "r4"}, 2, 2, {"r3", "r4"}, {"r1", "r2"}},
      // A limit of n keeps n: a run goes only when there are more.
      {"... past both, whichever is the tighter", {"r1", "r2", "r3", "r4"}, 2, 1, {"r3", "r4"}, {"r1", "r2"}},
      {"... either way round", {"r1", "r2", "r3", "r4"}, 1, 2, {"r3", "r4"}, {"r1", "r2"}},
      {"an undo whose run is gone goes first", {"r1", "u9", "r2", "r3"}, 2, 100, {"r1", "r2", "r3"}, {}},
      {"so does junk", {"?", "r1", "r2"}, 1, 100, {"r1", "r2"}, {}},
      {"a run killed midway stays, however old", {"i", "r1", "u1", "r2", "u2"}, 1, 100, {"i"}, {}},
  };
  for (const auto& c : cases) {
    TempFolder history("quor-history");
    for (std::size_t m = 0; m < c.records.size(); ++m)
      history.File(IdOf(c.records[m], static_cast<int>(m)) + ".log", record(c.records[m], static_cast<int>(m)));
    const std::uint64_t recordSize = record("r1", 0).size();
    const std::vector<std::string> removed = PruneHistory(history.Path(), c.keepRuns, c.keepRecords * recordSize);
    Names kept;
    for (const RunSummary& run : ListRuns(history.Path())) kept.insert(kept.begin(), NameOfId(run.Record.Id));
    EXPECT_EQ(kept, c.kept) << c.what;
    Names removedNames;
    for (const std::string& id : removed) removedNames.push_back(NameOfId(id));
    EXPECT_EQ(removedNames, c.removedUndoable) << c.what;
  }
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
  test::KillAtRandom(test::Killed::Rename, dir.Path(), history_.Path(), o, 20, 4242u);
}

// Killed at random moments while it undoes a run of chains, an undo is
// repaired by what the disk shows of each entry, and the next undos give
// every name back.
TEST_F(History, KillsDuringUndosOfChainsLoseNothing) {
  TempFolder dir;
  test::MakeChains(dir.Path(), 600);
  RenameOptions o;
  o.ReplaceList = {{"QQ", "Q"}};
  test::KillAtRandom(test::Killed::Undo, dir.Path(), history_.Path(), o, 20, 2024u);
}

}  // namespace
}  // namespace quor
