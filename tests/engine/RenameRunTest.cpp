#include "engine/rename/RenameRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "system/Exception.h"
#include "engine/history/FolderHistory.h"
#include "engine/history/History.h"
#include "engine/record/Journal.h"
#include "engine/rename/RunPlan.h"
#include "tests/TempFolder.h"
#include "text/TextOps.h"

namespace quor {
namespace {

using test::TempFolder;

struct RunResult {
  std::vector<std::string> undoOld, undoNew;
  std::vector<EntryId> undoIds;
  RenameOutcome outcome;
  std::vector<std::string> Log() const {
    std::vector<std::string> log;
    for (const auto& line : outcome.Lines) log.push_back(FormatLine(line));
    return log;
  }
};

RunResult Rename(const std::string& folderText, const RenameOptions& options = {}, const ProgressFn& progress = {}) {
  RunResult run;
  run.outcome = RunRename(folderText, options, {run.undoOld, run.undoNew, run.undoIds}, progress);
  return run;
}

std::vector<std::string> Undo(RunResult& run) {
  std::vector<std::string> log;
  for (const auto& line : RunUndo({run.undoOld, run.undoNew, run.undoIds}).Lines) log.push_back(FormatLine(line));
  return log;
}

RenameOptions Pairs(std::vector<ReplacePair> pairs, RenameOptions o = {}) {
  o.ReplaceList = std::move(pairs);
  return o;
}

ReplacePair Regex(std::string pattern, std::string replacement) {
  return {std::move(pattern), std::move(replacement), true};
}

TEST(RenameRun, RecordingNameGivesLineAndUndoEntry) {
  TempFolder dir;
  dir.File("第1話｢A｣.MP4", "video");
  dir.File("unchanged.txt");
  const RunResult run = Rename(dir.Path());
  EXPECT_EQ(run.Log(), std::vector<std::string>{"Rename\t第1話「A」.mp4\t←\t第1話｢A｣.MP4"});
  EXPECT_EQ(run.undoOld, std::vector<std::string>{dir / "第1話｢A｣.MP4"});
  EXPECT_EQ(run.undoNew, std::vector<std::string>{dir / "第1話「A」.mp4"});
  EXPECT_EQ(dir.Read("第1話「A」.mp4"), "video");
  EXPECT_EQ(run.outcome.Listed, 2u);
}

TEST(RenameRun, WhatCountsAsAChange) {
  const struct {
    const char* what;
    const char* name;
    RenameOptions options;
    std::string line;   // "" when no line is expected
    const char* after;  // the entry's name afterwards
  } cases[] = {
      {"case only", "A.MP4", {}, "Rename\tA.mp4\t←\tA.MP4", "A.mp4"},
      {"rules leave it alone", "a.mp4", {}, "", "a.mp4"},
      {"trailing spaces cut, from the line too", "b.txt", Pairs({{"b.txt", "c.txt  "}}), "Rename\tc.txt\t←\tb.txt",
       "c.txt"},
      {"leading spaces of a name are kept", " lead.txt", {}, "", " lead.txt"},
      {"only brackets", "「」", Pairs({}, [] { RenameOptions o; o.DeleteKakko = true; return o; }()),
       "Error\t\t←\t「」\t新しい名前が空です", "「」"},
      {"blanks only", "x", Pairs({{"x", "   "}}), "Error\t\t←\tx\t新しい名前が空です", "x"},
      {"separator in new name", "a.txt", Pairs({{"a", "../a"}}), "Error\t../a.txt\t←\ta.txt\t名前に「/」は使えません",
       "a.txt"},
      {"dot", "dotted", Pairs({{"dotted", "."}}), "Error\t.\t←\tdotted\t「.」「..」は名前にできません", "dotted"},
      {"dot dot", "dd", Pairs({{"dd", ".."}}), "Error\t..\t←\tdd\t「.」「..」は名前にできません", "dd"},
      {"NUL in new name", "n.txt", Pairs({{"n", std::string("n\0", 2)}}),
       "Error\tn\xE2\x90\x80.txt\t←\tn.txt\t名前にNUL文字は使えません", "n.txt"},
      // A visible file must not turn into a hidden one that seems gone.
      {"only the extension left", "｢」.MP4", Pairs({}, [] { RenameOptions o; o.DeleteKakko = true; return o; }()),
       "Error\t.mp4\t←\t｢」.MP4\t拡張子だけの名前になります", "｢」.MP4"},
      {"a hidden file stays hidden", ".HIDDEN", {}, "Rename\t.hidden\t←\t.HIDDEN", ".hidden"},
      {"tab and newline shown as symbols", "t\tx\ny.TS", {}, "Rename\tt␉x␊y.ts\t←\tt␉x␊y.TS", "t\tx\ny.ts"},
      {"DEL shown as a symbol", "d\x7F.TS", {}, "Rename\td␡.ts\t←\td␡.TS", "d\x7F.ts"},
      {"spaces stay spaces beside a control", "a b\tc.TS", {}, "Rename\ta b␉c.ts\t←\ta b␉c.TS",
       "a b\tc.ts"},
      {"not valid in any code page", "\xFF\xFE.MP4", {},
       "Error\t\xEF\xBF\xBD\xEF\xBF\xBD.mp4\t←\t\xEF\xBF\xBD\xEF\xBF\xBD.MP4\t文字コードが不明な名前です", "\xFF\xFE.MP4"},
      {"a regex row empties the name", "x.txt", Pairs({Regex(".*", "")}), "Error\t\t←\tx.txt\t新しい名前が空です",
       "x.txt"},
      {"a regex row makes a separator", "a b.txt", Pairs({Regex("(\\w) (\\w)", "$1/$2")}),
       "Error\ta/b.txt\t←\ta b.txt\t名前に「/」は使えません", "a b.txt"},
      {"a regex row reaches its bound", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.txt",
       Pairs({{"b", "c"}, Regex("(a+)+$", "")}),
       "Error\taaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.txt\t←\taaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.txt\t"
       "置換リスト 2 行目の正規表現の処理が上限に達しました",
       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.txt"},
      {"a CP932 name gets a character CP932 lacks", "\x91\xE6\x33\x98\x62.MP4", Pairs({Regex("話", "🎬")}),
       "Error\t第3🎬.mp4\t←\t第3話.MP4\tShift_JIS（CP932）で表せない文字が入ります", "\x91\xE6\x33\x98\x62.MP4"},
      {"a CP932 name through a regex row", "\x91\xE6\x33\x98\x62.MP4", Pairs({Regex("第(\\d)話", "$1")}),
       "Rename\t3.mp4\t←\t第3話.MP4", "3.mp4"},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    dir.File(c.name, "data");
    const RunResult run = Rename(dir.Path(), c.options);
    EXPECT_EQ(run.Log(), c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line}) << c.what;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{c.after}) << c.what;
    EXPECT_EQ(run.undoOld.size(), c.line.rfind("Rename", 0) == 0 ? 1u : 0u) << c.what;
  }
}

TEST(RenameRun, LegacyShiftJisNamesAreTidiedInCp932) {
  TempFolder dir;
  // 第1話｢タイトル｣[字].MP4 in CP932 bytes, beside a UTF-8 name.
  const std::string sjis = "\x91\xE6\x31\x98\x62\xA2\x83\x5E\x83\x43\x83\x67\x83\x8B\xA3[\x8E\x9A].MP4";
  dir.File(sjis, "old");
  dir.File("第2話｢タイトル｣[字].MP4", "new");
  RenameOptions o = Pairs({{"[字]", ""}, {"タイトル", "題"}, {"🎬", "x"}});
  const RunResult run = Rename(dir.Path(), o);
  const std::string renamed = "\x91\xE6\x31\x98\x62\x81\x75\x91\xE8\x81\x76.mp4";  // 第1話「題」.mp4
  EXPECT_TRUE(dir.Has(renamed));
  EXPECT_TRUE(dir.Has("第2話「題」.mp4"));
  ASSERT_EQ(run.outcome.Lines.size(), 2u);
  for (const auto& line : run.Log()) {
    EXPECT_TRUE(line == "Rename\t第1話「題」.mp4\t←\t第1話｢タイトル｣[字].MP4" ||
                line == "Rename\t第2話「題」.mp4\t←\t第2話｢タイトル｣[字].MP4")
        << line;
  }
}

TEST(RenameRun, CollidingNewNamesKeepTheFirstAndRefuseTheSecond) {
  TempFolder dir;
  dir.File("x.TXT", "upper");
  dir.File("x.Txt", "mixed");
  const RunResult run = Rename(dir.Path());
  ASSERT_EQ(run.outcome.Lines.size(), 2u);
  EXPECT_TRUE(run.outcome.Lines[0].Ok);
  EXPECT_FALSE(run.outcome.Lines[1].Ok);
  EXPECT_EQ(run.Log()[1], "Error\tx.txt\t←\t" + run.outcome.Lines[1].OldName + "\t同じ名前が既にあります");
  const std::string first = run.outcome.Lines[0].OldName;
  EXPECT_EQ(dir.Read("x.txt"), first == "x.TXT" ? "upper" : "mixed");
  EXPECT_TRUE(dir.Has(run.outcome.Lines[1].OldName));
}

TEST(RenameRun, FoldersAreRenamedLikeFiles) {
  TempFolder dir;
  dir.Folder("Season.ONE");
  dir.File("Season.ONE/inside.MP4");
  const RunResult run = Rename(dir.Path());
  EXPECT_EQ(run.Log(), std::vector<std::string>{"Rename\tSeason.one\t←\tSeason.ONE"});
  EXPECT_TRUE(dir.Has("Season.one/inside.MP4")) << "only the listed folder's entries are renamed";
}

TEST(RenameRun, FolderTextForms) {
  TempFolder dir;
  dir.File("a.MP4");
  dir.File("b.TXT");
  EXPECT_EQ(Rename(dir / "*.mp4").Log(), std::vector<std::string>{"Rename\ta.mp4\t←\ta.MP4"});
  EXPECT_TRUE(dir.Has("b.TXT")) << "the mask limits the run";
  EXPECT_EQ(Rename(dir.Path() + "/").Log(), std::vector<std::string>{"Rename\tb.txt\t←\tb.TXT"});
  const RunResult missing = Rename(dir / "missing");
  EXPECT_TRUE(missing.Log().empty());
  EXPECT_EQ(missing.outcome.Folder, FolderState::Missing);
  EXPECT_EQ(Rename(dir / "missing/*.mp4").outcome.Folder, FolderState::Missing);
  EXPECT_EQ(Rename(dir / "*.none").outcome.Folder, FolderState::Listed) << "a mask that matches nothing";
  if (geteuid() == 0) return;  // root reads any folder
  dir.Folder("locked");
  dir.File("locked/c.MP4");
  ASSERT_EQ(chmod((dir / "locked").c_str(), 0300), 0);
  const RunResult unread = Rename(dir / "locked");
  EXPECT_EQ(unread.outcome.Folder, FolderState::Unreadable) << "not an empty folder";
  EXPECT_EQ(unread.outcome.FolderError, EACCES);
  EXPECT_EQ(PreviewRename(dir / "locked", {}).Folder, FolderState::Unreadable);
  ASSERT_EQ(chmod((dir / "locked").c_str(), 0700), 0);
}

// Only a folder the user named renames anything: a text without a folder
// would list whatever folder the program happens to run in.
TEST(RenameRun, AFolderTextWithoutAFolderRenamesNothing) {
  TempFolder dir;
  dir.Folder("tv");
  dir.File("c.MP4");
  dir.File("tv/d.TS");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  for (const char* text : {"", "*.MP4", "*", "tv", "tv/*.TS", "./tv", "~/tv"}) {
    const RunResult run = Rename(text);
    EXPECT_TRUE(run.Log().empty()) << text;
    EXPECT_EQ(run.outcome.Listed, 0u) << text;
    EXPECT_EQ(run.outcome.Folder, FolderState::NotAbsolute) << text;
    EXPECT_EQ(PreviewRename(text, {}).Folder, FolderState::NotAbsolute) << text;
  }
  std::filesystem::current_path(old);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"c.MP4", "tv"}));
  EXPECT_TRUE(dir.Has("tv/d.TS"));
}

TEST(RenameRun, FolderPartIsNeverTrimmed) {
  TempFolder dir;
  dir.Folder(" d");
  dir.Folder("d");
  dir.File(" d/e.MP4", "spaced");
  dir.File("d/e.MP4", "plain");
  const RunResult run = Rename(dir / " d");
  EXPECT_EQ(run.undoNew, std::vector<std::string>{dir / " d/e.mp4"});
  EXPECT_EQ(dir.Read(" d/e.mp4"), "spaced");
  EXPECT_EQ(dir.Read("d/e.MP4"), "plain");
}

// Something unexpected ends the run after three renames (here the progress
// step throws): the three keep their lines and their undo entries.
TEST(RenameRun, AnExceptionKeepsTheRecordOfWhatWasDone) {
  TempFolder dir;
  for (int i = 0; i < 6; ++i) dir.File("f" + std::to_string(i) + ".MP4");
  RunResult run = Rename(dir.Path(), {}, [](std::size_t done, std::size_t) {
    if (done == 3) throw std::runtime_error("disk on fire");
    return true;
  });
  ASSERT_TRUE(run.outcome.Failure);
  EXPECT_THROW(std::rethrow_exception(run.outcome.Failure), std::runtime_error);
  EXPECT_EQ(run.outcome.Lines.size(), 3u);
  EXPECT_EQ(run.undoOld.size(), 3u);
  std::size_t lower = 0;
  for (const auto& name : dir.Names()) lower += name.ends_with(".mp4");
  EXPECT_EQ(lower, 3u);
  EXPECT_EQ(Undo(run).size(), 3u);
  for (const auto& name : dir.Names()) EXPECT_TRUE(name.ends_with(".MP4")) << name;
}

TEST(RenameRun, RunEmptiesTheUndoListFirst) {
  TempFolder dir;
  dir.File("a.MP4");
  RunResult run;
  run.undoOld = {"stale"};
  run.undoNew = {"stale"};
  run.outcome = RunRename(dir / "missing", {}, {run.undoOld, run.undoNew, run.undoIds});
  EXPECT_TRUE(run.undoOld.empty());
  EXPECT_TRUE(run.undoNew.empty());
}

TEST(Undo, RestoresInReverseOrderFoldersIncluded) {
  TempFolder dir;
  // State after a run that renamed A to B and then C to A.
  dir.File("B", "was A");
  dir.File("A", "was C");
  dir.Folder("F.new");
  RunResult run;
  run.undoOld = {dir / "A", dir / "C", dir / "F.OLD"};
  run.undoNew = {dir / "B", dir / "A", dir / "F.new"};
  run.undoIds.resize(3);  // identities unknown: the names alone decide
  const auto log = Undo(run);
  EXPECT_EQ(log, (std::vector<std::string>{"Undo\t" + (dir / "F.OLD") + "\t←\t" + (dir / "F.new"),
                                            "Undo\t" + (dir / "C") + "\t←\t" + (dir / "A"),
                                            "Undo\t" + (dir / "A") + "\t←\t" + (dir / "B")}));
  EXPECT_EQ(dir.Read("A"), "was A");
  EXPECT_EQ(dir.Read("C"), "was C");
  EXPECT_TRUE(dir.Has("F.OLD"));
  EXPECT_TRUE(run.undoOld.empty());
  EXPECT_TRUE(run.undoNew.empty());
}

// A name read in CP932 may stand in a UTF-8 folder: each part is shown in
// its own code page.
TEST(Undo, LinesShowFolderAndNameEachInItsCodePage) {
  const struct {
    const char* what;
    std::string path, shown;
  } cases[] = {
      {"CP932 name in a UTF-8 folder", "x/é/\x83\x41", "x/é/ア"},
      {"UTF-8 name in a CP932 folder", "\x83\x41/é", "ア/é"},
      {"plain text as it is", "/tv/第1話 「A」.mp4", "/tv/第1話 「A」.mp4"},
      {"a TAB in a UTF-8 path", "/tv/a\tb/c\nd", "/tv/a\xE2\x90\x89" "b/c\xE2\x90\x8A" "d"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatLine(UndoLine{true, c.path, c.path, {}}), "Undo\t" + c.shown + "\t←\t" + c.shown) << c.what;
}

TEST(Undo, ReportsWhatIsGoneAndKeepsWhatIsRefusedForAnotherTry) {
  TempFolder dir;
  dir.File("a.MP4", "a");
  dir.File("b.MP4", "b");
  dir.File("c.MP4", "c");
  RunResult run = Rename(dir.Path());
  ASSERT_EQ(run.undoOld.size(), 3u);
  std::filesystem::remove(dir / "a.mp4");
  dir.File("b.MP4", "new file in the way");
  auto log = Undo(run);
  std::sort(log.begin(), log.end());  // in the reverse of the listing's order, which the system picks
  const std::string back = "\t←\t";
  EXPECT_EQ(log, (std::vector<std::string>{"Error\t" + (dir / "a.MP4") + back + (dir / "a.mp4") + "\t見つかりません",
                                            "Error\t" + (dir / "b.MP4") + back + (dir / "b.mp4") + "\t同じ名前が既にあります",
                                            "Undo\t" + (dir / "c.MP4") + back + (dir / "c.mp4")}));
  EXPECT_EQ(dir.Read("c.MP4"), "c");
  EXPECT_EQ(dir.Read("b.mp4"), "b") << "the refused entry keeps its new name";
  EXPECT_EQ(run.undoOld, std::vector<std::string>{dir / "b.MP4"}) << "only the refused entry stays";

  // Still in the way: refused again, and kept again.
  EXPECT_EQ(Undo(run).size(), 1u);
  EXPECT_EQ(run.undoOld.size(), 1u);
  // The cause removed, the next Undo restores it.
  std::filesystem::remove(dir / "b.MP4");
  EXPECT_EQ(Undo(run), std::vector<std::string>{"Undo\t" + (dir / "b.MP4") + back + (dir / "b.mp4")});
  EXPECT_EQ(dir.Read("b.MP4"), "b");
  EXPECT_TRUE(run.undoOld.empty());
}

TEST(Undo, AFolderMovedAwaySaysSoForEveryEntry) {
  TempFolder dir;
  dir.Folder("tv");
  dir.File("tv/a.MP4");
  dir.File("tv/b.MP4");
  RunResult run = Rename(dir / "tv");
  ASSERT_EQ(run.undoOld.size(), 2u);
  std::filesystem::rename(dir / "tv", dir / "moved");
  const auto log = Undo(run);
  ASSERT_EQ(log.size(), 2u);
  for (const auto& line : log) EXPECT_TRUE(line.starts_with("Error\t") && line.ends_with("\t見つかりません")) << line;
  EXPECT_TRUE(run.undoOld.empty());

  // The other way round: the entry is there, the folder it goes back to is
  // not. It stays for another try, once the folder is back.
  std::vector<std::string> oldPaths = {dir / "tv/a.MP4"}, newPaths = {dir / "moved/a.mp4"};
  std::vector<EntryId> ids(1);
  ASSERT_TRUE(IdentityOf(newPaths[0], ids[0]));
  const auto again = [&] {
    std::vector<std::string> lines;
    for (const auto& line : RunUndo({oldPaths, newPaths, ids}).Lines) lines.push_back(FormatLine(line));
    return lines;
  };
  EXPECT_EQ(again(), std::vector<std::string>{"Error\t" + (dir / "tv/a.MP4") + "\t←\t" + (dir / "moved/a.mp4") +
                                              "\t戻す先のフォルダーがありません"});
  EXPECT_EQ(oldPaths.size(), 1u);
  dir.Folder("tv");
  EXPECT_EQ(again(), std::vector<std::string>{"Undo\t" + (dir / "tv/a.MP4") + "\t←\t" + (dir / "moved/a.mp4")});
  EXPECT_TRUE(oldPaths.empty());
}

// A refused undo is kept in run order, behind what was never replayed.
TEST(Undo, ACancelKeepsTheRestBeforeTheRefused) {
  TempFolder dir;
  for (const char* name : {"a.MP4", "b.MP4", "c.MP4", "d.MP4"}) dir.File(name);
  RunResult run = Rename(dir.Path());
  ASSERT_EQ(run.undoOld.size(), 4u);
  const std::vector<std::string> oldPaths = run.undoOld;
  dir.File(std::string(FileNameView(oldPaths[3])), "in the way");
  auto undone = RunUndo({run.undoOld, run.undoNew, run.undoIds}, [](std::size_t done, std::size_t) { return done < 2; });
  EXPECT_TRUE(undone.Cancelled);
  ASSERT_EQ(undone.Lines.size(), 2u);
  EXPECT_FALSE(undone.Lines[0].Ok);
  EXPECT_EQ(run.undoOld, (std::vector<std::string>{oldPaths[0], oldPaths[1], oldPaths[3]}));
}

TEST(Cancel, StopsAfterTheEntryInProgressAndUndoReversesThatPart) {
  TempFolder dir;
  for (int i = 0; i < 10; ++i) dir.File("f" + std::to_string(i) + ".MP4", std::to_string(i));
  RunResult run = Rename(dir.Path(), {}, [](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 10u);
    return done < 4;
  });
  EXPECT_TRUE(run.outcome.Cancelled);
  EXPECT_EQ(run.outcome.Lines.size(), 4u);
  EXPECT_EQ(run.undoOld.size(), 4u);
  std::size_t lower = 0;
  for (const auto& name : dir.Names()) lower += name.ends_with(".mp4");
  EXPECT_EQ(lower, 4u);

  // An undo cancelled after one entry keeps the rest for the next one.
  auto undone = RunUndo({run.undoOld, run.undoNew, run.undoIds}, [](std::size_t done, std::size_t) { return done < 1; });
  EXPECT_TRUE(undone.Cancelled);
  EXPECT_EQ(undone.Lines.size(), 1u);
  EXPECT_EQ(run.undoOld.size(), 3u);
  EXPECT_EQ(Undo(run).size(), 3u);
  for (const auto& name : dir.Names()) EXPECT_TRUE(name.ends_with(".MP4")) << name;

  // Stopped on the last entry, nothing was left undone: no cancel.
  const auto untilLast = [](std::size_t done, std::size_t total) { return done < total; };
  run = Rename(dir.Path(), {}, untilLast);
  EXPECT_FALSE(run.outcome.Cancelled);
  EXPECT_EQ(run.undoOld.size(), 10u);
  undone = RunUndo({run.undoOld, run.undoNew, run.undoIds}, untilLast);
  EXPECT_FALSE(undone.Cancelled);
  EXPECT_EQ(undone.Lines.size(), 10u);
  EXPECT_TRUE(run.undoOld.empty());
}

// The plan is a value: made again from one listing under other rules or
// other exclusions, it never lists the folder again, and a newer change
// stops the one being made.
TEST(RunPlan, PlansAgainFromOneListingAndStopsWhenAsked) {
  TempFolder dir;
  for (int i = 0; i < 600; ++i) dir.File("第" + std::to_string(i) + "話｢A｣.MP4");
  const FolderSnapshot snapshot = TakeSnapshot(dir.Path());
  dir.File("late.MP4");  // after the listing: no plan of it sees this one
  RenameOptions o;
  const RunPlan first = PlanRun(snapshot, o);
  o.ReplaceList = {{"A", "B"}};
  const NameSet left = {"第7話｢A｣.MP4"};
  const RunPlan second = PlanRun(snapshot, o, &left);
  ASSERT_EQ(first.Entries.size(), 600u);
  ASSERT_EQ(second.Entries.size(), 600u);
  for (const RunPlan* plan : {&first, &second}) {
    EXPECT_FALSE(plan->Stopped);
    for (const PlannedEntry& e : plan->Entries) {
      const std::string& old = snapshot.Entries[e.Entry].Name;
      std::string renamed = old.substr(0, old.find("｢")) + (plan == &first ? "「A」.mp4" : "「B」.mp4");
      EXPECT_EQ(e.NewName, renamed);
      EXPECT_EQ(NewPathOf(snapshot, e), dir / renamed);
      EXPECT_EQ(e.Excluded, plan == &second && old == "第7話｢A｣.MP4") << old;
    }
  }
  EXPECT_EQ(second.Excluded, 1u);
  std::size_t asked = 0;
  const RunPlan stopped = PlanRun(snapshot, o, nullptr, [&] { return ++asked > 2; });
  EXPECT_TRUE(stopped.Stopped);
  EXPECT_EQ(asked, 3u) << "asked now and then, not for every entry";
  ASSERT_EQ(stopped.Entries.size(), 512u) << "the entries planned before it stopped";
  for (std::size_t k = 0; k < 512; ++k) EXPECT_EQ(stopped.Entries[k].NewName, second.Entries[k].NewName);
}

// The preview's lines are the run's lines, on a folder with every kind of
// collision: between new names, with files, with folders, chains, refusals.
TEST(Preview, EqualsTheRunThatFollows) {
  TempFolder dir;
  for (const char* name : {"a.MP4", "a.Mp4", "b.MP4", "B.mp4", "c.TS", "第1話｢A｣.MP4", "第1話「A」.mp4",
                           "x.TXT", "y.TXT", "「」", "sub.DIR", "q/", "one", "two", "k.MKV", "255", "256",
                           "nul"}) {
    if (std::string(name).ends_with("/")) {
      dir.Folder(std::string(name).substr(0, std::string(name).size() - 1));
    } else {
      dir.File(name, name);
    }
  }
  dir.Folder("c.ts");  // a folder in the way of a file
  dir.Folder("k.mkv");
  // Two names of one file that differ only in case: two entries, not one.
  dir.File("hl.MP4", "linked");
  ASSERT_EQ(link((dir / "hl.MP4").c_str(), (dir / "hl.mp4").c_str()), 0);
  // The longest name the file system takes (255 bytes on ext4 and tmpfs), one
  // byte more, and a NUL, which the system call would cut short.
  RenameOptions o = Pairs({{"x.txt", "y.txt"},
                           {"one", "two"},
                           {"two", "three"},
                           {"q", "a/b"},
                           {"255", std::string(255, 'f')},
                           {"256", std::string(256, 'g')},
                           {"nul", std::string("n\0l", 3)}});
  o.DeleteKakko = true;
  const auto before = dir.Names();
  const RenameOutcome preview = PreviewRename(dir.Path(), o);
  EXPECT_EQ(dir.Names(), before) << "the preview touches nothing";
  const RunResult run = Rename(dir.Path(), o);
  std::vector<std::string> previewLog;
  for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, run.Log());
  EXPECT_TRUE(dir.Has(std::string(255, 'f')));
  std::size_t errors = 0;
  for (const auto& line : run.outcome.Lines) errors += !line.Ok;
  EXPECT_GE(errors, 5u) << "the folder really has collisions";
  const auto has = [&](const std::string& line) { return std::find(previewLog.begin(), previewLog.end(), line) != previewLog.end(); };
  EXPECT_TRUE(has("Error\thl.mp4\t←\thl.MP4\t同じ名前が既にあります"));
  EXPECT_TRUE(has("Error\t" + std::string(256, 'g') + "\t←\t256\t名前が長すぎます"));

  // Case twins in a folder whose own name holds a '*', reached through a
  // mask: the preview reads that folder as a folder, not as a mask.
  dir.Folder("s*t");
  dir.File("s*t/t.MP4", "one");
  dir.File("s*t/t.mp4", "another");
  const RenameOutcome starred = PreviewRename(dir / "s*t/*.MP4", o);
  previewLog.clear();
  for (const auto& line : starred.Lines) previewLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, Rename(dir / "s*t/*.MP4", o).Log());
  EXPECT_EQ(previewLog, std::vector<std::string>{"Error\tt.mp4\t←\tt.MP4\t同じ名前が既にあります"});

  // A folder that takes no new entries: the same refusal in both.
  if (geteuid() == 0) return;  // root writes anywhere
  TempFolder locked;
  locked.File("x.MP4");
  ASSERT_EQ(chmod(locked.Path().c_str(), 0555), 0);
  const RenameOutcome refused = PreviewRename(locked.Path(), {});
  ASSERT_EQ(refused.Lines.size(), 1u);
  EXPECT_EQ(FormatLine(refused.Lines[0]), "Error\tx.mp4\t←\tx.MP4\tアクセスが拒否されました");
  EXPECT_EQ(Rename(locked.Path()).Log(), std::vector<std::string>{FormatLine(refused.Lines[0])});
}

// A folder of recordings as they come from several recorders, tidied by the
// README's regex rows with the width rule: the preview says exactly what
// the run then does.
TEST(Preview, EqualsTheRunWithRegexRowsOnRecordingNames) {
  TempFolder dir;
  const std::vector<std::string> names = {
      "星空探偵団 第01話｢はじまりの夜｣[字].MP4", "星空探偵団 #2「消えた時計塔」【再】.mp4",
      "星空探偵団 ＃３ 雨の日の手紙 (字)(Ｓ).ts", "星空探偵団 第4話 🈑🈞.m2ts",
      "ニュースＳＰ（3）［二］.MP4",          "星空探偵団 第01話「はじまりの夜」.mp4",
      "\x91\xE6\x35\x98\x62[\x8E\x9A].TS"};  // 第5話[字].TS in CP932
  for (const std::string& name : names) dir.File(name, name);
  RenameOptions o = Pairs({Regex("[\\[［【(（][^0-9０-９\\]］】)）][\\]］】)）]|[\\x{1F210}-\\x{1F23B}]", ""),
                           Regex("[#＃](\\d+)", "第$1話"), Regex(" +(\\.[^.]+)$", "$1")});
  o.AlnumZenToHan = true;
  const RenameOutcome preview = PreviewRename(dir.Path(), o);
  const RunResult run = Rename(dir.Path(), o);
  std::vector<std::string> previewLog;
  for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, run.Log());
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"\x91\xE6\x35\x98\x62.ts", "ニュースSP（3）.mp4",
                                                   "星空探偵団 第01話「はじまりの夜」.mp4",
                                                   "星空探偵団 第01話｢はじまりの夜｣[字].MP4",
                                                   "星空探偵団 第2話「消えた時計塔」.mp4",
                                                   "星空探偵団 第3話 雨の日の手紙.ts", "星空探偵団 第4話.m2ts"}));
  EXPECT_EQ(std::count_if(previewLog.begin(), previewLog.end(), [](const std::string& l) { return l.starts_with("Error"); }),
            1) << "the first episode meets the name it would take";
}

// A pattern that backtracks without end on some names: each of them gets
// its line and the run goes on, quickly.
TEST(RenameRun, ACatastrophicPatternStopsPerNameAndTheRunGoesOn) {
  TempFolder dir;
  for (int i = 0; i < 20; ++i) dir.File(std::string(200 + i, 'a') + "!.txt");
  dir.File("aaa.TXT");
  dir.File("b.TXT");
  const auto start = std::chrono::steady_clock::now();
  const RunResult run = Rename(dir.Path(), Pairs({Regex("(a+)+$", "x")}));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0);
  std::size_t bound = 0;
  for (const auto& line : run.Log())
    bound += line.ends_with("\t置換リスト 1 行目の正規表現の処理が上限に達しました") ? 1 : 0;
  EXPECT_EQ(bound, 20u);
  EXPECT_TRUE(dir.Has("b.txt")) << "the run went on";
  EXPECT_TRUE(dir.Has("aaa.txt")) << "a name the pattern handles in time";
  EXPECT_TRUE(dir.Has(std::string(200, 'a') + "!.txt"));
}

// A broken row means the list is not what the user wrote: nothing is
// renamed, nothing is even previewed, and the run says why.
TEST(RenameRun, ABrokenRegexRowRenamesNothing) {
  TempFolder dir;
  dir.File("a.MP4");
  const RenameOptions o = Pairs({{"a", "b"}, Regex("(a", "b")});
  for (const RenameOutcome& outcome : {Rename(dir.Path(), o).outcome, PreviewRename(dir.Path(), o)}) {
    EXPECT_TRUE(outcome.Lines.empty());
    ASSERT_TRUE(outcome.Failure);
    try {
      std::rethrow_exception(outcome.Failure);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "置換リスト 2 行目の正規表現が正しくありません（位置 2）: missing closing parenthesis");
    }
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.MP4"});
}

// The words of each reason the system can give, and where a stranded entry is.
TEST(Refusal, SaysWhyInAFewWords) {
  const struct {
    RenameResult result;
    std::string text;
  } cases[] = {
      {RenameResult(EEXIST), "同じ名前が既にあります"},
      {RenameResult(ENOTEMPTY), "同じ名前が既にあります"},
      {RenameResult(EACCES), "アクセスが拒否されました"},
      {RenameResult(EPERM), "アクセスが拒否されました"},
      {RenameResult(EROFS), "読み取り専用のファイルシステムです"},
      {RenameResult(ENOENT), "見つかりません"},
      {RenameResult(ENAMETOOLONG), "名前が長すぎます"},
      {RenameResult(EXDEV), "システムエラー: " + std::string(std::strerror(EXDEV))},
      {RenameResult(EIO, "/tv/.quor-rename-1-2-0.tmp"), "元に戻せず一時的な名前で残っています: /tv/.quor-rename-1-2-0.tmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(RefusalText(RefusalOf(c.result)), c.text) << c.result.Error();
  EXPECT_EQ(RefusalText(RefusalOf(RenameResult())), "");
}

// Nothing is ever lost: many new names collide with each other, with files
// and with folders, and every file's content is still there afterwards.
TEST(NothingLost, TwoThousandCollidingFilesSurviveRunAndUndo) {
  TempFolder dir;
  std::multiset<std::string> contents;
  for (int i = 0; i < 2000; ++i) {
    // Groups of names that differ only in case or in a tag the list drops.
    const std::string base = "ep" + std::to_string(i % 700);
    const std::string name = base + (i % 3 == 0 ? "[字]" : i % 3 == 1 ? "[HD]" : "") + (i < 1000 ? ".MP4" : ".Mp4");
    if (dir.Has(name)) continue;
    dir.File(name, name);
    contents.insert(name);
  }
  for (int i = 0; i < 50; ++i) dir.Folder("ep" + std::to_string(i) + ".mp4");
  const auto snapshot = [&] {
    std::multiset<std::string> seen;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      if (e.is_regular_file()) seen.insert(dir.Read(e.path().filename().string()));
    return seen;
  };
  const RenameOptions options = Pairs({{"[字]", ""}, {"[hd]", ""}});
  const RenameOutcome preview = PreviewRename(dir.Path(), options);
  test::FolderWatch watch(dir.Path());
  RunResult run = Rename(dir.Path(), options);
  EXPECT_GT(run.undoOld.size(), 100u);
  EXPECT_EQ(snapshot(), contents);
  // The preview said exactly what the run did, reasons included.
  std::vector<std::string> previewLog;
  for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, run.Log());
  // No entry was ever moved out of the way: every name seen is a real one.
  for (const auto& name : watch.Seen()) ASSERT_EQ(name.find(".quor-rename-"), std::string::npos) << name;
  (void)Undo(run);
  EXPECT_EQ(snapshot(), contents);
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

RenameOptions With(void (*set)(RenameOptions&)) {
  RenameOptions o;
  set(o);
  return o;
}

// Files that a recorder writes beside a recording follow it: they take its
// new name with their own suffix, never the rules on their own names.
TEST(Companions, FollowTheirRecording) {
  const std::string rec = "番組 第01話｢タイトル｣[字]";
  const std::string tidy = "番組 第01話「タイトル」";
  const auto cut = [](RenameOptions& o) { o.DeleteAfterKakko = true; };
  const auto ts = [](RenameOptions& o) { o.ReplaceList = {{".ts", ".m2ts"}}; };
  const auto cutAndTs = [](RenameOptions& o) {
    o.DeleteAfterKakko = true;
    o.ReplaceList = {{".ts", ".m2ts"}};
  };
  const struct {
    const char* what;
    std::vector<std::string> files;  // "name/" for a folder
    RenameOptions options;
    const char* mask;                // "" for the whole folder
    std::vector<std::string> after;  // the folder's names afterwards
    std::vector<std::string> errors; // the reasons of the Error lines, in any order
    NameSet exclude = {};            // names the run leaves out
  } cases[] = {
      {"the recorder's trio, the cut after 」", {rec + ".ts", rec + ".ts.err", rec + ".ts.program.txt"}, With(cut), "",
       {tidy + ".ts", tidy + ".ts.err", tidy + ".ts.program.txt"}, {}},
      {"... the extension lower-cased", {rec + ".TS", rec + ".TS.ERR", rec + ".TS.program.TXT"}, RenameOptions{}, "",
       {tidy + "[字].ts", tidy + "[字].ts.err", tidy + "[字].ts.program.txt"}, {}},
      {"... the extension changed by a row", {rec + ".ts", rec + ".ts.err", rec + ".ts.program.txt"}, With(ts), "",
       {tidy + "[字].m2ts", tidy + "[字].m2ts.err", tidy + "[字].m2ts.program.txt"}, {}},
      {"... the cut and the row", {rec + ".TS", rec + ".TS.err"}, With(cutAndTs), "",
       {tidy + ".m2ts", tidy + ".m2ts.err"}, {}},
      {"a recording that is refused keeps its companions", {"A｢1｣.ts", "A｢1｣.ts.err", "A「1」.ts"}, RenameOptions{}, "",
       {"A「1」.ts", "A｢1｣.ts", "A｢1｣.ts.err"}, {"同じ名前が既にあります", "本体のファイルの名前が変わらなかったので、そのままにしました"}},
      {"... also when refused before it was tried", {"｢」.ts", "｢」.ts.err"}, With([](RenameOptions& o) { o.DeleteKakko = true; }), "",
       {"｢」.ts", "｢」.ts.err"}, {"拡張子だけの名前になります", "本体のファイルの名前が変わらなかったので、そのままにしました"}},
      {"a recording that keeps its name", {"Plain.ts", "Plain.ts.ERR"}, RenameOptions{}, "", {"Plain.ts", "Plain.ts.err"}, {}},
      {"a companion whose new name is taken", {"X.MP4", "X.MP4.err", "X.mp4.err"}, RenameOptions{}, "",
       {"X.MP4.err", "X.mp4", "X.mp4.err"}, {"同じ名前が既にあります"}},
      {"upper case all through", {"X.TS", "X.TS.ERR"}, RenameOptions{}, "", {"X.ts", "X.ts.err"}, {}},
      // Where the file system tells case apart (a case-insensitive volume:
      // the exFAT tests), these are two names.
      {"the shared part in another case", {"X.ts", "X.TS.ERR"}, RenameOptions{}, "", {"X.TS.err", "X.ts"}, {}},
      // A name that ends in a dot has no extension: no family, each name
      // gets the rules on its own.
      {"a name ending in a dot", {"A｢1｣.", "A｢1｣..err"}, With([](RenameOptions& o) { o.ReplaceList = {{"err", "log"}}; }),
       "", {"A「1」.", "A「1」..log"}, {}},
      {"a companion of a companion", {"X｢1｣.TS", "X｢1｣.TS.mp4", "X｢1｣.TS.mp4.ASS", "X｢1｣.TS.ERR"}, RenameOptions{}, "",
       {"X「1」.ts", "X「1」.ts.err", "X「1」.ts.mp4", "X「1」.ts.mp4.ass"}, {}},
      {"a folder is no recording", {"X.TS/", "X.TS.ERR"}, RenameOptions{}, "", {"X.TS.err", "X.ts"}, {}},
      {"a mask takes the recording, and its companion follows", {"A｢1｣.ts", "A｢1｣.ts.err", "B.TXT"}, RenameOptions{},
       "*.ts", {"A「1」.ts", "A「1」.ts.err", "B.TXT"}, {}},
      {"a companion chosen alone stays", {"A｢1｣.ts", "A｢1｣.ts.err"}, RenameOptions{}, "*.err", {"A｢1｣.ts", "A｢1｣.ts.err"}, {}},
      {"a file that only looks like a companion", {"X.ts.err", "X", "Y.ts.ERR"}, RenameOptions{}, "",
       {"X", "X.ts.err", "Y.ts.err"}, {}},
      {"without the option, each name on its own", {rec + ".ts", rec + ".ts.err", rec + ".ts.program.txt"},
       With([](RenameOptions& o) { o.DeleteAfterKakko = true; o.Companions = false; }), "",
       {tidy + ".err", tidy + ".ts", tidy + ".txt"}, {}},
      {"a recording left out keeps its companions with it", {"A｢1｣.ts", "A｢1｣.ts.err", "B｢2｣.TS", "B｢2｣.TS.err"},
       RenameOptions{}, "", {"A｢1｣.ts", "A｢1｣.ts.err", "B「2」.ts", "B「2」.ts.err"}, {}, {"A｢1｣.ts"}},
      {"a companion left out on its own stays", {"A｢1｣.ts", "A｢1｣.ts.err"}, RenameOptions{}, "",
       {"A「1」.ts", "A｢1｣.ts.err"}, {}, {"A｢1｣.ts.err"}},
      {"an entry left out keeps its name for the others", {"one.ts", "two.ts"},
       With([](RenameOptions& o) { o.ReplaceList = {{"two", "three"}, {"one", "two"}}; }), "", {"one.ts", "two.ts"},
       {"同じ名前が既にあります"}, {"two.ts"}},
      {"a name left out that the folder lacks changes nothing", {"X.TS"}, RenameOptions{}, "", {"X.ts"}, {},
       {"x.TS", "X.ts"}},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    for (const std::string& f : c.files) f.ends_with('/') ? dir.Folder(f.substr(0, f.size() - 1)) : dir.File(f, f);
    const std::string text = *c.mask ? dir / c.mask : dir.Path();
    const NameSet* exclude = c.exclude.empty() ? nullptr : &c.exclude;
    const RenameOutcome preview = PreviewRename(text, c.options, {}, nullptr, exclude);
    RunResult run;
    run.outcome = RunRename(text, c.options, {run.undoOld, run.undoNew, run.undoIds}, {}, nullptr, nullptr, exclude);
    std::vector<std::string> previewLog;
    for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
    EXPECT_EQ(previewLog, run.Log()) << c.what;
    EXPECT_EQ(preview.Excluded, run.outcome.Excluded) << c.what;
    std::vector<std::string> after = c.after;
    std::sort(after.begin(), after.end());
    EXPECT_EQ(dir.Names(), after) << c.what;
    std::vector<std::string> errors, expected = c.errors;
    for (const auto& line : run.outcome.Lines)
      if (!line.Ok) errors.push_back(RefusalText(line.Why));
    std::sort(errors.begin(), errors.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(errors, expected) << c.what;
    (void)Undo(run);
    std::vector<std::string> before = c.files;
    for (std::string& f : before)
      if (f.ends_with('/')) f.pop_back();
    std::sort(before.begin(), before.end());
    EXPECT_EQ(dir.Names(), before) << c.what << ": after the undo";
  }
}

// A recorder's folder as it really fills: recordings with their error
// counts and descriptions, some encoded with subtitles beside, two whose
// tidy names meet, a series folder, one recording left out. The preview
// says what the run does, and the history's undo gives every name back.
TEST(Companions, PreviewEqualsTheRunAndTheHistoryUndoesIt) {
  TempFolder dir;
  TempFolder history("quor-history");
  std::vector<std::string> names;
  for (int i = 1; i <= 30; ++i) {
    const std::string ep = std::to_string(i < 10 ? 0 : i / 10) + std::to_string(i % 10);
    const std::string rec = "星空探偵団 第" + ep + "話｢夜" + std::to_string(i) + "｣[字][再].TS";
    names.insert(names.end(), {rec, rec + ".err", rec + ".program.txt"});
    if (i % 4 == 0) names.insert(names.end(), {rec + ".mp4", rec + ".mp4.ASS"});
  }
  // Two recordings of one episode: the second is refused, and so are its companions.
  names.insert(names.end(), {"星空探偵団 第01話｢夜1｣[字].TS", "星空探偵団 第01話｢夜1｣[字].TS.err",
                             "星空探偵団 第01話｢夜1｣[字].TS.program.txt"});
  dir.Folder("星空探偵団 第99話｢夜｣.TS");
  for (const std::string& name : names) dir.File(name, name);
  const std::vector<std::string> before = dir.Names();
  RenameOptions o;
  o.DeleteAfterKakko = true;
  const NameSet left = {"星空探偵団 第08話｢夜8｣[字][再].TS"};
  const RenameOutcome preview = PreviewRename(dir.Path(), o, {}, nullptr, &left);
  std::vector<std::string> oldPaths, newPaths;
  std::vector<EntryId> ids;
  JournalWriter journal(history.Path(), RunKind::Rename, dir.Path());
  const RenameOutcome run = RunRename(dir.Path(), o, {oldPaths, newPaths, ids}, {}, &journal, nullptr, &left);
  std::vector<std::string> previewLog, runLog;
  for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
  for (const auto& line : run.Lines) runLog.push_back(FormatLine(line));
  EXPECT_EQ(previewLog, runLog);
  EXPECT_TRUE(dir.Has("星空探偵団 第04話「夜4」.ts.mp4.ass"));
  EXPECT_TRUE(dir.Has("星空探偵団 第07話「夜7」.ts.program.txt"));
  EXPECT_EQ(ErrorCount(run.Lines), 3u) << "the second recording of episode 1 and its companions";
  EXPECT_EQ(run.Excluded, 5u) << "episode 8 and its four companions";
  EXPECT_TRUE(dir.Has("星空探偵団 第08話｢夜8｣[字][再].TS.mp4.ASS"));
  EXPECT_EQ(oldPaths.size(), run.Lines.size() - 3) << "nothing of episode 8 is on the undo list";
  UndoPlan plan = PlanUndo(history.Path(), journal.Id());
  ASSERT_EQ(plan.Problem, "");
  (void)UndoRecordedRun(history.Path(), plan);
  EXPECT_EQ(dir.Names(), before);
}


// A file that a recorder writes after its recording was renamed follows the
// recording by the name the history says it had, in every run, as long as
// the recording still bears its new name and is the entry the run renamed.
TEST(Companions, FollowTheirRecordingWhenTheyComeLate) {
  const std::string rec = "番組 第01話｢タイトル｣[字].TS";
  const std::string tidy = "番組 第01話「タイトル」";
  const std::string followed = "\t本体 " + tidy + ".ts に合わせました";
  using Step = void (*)(const TempFolder& dir, const std::string& history, const std::string& run);
  const Step none = [](const TempFolder&, const std::string&, const std::string&) {};
  const struct {
    const char* what;
    std::vector<std::string> late;  // written after the first run
    Step between;                   // after the first run, before the late files
    bool alone;                     // the second run takes the late files by name, as a hook hands them over
    bool companions;
    std::vector<std::string> after;
    std::vector<std::string> lines;  // of the second run, in any order
  } cases[] = {
      {"a late file follows its recording", {rec + ".err"}, none, false, true,
       {tidy + ".ts", tidy + ".ts.err"}, {"Rename\t" + tidy + ".ts.err\t←\t" + rec + ".err" + followed}},
      {"... handed over alone", {rec + ".err", rec + ".program.txt"}, none, true, true,
       {tidy + ".ts", tidy + ".ts.err", tidy + ".ts.program.txt"},
       {"Rename\t" + tidy + ".ts.err\t←\t" + rec + ".err" + followed,
        "Rename\t" + tidy + ".ts.program.txt\t←\t" + rec + ".program.txt" + followed}},
      {"... and what follows it", {rec + ".MP4", rec + ".MP4.ASS"}, none, false, true,
       {tidy + ".ts", tidy + ".ts.mp4", tidy + ".ts.mp4.ass"},
       {"Rename\t" + tidy + ".ts.mp4\t←\t" + rec + ".MP4" + followed,
        "Rename\t" + tidy + ".ts.mp4.ass\t←\t" + rec + ".MP4.ASS"}},
      {"another file bears the recording's new name",
       {rec + ".err"},
       [](const TempFolder& dir, const std::string&, const std::string&) {
         std::filesystem::rename(dir / "番組 第01話「タイトル」.ts", dir / "moved.ts");
         dir.File("番組 第01話「タイトル」.ts", "another");
       },
       false, true, {"moved.ts", tidy + ".err", tidy + ".ts"}, {"Rename\t" + tidy + ".err\t←\t" + rec + ".err"}},
      {"the recording was renamed again since",
       {rec + ".err"},
       [](const TempFolder& dir, const std::string&, const std::string&) {
         std::filesystem::rename(dir / "番組 第01話「タイトル」.ts", dir / "moved.ts");
       },
       false, true, {"moved.ts", tidy + ".err"}, {"Rename\t" + tidy + ".err\t←\t" + rec + ".err"}},
      {"a recorded run renamed the recording since: it follows it there",
       {rec + ".err"},
       [](const TempFolder& dir, const std::string& history, const std::string&) {
         RenameOptions again;
         again.ReplaceList = {{"番組", "Show"}};
         std::vector<std::string> oldPaths, newPaths;
         std::vector<EntryId> ids;
         JournalWriter journal(history, RunKind::Rename, dir.Path());
         (void)RunRename(dir.Path(), again, {oldPaths, newPaths, ids}, {}, &journal);
       },
       false, true, {"Show 第01話「タイトル」.ts", "Show 第01話「タイトル」.ts.err"},
       {"Rename\tShow 第01話「タイトル」.ts.err\t←\t" + rec + ".err\t本体 Show 第01話「タイトル」.ts に合わせました"}},
      {"the run was undone: an ordinary companion again",
       {rec + ".err"},
       [](const TempFolder&, const std::string& history, const std::string& run) {
         UndoPlan plan = PlanUndo(history, run);
         (void)UndoRecordedRun(history, plan);
       },
       false, true, {tidy + ".ts", tidy + ".ts.err"},
       {"Rename\t" + tidy + ".ts\t←\t" + rec, "Rename\t" + tidy + ".ts.err\t←\t" + rec + ".err"}},
      {"without the option, its own name", {rec + ".err"}, none, false, false, {tidy + ".err", tidy + ".ts"},
       {"Rename\t" + tidy + ".err\t←\t" + rec + ".err"}},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    TempFolder history("quor-history");
    dir.File(rec, "recording");
    RenameOptions o;
    o.DeleteAfterKakko = true;
    o.Companions = c.companions;
    std::vector<std::string> oldPaths, newPaths;
    std::vector<EntryId> ids;
    JournalWriter first(history.Path(), RunKind::Rename, dir.Path());
    (void)RunRename(dir.Path(), o, {oldPaths, newPaths, ids}, {}, &first);
    // Read once before what happens between, as a watch or the preview reads it.
    const EarlierRenamesFn earlier = EarlierRenamesFrom(history.Path());
    (void)earlier(dir.Path());
    c.between(dir, history.Path(), first.Id());
    NameSet only;
    for (const std::string& name : c.late) {
      dir.File(name, name);
      only.insert(name);
    }
    const NameSet* names = c.alone ? &only : nullptr;
    const RenameOutcome preview = PreviewRename(dir.Path(), o, {}, names, nullptr, earlier);
    JournalWriter second(history.Path(), RunKind::Rename, dir.Path());
    const RenameOutcome run = RunRename(dir.Path(), o, {oldPaths, newPaths, ids}, {}, &second, names, nullptr, earlier);
    std::vector<std::string> previewLog, runLog;
    for (const auto& line : preview.Lines) previewLog.push_back(FormatLine(line));
    for (const auto& line : run.Lines) runLog.push_back(FormatLine(line));
    EXPECT_EQ(previewLog, runLog) << c.what << ": the preview";
    std::vector<std::string> lines = c.lines;
    std::sort(lines.begin(), lines.end());
    std::sort(runLog.begin(), runLog.end());
    EXPECT_EQ(runLog, lines) << c.what;
    std::vector<std::string> after = c.after;
    std::sort(after.begin(), after.end());
    EXPECT_EQ(dir.Names(), after) << c.what;
    // The second run is undone like any other: the late files get their names back.
    UndoPlan plan = PlanUndo(history.Path(), second.Id());
    ASSERT_EQ(plan.Problem, "") << c.what;
    (void)UndoRecordedRun(history.Path(), plan);
    for (const std::string& name : c.late) EXPECT_TRUE(dir.Has(name)) << c.what << ": " << name << " after the undo";
  }
}

}  // namespace
}  // namespace quor
