#include "engine/rename/RenameRun.h"

#include <unistd.h>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "tests/TempFolder.h"

namespace quor {
namespace {

using test::TempFolder;

struct RunResult {
  std::vector<std::string> undoOld, undoNew;
  RenameOutcome outcome;
  std::vector<std::string> Log() const {
    std::vector<std::string> log;
    for (const auto& line : outcome.Lines) log.push_back(FormatLine(line));
    return log;
  }
};

RunResult Rename(const std::string& folderText, const RenameOptions& options = {}, const ProgressFn& progress = {}) {
  RunResult run;
  run.outcome = RunRename(folderText, options, {run.undoOld, run.undoNew}, progress);
  return run;
}

std::vector<std::string> Undo(RunResult& run) {
  std::vector<std::string> log;
  for (const auto& line : RunUndo({run.undoOld, run.undoNew}).Lines) log.push_back(FormatLine(line));
  return log;
}

RenameOptions Pairs(std::vector<ReplacePair> pairs, RenameOptions o = {}) {
  o.ReplaceList = std::move(pairs);
  return o;
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
      {"trailing spaces cut from the path, kept in the line", "b.txt", Pairs({{"b.txt", "c.txt  "}}),
       "Rename\tc.txt  \t←\tb.txt", "c.txt"},
      {"leading spaces of a name are kept", " lead.txt", {}, "", " lead.txt"},
      {"only brackets", "「」", Pairs({}, [] { RenameOptions o; o.DeleteKakko = true; return o; }()),
       "Error\t\t←\t「」", "「」"},
      {"blanks only", "x", Pairs({{"x", "   "}}), "Error\t   \t←\tx", "x"},
      {"separator in new name", "a.txt", Pairs({{"a", "../a"}}), "Error\t../a.txt\t←\ta.txt", "a.txt"},
      {"dot", "dotted", Pairs({{"dotted", "."}}), "Error\t.\t←\tdotted", "dotted"},
      {"dot dot", "dd", Pairs({{"dd", ".."}}), "Error\t..\t←\tdd", "dd"},
      {"tab and newline shown as symbols", "t\tx\ny.TS", {}, "Rename\tt␉x␊y.ts\t←\tt␉x␊y.TS", "t\tx\ny.ts"},
      {"DEL shown as a symbol", "d\x7F.TS", {}, "Rename\td␡.ts\t←\td␡.TS", "d\x7F.ts"},
      {"spaces stay spaces beside a control", "a b\tc.TS", {}, "Rename\ta b␉c.ts\t←\ta b␉c.TS",
       "a b\tc.ts"},
      {"not valid in any code page", "\xFF\xFE.MP4", {}, "Error\t\xEF\xBF\xBD\xEF\xBF\xBD.mp4\t←\t\xEF\xBF\xBD\xEF\xBF\xBD.MP4",
       "\xFF\xFE.MP4"},
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
  EXPECT_TRUE(Rename(dir / "missing").Log().empty());
}

TEST(RenameRun, EmptyFolderTextRenamesNothing) {
  TempFolder dir;
  dir.File("c.MP4");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const RunResult run = Rename("");
  std::filesystem::current_path(old);
  EXPECT_TRUE(run.Log().empty());
  EXPECT_EQ(run.outcome.Listed, 0u);
  EXPECT_TRUE(dir.Has("c.MP4"));
}

TEST(RenameRun, FolderPartIsNeverTrimmed) {
  TempFolder dir;
  dir.Folder(" d");
  dir.Folder("d");
  dir.File(" d/e.MP4", "spaced");
  dir.File("d/e.MP4", "plain");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const RunResult run = Rename(" d");
  std::filesystem::current_path(old);
  EXPECT_EQ(run.undoNew, std::vector<std::string>{" d/e.mp4"});
  EXPECT_EQ(dir.Read(" d/e.mp4"), "spaced");
  EXPECT_EQ(dir.Read("d/e.MP4"), "plain");
}

TEST(RenameRun, RunEmptiesTheUndoListFirst) {
  TempFolder dir;
  dir.File("a.MP4");
  RunResult run;
  run.undoOld = {"stale"};
  run.undoNew = {"stale"};
  run.outcome = RunRename(dir / "missing", {}, {run.undoOld, run.undoNew});
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
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatLine(UndoLine{true, c.path, c.path, {}}), "Undo\t" + c.shown + "\t←\t" + c.shown) << c.what;
}

TEST(Undo, SkipsWhatIsGoneAndReportsWhatIsRefused) {
  TempFolder dir;
  dir.File("a.MP4", "a");
  dir.File("b.MP4", "b");
  dir.File("c.MP4", "c");
  RunResult run = Rename(dir.Path());
  ASSERT_EQ(run.undoOld.size(), 3u);
  std::filesystem::remove(dir / "a.mp4");
  dir.File("b.MP4", "new file in the way");
  const auto log = Undo(run);
  ASSERT_EQ(log.size(), 2u) << "the deleted file gets no line";
  for (const auto& line : log) {
    if (line.find("b.MP4") != std::string::npos) {
      EXPECT_EQ(line.rfind("Error\t", 0), 0u) << line;
    } else {
      EXPECT_EQ(line.rfind("Undo\t", 0), 0u) << line;
    }
  }
  EXPECT_EQ(dir.Read("c.MP4"), "c");
  EXPECT_EQ(dir.Read("b.mp4"), "b") << "the refused entry keeps its new name";
  EXPECT_TRUE(Undo(run).empty()) << "a second undo finds an empty list";
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
  auto undone = RunUndo({run.undoOld, run.undoNew}, [](std::size_t done, std::size_t) { return done < 1; });
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
  undone = RunUndo({run.undoOld, run.undoNew}, untilLast);
  EXPECT_FALSE(undone.Cancelled);
  EXPECT_EQ(undone.Lines.size(), 10u);
  EXPECT_TRUE(run.undoOld.empty());
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
  RunResult run = Rename(dir.Path(), Pairs({{"[字]", ""}, {"[hd]", ""}}));
  EXPECT_GT(run.undoOld.size(), 100u);
  EXPECT_EQ(snapshot(), contents);
  (void)Undo(run);
  EXPECT_EQ(snapshot(), contents);
}

}  // namespace
}  // namespace quor
