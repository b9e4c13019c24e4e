// quor-rename run as a process, as a shell or a recorder runs it.

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cerrno>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/history/History.h"
#include "engine/history/Recovery.h"
#include "engine/record/Journal.h"
#include "system/FolderLock.h"
#include "system/RecordFile.h"
#include "engine/rename/RenameRun.h"
#include "tests/TempFolder.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "tests/cli/RandomHistory.h"
#include "tests/cli/RunCli.h"
#include "text/Escape.h"

namespace quor {
namespace {

using test::CliResult;
using test::TempFolder;
using Lines = std::vector<std::string>;

class Cli : public ::testing::Test {
 protected:
  // No display, a home of its own: nothing of the user's is read or written.
  std::map<std::string, std::string> Env() const {
    return {{"HOME", home_.Path()}, {"XDG_CONFIG_HOME", home_ / "config"}, {"XDG_STATE_HOME", home_ / "state"},
            {"PATH", "/usr/bin:/bin"}};
  }
  CliResult Run(const Lines& args, const std::string& cwd = {}) const { return test::RunCli(args, Env(), cwd); }
  std::string History() const { return home_ / "state/quor-renamer/history"; }
  // A run of the window's engine, recorded in the same history.
  std::string WindowRun(const std::string& folder) const {
    std::vector<std::string> oldPaths, newPaths;
    std::vector<EntryId> ids;
    JournalWriter journal(History(), RunKind::Rename, folder);
    (void)RunRename(folder, {}, {oldPaths, newPaths, ids}, {}, &journal);
    return journal.Id();
  }

  TempFolder home_{"quor-cli-home"};
};

// "{d}" in an argument stands for the folder of the case.
Lines WithFolder(Lines args, const std::string& folder) {
  for (std::string& a : args)
    for (std::size_t at; (at = a.find("{d}")) != std::string::npos;) a.replace(at, 3, folder);
  return args;
}

// A record of a run killed midway, as its writer leaves it (version 1, which
// every version reads): "R" lines for each pair, then `rest`.
std::string KilledRecord(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& pairs,
                         const std::string& rest = {}) {
  std::string text = "quor-renamer history 1\nbegin\trename\t1700000000\t1\t" + EscapeLineValue(folder) + "\n";
  for (std::size_t i = 0; i < pairs.size(); ++i)
    text += "R\t" + std::to_string(i) + "\t0\t" + EscapeLineValue(pairs[i].first) + "\t" +
            EscapeLineValue(pairs[i].second) + "\n";
  return text + rest;
}

// A record of the present version of a rename run in `folder`: its head,
// then `body`.
std::string Record2(const std::string& folder, const std::string& body, const std::string& start = "1700000000") {
  return "quor-renamer history 2\nbegin\trename\t" + start + "\t1\t" + EscapeLineValue(folder) + "\nfolder\t" +
         EscapeLineValue(folder) + "\n" + body;
}

// The intent to rename `from` to `to`, with the identity that the entry at
// `now` has.
std::string Intent(std::size_t seq, const std::string& from, const std::string& to, const std::string& now) {
  EntryId id;
  EXPECT_TRUE(IdentityOf(now, id)) << now;
  std::string text = "R\t" + std::to_string(seq) + "\t";
  AppendIdentity(text, id);
  return text + "\t" + EscapeLineValue(from) + "\t" + EscapeLineValue(to) + "\n";
}

TEST_F(Cli, RenamesWithTheWindowsLines) {
  const struct {
    const char* what;
    Lines files;
    Lines args;
    const char* cwd;  // "" or a folder inside the case's folder, or "." for the folder itself
    Lines lines;      // in listing order where there is more than one; sorted here
    int status;
    Lines after;
  } cases[] = {
      {"a folder: collisions, TAB, invalid UTF-8",
       {"第01話｢夜｣[字].MP4", "x.MP4", "x.mp4", "t\tab.TS", "bad\xFF.MP4"},
       {"--defaults", "{d}"},
       "",
       {"Error\tbad\xEF\xBF\xBD.mp4\t←\tbad\xEF\xBF\xBD.MP4\t文字コードが不明な名前です",
        "Error\tx.mp4\t←\tx.MP4\t同じ名前が既にあります", "Rename\tt␉ab.ts\t←\tt␉ab.TS",
        "Rename\t第01話「夜」[字].mp4\t←\t第01話｢夜｣[字].MP4"},
       1,
       {"bad\xFF.MP4", "t\tab.ts", "x.MP4", "x.mp4", "第01話「夜」[字].mp4"}},
      {"a single file: only that entry", {"a.MP4", "b.MP4"}, {"--defaults", "{d}/a.MP4"}, "",
       {"Rename\ta.mp4\t←\ta.MP4"}, 0, {"a.mp4", "b.MP4"}},
      {"single files of one folder, one given twice", {"a.MP4", "b.MP4", "c.MP4"},
       {"--defaults", "{d}/c.MP4", "{d}/a.MP4", "{d}/c.MP4"}, "",
       {"Rename\ta.mp4\t←\ta.MP4", "Rename\tc.mp4\t←\tc.MP4"}, 0, {"a.mp4", "b.MP4", "c.mp4"}},
      {"a relative file", {"sub/", "sub/a.MP4", "b.MP4"}, {"--defaults", "a.MP4"}, "sub",
       {"Rename\ta.mp4\t←\ta.MP4"}, 0, {"b.MP4", "sub", "sub/a.mp4"}},
      {"a relative folder through ..", {"sub/", "b.MP4"}, {"--defaults", "../"}, "sub",
       {"Rename\tb.mp4\t←\tb.MP4"}, 0, {"b.mp4", "sub"}},
      {"the current folder", {"b.MP4"}, {"--defaults", "."}, ".", {"Rename\tb.mp4\t←\tb.MP4"}, 0, {"b.mp4"}},
      {"a mask, letters in any case", {"a.TS", "b.MP4"}, {"--defaults", "{d}/*.ts"}, "",
       {"Rename\ta.ts\t←\ta.TS"}, 0, {"a.ts", "b.MP4"}},
      {"a folder itself with -d", {"s｢1｣/", "s｢1｣/x.MP4"}, {"--defaults", "-d", "{d}/s｢1｣/"}, "",
       {"Rename\ts「1」\t←\ts｢1｣"}, 0, {"s「1」", "s「1」/x.MP4"}},
      {"quiet: Error lines only", {"x.MP4", "x.mp4", "y.MP4"}, {"--defaults", "-q", "{d}"}, "",
       {"Error\tx.mp4\t←\tx.MP4\t同じ名前が既にあります"}, 1, {"x.MP4", "x.mp4", "y.mp4"}},
      {"options and pairs", {"第2話｢朝｣[字].MP4"},
       {"--defaults", "-o", "LowerExt=0", "--option=WaSpaceKakko=true", "-oDeleteAfterKakko=1", "-r", "朝", "昼",
        "--replace", "昼", "夕", "{d}"},
       "",
       {"Rename\t第2話 「夕」.MP4\t←\t第2話｢朝｣[字].MP4"}, 0, {"第2話 「夕」.MP4"}},
      // Had -e gone before -r, its pattern would have found nothing.
      {"regex and plain rows in the order given", {"星空 #3.MP4"},
       {"--defaults", "-r", "#", "＃", "-e", "＃(\\d)", "第$1話", "--regex", "^", "[新]", "{d}"}, "",
       {"Rename\t[新]星空 第3話.mp4\t←\t星空 #3.MP4"}, 0, {"[新]星空 第3話.mp4"}},
      {"the width rule", {"ＳＰ０１.MP4"}, {"--defaults", "-o", "AlnumZenToHan=1", "{d}"}, "",
       {"Rename\tSP01.mp4\t←\tＳＰ０１.MP4"}, 0, {"SP01.mp4"}},
      {"a pattern that reaches its bound", {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.TS", "b.TS"},
       {"--defaults", "-e", "(a+)+$", "", "{d}"}, "",
       {"Error\taaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.TS\t←\taaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.TS\t"
        "置換リスト 1 行目の正規表現の処理が上限に達しました",
        "Rename\tb.ts\t←\tb.TS"},
       1, {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!.TS", "b.ts"}},
      {"nothing to do", {"a.mp4"}, {"--defaults", "{d}"}, "", {}, 0, {"a.mp4"}},
      {"an empty mask", {"a.MP4"}, {"--defaults", "{d}/*.ts"}, "", {}, 0, {"a.MP4"}},
      {"a folder itself, named with a trailing /.", {"s｢1｣/"}, {"--defaults", "-d", "{d}/s｢1｣/."}, "",
       {"Rename\ts「1」\t←\ts｢1｣"}, 0, {"s「1」"}},
      {"a mask beside a file that is literally so named", {"*.MP4", "a.MP4"}, {"--defaults", "{d}/*.MP4"}, "",
       {"Rename\t*.mp4\t←\t*.MP4", "Rename\ta.mp4\t←\ta.MP4"}, 0, {"*.mp4", "a.mp4"}},
      {"the entry named -", {"-"}, {"--defaults", "-r", "-", "x", "-"}, ".", {"Rename\tx\t←\t-"}, 0, {"x"}},
      {"an entry that the folder's run renamed away first", {"sub.MP4"}, {"--defaults", "{d}", "{d}/sub.MP4"}, "",
       {"Rename\tsub.mp4\t←\tsub.MP4"}, 2, {"sub.mp4"}},
      {"a trailing blank is cut, from the line too", {"aX"}, {"--defaults", "-r", "X", " ", "{d}"}, "",
       {"Rename\ta\t←\taX"}, 0, {"a"}},
      // No rule gave the companions another name.
      {"companions of a recording refused before it was tried", {"x｢1｣.ts", "x｢1｣.ts.err"},
       {"--defaults", "-r", "x", "x/", "{d}"}, "",
       {"Error\tx/「1」.ts\t←\tx｢1｣.ts\t名前に「/」は使えません",
        "Error\tx｢1｣.ts.err\t←\tx｢1｣.ts.err\t本体のファイルの名前が変わらなかったので、そのままにしました"},
       1, {"x｢1｣.ts", "x｢1｣.ts.err"}},
      {"... and when it was tried", {"x｢1｣.ts", "x｢1｣.ts.err", "x「1」.ts"}, {"--defaults", "{d}/x｢1｣.ts"}, "",
       {"Error\tx「1」.ts\t←\tx｢1｣.ts\t同じ名前が既にあります",
        "Error\tx｢1｣.ts.err\t←\tx｢1｣.ts.err\t本体のファイルの名前が変わらなかったので、そのままにしました"},
       1, {"x「1」.ts", "x｢1｣.ts", "x｢1｣.ts.err"}},
      {"a recording that reaches the bound keeps its companion, each with its line",
       {std::string(40, 'a') + "!.ts", std::string(40, 'a') + "!.ts.err"}, {"--defaults", "-e", "(a+)+$", "", "{d}"}, "",
       {"Error\t" + std::string(40, 'a') + "!.ts\t←\t" + std::string(40, 'a') + "!.ts\t"
        "置換リスト 1 行目の正規表現の処理が上限に達しました",
        "Error\t" + std::string(40, 'a') + "!.ts.err\t←\t" + std::string(40, 'a') + "!.ts.err\t"
        "本体のファイルの名前が変わらなかったので、そのままにしました"},
       1, {std::string(40, 'a') + "!.ts", std::string(40, 'a') + "!.ts.err"}},
      {"names that would break a line elsewhere", {"a\xE2\x80\xA8" "b.MP4", "c\xC2\x85.MP4"}, {"--defaults", "{d}"}, "",
       {"Rename\ta<U+2028>b.mp4\t←\ta<U+2028>b.MP4", "Rename\tc<U+0085>.mp4\t←\tc<U+0085>.MP4"}, 0,
       {"a\xE2\x80\xA8" "b.mp4", "c\xC2\x85.mp4"}},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    for (const std::string& f : c.files) f.ends_with('/') ? dir.Folder(f) : dir.File(f);
    const std::string cwd = *c.cwd == 0 ? std::string() : std::string(c.cwd) == "." ? dir.Path() : dir / c.cwd;
    const CliResult r = Run(WithFolder(c.args, dir.Path()), cwd);
    Lines lines = r.Lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, c.lines) << c.what << "\n" << r.Err;
    EXPECT_EQ(r.Status, c.status) << c.what << "\n" << r.Err;
    Lines after;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
      after.push_back(e.path().string().substr(dir.Path().size() + 1));
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, c.after) << c.what;
  }
}

// The lines and the status of a run, told beforehand, and nothing touched:
// the dry run, then the run, as two processes on the same tree.
TEST_F(Cli, DryRunPrintsTheRunsLinesAndRenamesNothing) {
  const Lines cases[] = {{"-r", "a", "x", "{d}"}, {"-r", "a", "x", "{d}/x.MP4"}, {"-r", "a", "x", "{d}/*.MP4"},
                         // A later PATH sees what an earlier one renamed ...
                         {"-r", "a", "x", "{d}", "{d}/x.MP4"}, {"-r", "a", "x", "{d}/*.MP4", "{d}"},
                         {"-r", "a", "x", "{d}/x.MP4", "{d}/x.MP4"},
                         // ... its folder too, or a folder above it: gone.
                         {"{d}", "{d}/Show.DIR"}, {"{d}", "{d}/Show.DIR/a.MP4"},
                         {"-d", "-r", "sub", "SUBX", "{d}/sub", "{d}/sub/a.MP4"},
                         {"-d", "-r", "sub", "SUBX", "{d}/sub", "{d}/sub/deep"},
                         // A folder that takes the name of one renamed away.
                         {"-r", "sub", "old", "-r", "new", "sub", "{d}/s*", "{d}/n*", "{d}/sub"},
                         {"-o", "Companions=0", "-r", "sub", "old", "-r", "new", "sub", "{d}/s*", "{d}/n*",
                          "{d}/sub/*.MP4"}};
  for (const Lines& options : cases) {
    std::string path;
    for (const std::string& o : options) path += o + " ";
    TempFolder dir;
    for (const char* f : {"x.MP4", "x.mp4", "第1話｢a｣.MP4", "a\nb.MP4", "Show.DIR/", "Show.DIR/a.MP4", "sub/",
                          "sub/a.MP4", "sub/deep/", "sub/deep/c.MP4", "new/", "new/b.MP4"})
      std::string_view(f).ends_with('/') ? dir.Folder(f) : dir.File(f);
    Lines args = {"--defaults"};
    args.insert(args.end(), options.begin(), options.end());
    args = WithFolder(args, dir.Path());
    Lines dryArgs = args;
    dryArgs.insert(dryArgs.begin(), "--dry-run");
    const std::size_t records = ListRuns(History()).size();
    const CliResult preview = Run(dryArgs);
    EXPECT_EQ(dir.Names(), (Lines{"Show.DIR", "a\nb.MP4", "new", "sub", "x.MP4", "x.mp4", "第1話｢a｣.MP4"})) << path;
    EXPECT_EQ(ListRuns(History()).size(), records) << path;
    const CliResult run = Run(args);
    EXPECT_FALSE(run.Out.empty()) << path;
    EXPECT_EQ(preview.Out, run.Out) << path;
    EXPECT_EQ(preview.Err, run.Err) << path;
    EXPECT_EQ(preview.Status, run.Status) << path << "\n" << preview.Err << run.Err;
  }
}

// A command line that makes no sense, or a PATH that is not there, renames
// nothing at all, not even the PATHs that are fine.
TEST_F(Cli, UsageErrorsRenameNothing) {
  TempFolder dir;
  dir.File("a.MP4");
  dir.Folder("locked");
  dir.Folder("a*");  // as a mask, it would take a.MP4 itself
  dir.File("unreadable.ini");
  dir.File("broken.ini", "[ReplaceList]\n1=a,b\n03=\"(a\",,re\n");
  dir.File("marked.ini", "[ReplaceList]\n1=a,b,RE2\n");
  ::chmod((dir / "locked").c_str(), 0);
  ::chmod((dir / "unreadable.ini").c_str(), 0);
  const bool root = geteuid() == 0;
  const struct {
    const char* what;
    Lines args;
  } cases[] = {
      {"no PATH", {"--defaults"}},
      {"an empty PATH, as an unset variable gives", {"--defaults", "{d}", ""}},
      {"a PATH that is not there", {"--defaults", "{d}", "{d}/gone.MP4"}},
      {"a mask in a folder that is not there", {"--defaults", "{d}", "{d}/gone/*.ts"}},
      {"an unknown option", {"--defaults", "--frobnicate", "{d}"}},
      {"an unknown short option", {"--defaults", "-x", "{d}"}},
      {"an unknown key", {"--defaults", "-o", "Lower=1", "{d}"}},
      {"a bad value", {"--defaults", "-o", "LowerExt=yes", "{d}"}},
      {"no value", {"--defaults", "-o", "LowerExt", "{d}"}},
      {"-o at the end", {"{d}", "-o"}},
      {"-r with one text", {"--defaults", "{d}", "-r", "a"}},
      {"-r with an empty text to find", {"--defaults", "-r", "", "b", "{d}"}},
      {"-e with one text", {"--defaults", "{d}", "-e", "a"}},
      {"-e with an empty pattern", {"--defaults", "-e", "", "b", "{d}"}},
      {"a pattern that does not compile", {"--defaults", "-r", "a", "b", "-e", "(a", "b", "{d}"}},
      {"a replacement that does not compile", {"--defaults", "-e", "(a)", "$2", "{d}"}},
      {"a pattern of the settings file that does not compile", {"--settings", "{d}/broken.ini", "{d}"}},
      {"a row of the settings file whose mark is not understood", {"--settings", "{d}/marked.ini", "{d}"}},
      {"a broken pattern with --dry-run", {"--defaults", "-n", "-e", "[a", "", "{d}"}},
      {"--settings and --defaults", {"--defaults", "--settings", "{d}/x.ini", "{d}"}},
      {"a named settings file that is not there", {"--settings", "{d}/gone.ini", "{d}"}},
      {"a settings file that is a folder", {"--settings", "{d}/locked", "{d}"}},
      {"a settings file without read permission", {"--settings", "{d}/unreadable.ini", "{d}"}},
      {"a folder without read permission", {"--defaults", "{d}", "{d}/locked"}},
      {"a folder whose name reads as a mask", {"--defaults", "{d}/a*"}},
      {"--dry-run with --undo", {"--undo", "--dry-run"}},
      {"two modes", {"--history", "--list", "{d}"}},
      {"--history with a PATH", {"--history", "{d}"}},
      {"--undo with two IDs", {"--undo", "1", "2"}},
      {"--history twice", {"--history", "--history"}},
      {"--undo twice", {"--undo", "--undo=20000101-000000-1"}},
      {"--list with a pair", {"--list", "--defaults", "-r", "a", "b", "{d}"}},
      {"--list with --dry-run", {"--list", "--defaults", "-n", "{d}"}},
      {"--list with --quiet", {"--list", "--defaults", "--quiet", "{d}"}},
      {"a file named as a folder", {"--defaults", "{d}/a.MP4/"}},
      {"--watch without a folder", {"--watch", "--defaults"}},
      {"--watch of a single file", {"--watch", "--defaults", "{d}/a.MP4"}},
      {"--watch with --dry-run", {"--watch", "--defaults", "-n", "{d}"}},
      {"--watch with -d", {"--watch", "--defaults", "-d", "{d}"}},
      {"--watch with a pattern that does not compile", {"--watch", "--defaults", "-e", "(a", "b", "{d}"}},
      {"--settle without --watch", {"--defaults", "--settle", "1", "{d}"}},
      {"--settle below zero", {"--watch", "--defaults", "--settle", "-1", "{d}"}},
      {"--settle that is no number", {"--watch", "--defaults", "--settle=1.2.3", "{d}"}},
      {"--poll of no time", {"--watch", "--defaults", "--poll", "0", "{d}"}},
  };
  for (const auto& c : cases) {
    const std::string what = c.what;
    if (root && (what.find("permission") != std::string::npos)) continue;  // root reads anything
    const CliResult r = Run(WithFolder(c.args, dir.Path()));
    EXPECT_EQ(r.Status, 2) << c.what;
    EXPECT_EQ(r.Out, "") << c.what;
    EXPECT_NE(r.Err, "") << c.what;
    EXPECT_TRUE(dir.Has("a.MP4")) << c.what;
  }
  ::chmod((dir / "locked").c_str(), 0700);

  // What is wrong with a pattern: which, where it came from (the file's row
  // by its key, as the file spells it), the offset in characters and the
  // compiler's words.
  const CliResult broken = Run(WithFolder({"--settings", "{d}/broken.ini", "-e", "(字|再", "", "{d}"}, dir.Path()));
  EXPECT_EQ(broken.Err,
            "quor-rename: pattern '(a' (key 03 in [ReplaceList] of the settings file), at offset 2: missing closing "
            "parenthesis\n"
            "quor-rename: pattern '(字|再' (-e), at offset 4: missing closing parenthesis\n");
  EXPECT_EQ(Run(WithFolder({"--settings", "{d}/marked.ini", "{d}"}, dir.Path())).Err,
            "quor-rename: replace row 'a' (key 1 in [ReplaceList] of the settings file): its third item 'RE2' is not "
            "understood (re marks a regular expression; a plain row has none)\n");
}

TEST_F(Cli, UndoWalksBackThroughTheRunsOfBothPrograms) {
  TempFolder a, b, c;
  a.File("a.MP4", "a");
  b.File("b.MP4", "b");
  c.File("c.MP4", "c");
  ASSERT_EQ(Run({"--defaults", b.Path()}).Status, 0);
  // The window's run right after: the newest, whichever process id it has.
  const std::string windowId = WindowRun(c.Path());
  ASSERT_EQ(Run({"--defaults", a.Path()}).Status, 0);

  const struct {
    const char* what;
    Lines args;
    const char* inTheWay;  // a file put in the way first
    Lines lines;
    int status;
  } steps[] = {
      {"the newest run, the command line's", {"--undo"}, "", {"Undo\t{a}/a.MP4\t←\t{a}/a.mp4"}, 0},
      {"then the window's, refused: a file in the way", {"--undo"}, "{c}/c.MP4",
       {"Error\t{c}/c.MP4\t←\t{c}/c.mp4\t同じ名前が既にあります"}, 1},
      {"the same run again once the way is clear", {"--undo"}, "", {"Undo\t{c}/c.MP4\t←\t{c}/c.mp4"}, 0},
      {"two real IDs: a usage error that undoes nothing", {"--undo", "{b-id}", "{a-id}"}, "", {}, 2},
      {"by its ID", {"--undo", "-q", "{b-id}"}, "", {}, 0},
      {"a run undone in full, by its ID", {"--undo", "{b-id}"}, "", {}, 0},
      {"nothing is left", {"--undo"}, "", {}, 0},
      {"an undo is not undone", {"--undo", "{undo-id}"}, "", {}, 2},
      {"no such run", {"--undo=20000101-000000-1"}, "", {}, 2},
  };
  std::string aId, bId;
  for (const RunSummary& run : ListRuns(History())) {
    if (run.Record.Folder == a.Path()) aId = run.Record.Id;
    if (run.Record.Folder == b.Path()) bId = run.Record.Id;
  }
  ASSERT_NE(bId, "");
  for (const auto& s : steps) {
    const auto fill = [&](std::string text) {
      for (const auto& [key, value] : std::map<std::string, std::string>{
               {"{a}", a.Path()}, {"{c}", c.Path()}, {"{a-id}", aId}, {"{b-id}", bId},
               {"{undo-id}", ListRuns(History())[0].Record.Id}})
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
      return text;
    };
    const std::string way = fill(s.inTheWay);
    if (!way.empty()) test::WriteFile(way, "in the way");
    Lines args, lines;
    for (const auto& x : s.args) args.push_back(fill(x));
    for (const auto& x : s.lines) lines.push_back(fill(x));
    const CliResult r = Run(args);
    EXPECT_EQ(r.Lines(), lines) << s.what << "\n" << r.Err;
    EXPECT_EQ(r.Status, s.status) << s.what << "\n" << r.Err;
    if (!way.empty()) std::filesystem::remove(way);
  }
  EXPECT_EQ(a.Read("a.MP4") + b.Read("b.MP4") + c.Read("c.MP4"), "abc");

  // Newest first: ID, date and time, folder, renamed, refused, state.
  const CliResult history = Run({"--history"});
  EXPECT_EQ(history.Status, 0);
  const Lines lines = history.Lines();
  ASSERT_EQ(lines.size(), 7u) << history.Out;
  const std::regex line(R"((\d{8}-\d{6}\S*)\t\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t(/\S+)\t(\d+)\t(\d+)\t(.+))");
  std::vector<std::string> states;
  for (const std::string& l : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    states.push_back(m[2].str() + " " + m[3].str() + " " + m[4].str() + " " +
                     std::regex_replace(m[5].str(), std::regex(R"(\d{8}-\S+)"), "ID"));
  }
  EXPECT_EQ(states, (Lines{b.Path() + " 1 0 undo of ID", c.Path() + " 1 0 undo of ID", c.Path() + " 0 1 undo of ID",
                           a.Path() + " 1 0 undo of ID", a.Path() + " 1 0 undone", c.Path() + " 1 0 undone",
                           b.Path() + " 1 0 undone"}));
  EXPECT_NE(std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(windowId); }),
            lines.end());
}

// Ctrl+C in the middle of a large folder: the entry in progress is finished,
// every rename done has its line, and the record is closed.
TEST_F(Cli, CtrlCStopsAfterTheEntryInProgress) {
  TempFolder dir;
  constexpr int kFiles = 40000;
  for (int i = 0; i < kFiles; ++i) dir.File("ep" + std::to_string(i) + ".MP4");
  test::CliProcess cli({"--defaults", dir.Path()}, Env());
  // The first batch is on record before the first rename.
  for (int i = 0; i < 20000 && (!std::filesystem::exists(History()) || std::filesystem::is_empty(History())); ++i)
    usleep(100);
  cli.Signal(SIGINT);
  const CliResult r = cli.Wait();
  ASSERT_EQ(r.Status, 130) << "the run ended before the signal came; " << r.Err;
  const std::vector<RunSummary> runs = ListRuns(History());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Now, RunSummary::State::Cancelled);
  const Lines lines = r.Lines();
  EXPECT_EQ(runs[0].Record.Renamed, lines.size());
  EXPECT_GT(lines.size(), 0u);
  EXPECT_LT(lines.size(), static_cast<std::size_t>(kFiles));
  std::size_t renamed = 0;
  for (const std::string& name : dir.Names()) renamed += name.ends_with(".mp4") ? 1 : 0;
  EXPECT_EQ(renamed, lines.size());

  // The rest in a second run; then Ctrl+C in the middle of its undo: the
  // next undo gives back the rest, the entry in progress when the signal
  // came included, and the one after that the first run.
  ASSERT_EQ(Run({"--defaults", "-q", dir.Path()}).Status, 0);
  test::CliProcess undo({"-q", "--undo"}, Env());
  for (int i = 0; i < 20000 && test::Names(History()).size() < 3; ++i) usleep(100);
  undo.Signal(SIGINT);
  const CliResult stopped = undo.Wait();
  ASSERT_EQ(stopped.Status, 130) << "the undo ended before the signal came; " << stopped.Err;
  std::size_t back = 0;
  for (const std::string& name : dir.Names()) back += name.ends_with(".MP4") ? 1 : 0;
  EXPECT_LT(back, static_cast<std::size_t>(kFiles) - lines.size());
  EXPECT_EQ(Run({"-q", "--undo"}).Status, 0);
  EXPECT_EQ(Run({"-q", "--undo"}).Status, 0);
  for (const std::string& name : dir.Names()) ASSERT_TRUE(name.ends_with(".MP4")) << name;
  EXPECT_EQ(Run({"--undo"}).Err, "quor-rename: nothing to undo\n");
}

// The command run in this process, its output caught, in the environment
// of the fixture.
class InProcess {
 public:
  explicit InProcess(const std::map<std::string, std::string>& env) {
    for (const auto& [key, value] : env) {
      const char* old = std::getenv(key.c_str());
      saved_.emplace_back(key, old ? std::optional<std::string>(old) : std::nullopt);
      setenv(key.c_str(), value.c_str(), 1);
    }
  }
  ~InProcess() {
    for (const auto& [key, value] : saved_) {
      if (value)
        setenv(key.c_str(), value->c_str(), 1);
      else
        unsetenv(key.c_str());
    }
  }
  InProcess(const InProcess&) = delete;
  InProcess& operator=(const InProcess&) = delete;

  // Runs the command line with `hook` beside the progress; the lines it wrote.
  int Run(const Lines& args, const ProgressFn::StepFn& hook, std::string& out, std::string& err) {
    TempFolder files;
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1);
    const int savedErr = dup(2);
    const int outFile = open((files / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFile = open((files / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(outFile, 1);
    dup2(errFile, 2);
    const int status = cli::RunCommand(cli::ParseCommandLine(args), hook);
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    for (const int fd : {savedOut, savedErr, outFile, errFile}) close(fd);
    out = files.Read("out");
    err = files.Read("err");
    return status;
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A run that stops on an exception keeps the lines and the record of what
// it did, says why it stopped, and exits 1.
TEST_F(Cli, ARunThatStopsOnAnExceptionExits1) {
  TempFolder dir;
  for (int i = 0; i < 5; ++i) dir.File("f" + std::to_string(i) + ".MP4");
  InProcess process(Env());
  std::string out, err;
  const int status = process.Run({"--defaults", dir.Path()}, [](std::size_t done, std::size_t) -> bool {
    if (done == 2) throw std::runtime_error("disk on fire");
    return true;
  }, out, err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
  EXPECT_EQ(err, "quor-rename: the run stopped: disk on fire\n");
  const std::vector<RunSummary> runs = ListRuns(History());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Now, RunSummary::State::Failed);
  EXPECT_EQ(runs[0].Record.Renamed, 2u);
}

// As the most common recorder runs its "after recording" command: no shell,
// its text split at spaces, no variable expanded, an environment of PATH
// and the recording's path alone. The recording and its companions are
// renamed, and the record goes to the home the password database names.
TEST_F(Cli, RunsAsARecordersHookWithoutAShell) {
  TempFolder dir, config;
  const std::string rec = "番組 第01話｢タイトル｣[字].ts";
  for (const std::string& name : {rec, rec + ".err", rec + ".program.txt", std::string("other.TS")}) dir.File(name);
  config.File("recorder.ini", "[Rename]\nDeleteAfterKakko=1\n");
  const std::string command = test::TestedExe() + " --settings " + config / "recorder.ini" + " --path-env RECPATH";
  Lines args;
  for (std::size_t at = command.find(' ') + 1, next; at != 0; at = next + 1) {
    next = command.find(' ', at);
    args.push_back(command.substr(at, next - at));
    if (next == std::string::npos) break;
  }
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  const std::string history = std::string(user->pw_dir) + "/.local/state/quor-renamer/history";
  const Lines before = test::Names(history);
  std::vector<std::string> made;  // folders the run makes there, deepest first
  for (std::filesystem::path folder = history; folder.string().size() > std::strlen(user->pw_dir) + 1;
       folder = folder.parent_path())
    if (!std::filesystem::exists(folder)) made.push_back(folder);
  const CliResult r =
      test::RunCli(args, {{"PATH", "/usr/bin:/bin"}, {"RECPATH", dir / rec}}, {}, command.substr(0, command.find(' ')));
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string tidy = "番組 第01話「タイトル」.ts";
  EXPECT_EQ(dir.Names(), (Lines{"other.TS", tidy, tidy + ".err", tidy + ".program.txt"}));
  EXPECT_NE(r.Out.find("Rename\t" + tidy + ".err\t←\t" + rec + ".err\n"), std::string::npos) << r.Out;
  // The record in the home of the password database, where that home takes
  // one (taken away again: it is not the test's).
  Lines after = test::Names(history);
  Lines added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  if (access(user->pw_dir, W_OK) == 0) {
    ASSERT_EQ(added.size(), 1u) << r.Err;
    EXPECT_NE(test::ReadFile(history + "/" + added[0]).find(tidy + ".program.txt"), std::string::npos);
  }
  for (const std::string& name : added) std::filesystem::remove(history + "/" + name);
  for (const std::string& folder : made) std::filesystem::remove(folder);

  // Without its variable, a usage error that renames nothing, and says which.
  const std::pair<std::map<std::string, std::string>, std::string> without[] = {
      {{{"PATH", "/usr/bin:/bin"}}, "quor-rename: --path-env RECPATH: the variable is not set\n"},
      {{{"PATH", "/usr/bin:/bin"}, {"RECPATH", ""}}, "quor-rename: --path-env RECPATH: the variable is empty\n"}};
  for (const auto& [env, message] : without) {
    dir.File("new.TS");
    const CliResult unset = test::RunCli(args, env, {}, command.substr(0, command.find(' ')));
    EXPECT_EQ(unset.Status, 2);
    EXPECT_TRUE(unset.Err.starts_with(message)) << unset.Err;
    EXPECT_TRUE(dir.Has("new.TS")) << "nothing renamed";
  }
}

// A folder path of any length is recorded and read back: five names of 250
// bytes that are no text, each written as four characters in the record.
TEST_F(Cli, ALongFolderPathIsRecordedAndReadBack) {
  TempFolder dir;
  std::string deep = dir.Path();
  for (int i = 0; i < 5; ++i) {
    deep += "/" + std::string(250, '\xFF');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  for (const char* name : {"a.mp4", "b.MP4", "c.MP4"}) test::WriteFile(deep + "/" + name, name);
  // Killed after its first rename.
  std::filesystem::create_directories(History());
  test::WriteFile(History() + "/20260101-000000-1.log",
                  KilledRecord(deep, {{deep + "/a.MP4", deep + "/a.mp4"}, {deep + "/b.MP4", deep + "/b.mp4"},
                                      {deep + "/c.MP4", deep + "/c.mp4"}}));
  CliResult r = Run({"--undo"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(test::Names(deep), (Lines{"a.MP4", "b.MP4", "c.MP4"}));

  r = Run({"--defaults", deep});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string id = ListRuns(History())[0].Record.Id;
  ASSERT_EQ(Run({"--undo", id}).Status, 0);
  r = Run({"--undo", id});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "") << "undone once only";
  EXPECT_EQ(r.Err, "quor-rename: run " + id + " has nothing left to undo\n");
  EXPECT_EQ(test::Names(deep), (Lines{"a.MP4", "b.MP4", "c.MP4"}));
}

// One run at a time per folder: while another holds the folder's lock, a
// run waits, then goes on with what that one left.
TEST_F(Cli, ARunWaitsForAnotherRunOnItsFolder) {
  TempFolder dir;
  dir.File("a.MP4");
  // The folder held with flock on an open of its own, and the run started
  // from "/", so that only a lock on that very folder holds it up.
  const int held = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  test::CliProcess run({"--defaults", dir.Path()}, Env(), "/");
  usleep(400000);
  EXPECT_EQ(dir.Names(), Lines{"a.MP4"}) << "renamed while another run held the folder";
  close(held);
  const CliResult r = run.Wait();
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(dir.Names(), Lines{"a.mp4"});
  FolderLock other;

  // Ctrl+C gives up the wait: nothing renamed, nothing recorded.
  dir.File("b.MP4");
  ASSERT_TRUE(other.TryLock(dir.Path()));
  const std::size_t records = ListRuns(History()).size();
  test::CliProcess waiting({"--defaults", dir.Path()}, Env());
  usleep(200000);
  waiting.Signal(SIGINT);
  EXPECT_EQ(waiting.Wait().Status, 130);
  EXPECT_EQ(dir.Names(), (Lines{"a.mp4", "b.MP4"}));
  EXPECT_EQ(ListRuns(History()).size(), records);
}

// Runs that meet decide under the lock, each run held up in its renames by
// strace while another comes: an undo chooses its run once the folder is
// its own, and a run that waited for one that died repairs it first.
TEST_F(Cli, RunsThatMeetDecideUnderTheLock) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  const auto sorted = [](Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  // Until the history shows a run still going on (its first intents on
  // record, its folder locked).
  const auto untilRunning = [&] {
    for (int i = 0; i < 500; ++i) {
      for (const RunSummary& run : ListRuns(History()))
        if (run.Now == RunSummary::State::Running) return true;
      usleep(10000);
    }
    return false;
  };
  {
    SCOPED_TRACE("an undo while a run goes on undoes that run once it ends, then the one before");
    TempFolder dir;
    dir.File("a.MP4");
    dir.File("c.MP4");
    ASSERT_EQ(Run({"--defaults", dir.Path()}).Status, 0);
    test::CliProcess slowed(test::SlowedArgs(600000, 1, {"--defaults", "-r", "a", "b", "-r", "c", "d", dir.Path()}),
                            test::Traced(Env()), {}, "/usr/bin/strace");
    ASSERT_TRUE(untilRunning());
    const CliResult undo = Run({"--undo"});
    EXPECT_EQ(slowed.Wait().Status, 0);
    EXPECT_EQ(undo.Status, 0) << undo.Out << undo.Err;
    EXPECT_EQ(sorted(undo.Lines()), (Lines{"Undo\t" + dir / "a.mp4\t←\t" + dir / "b.mp4",
                                           "Undo\t" + dir / "c.mp4\t←\t" + dir / "d.mp4"}));
    EXPECT_EQ(Run({"--undo"}).Status, 0);
    EXPECT_EQ(dir.Names(), (Lines{"a.MP4", "c.MP4"}));
  }
  {
    SCOPED_TRACE("of two undos at once, the second undoes the run before the first one's");
    TempFolder dir;
    dir.File("e.MP4");
    dir.File("f.MP4");
    ASSERT_EQ(Run({"--defaults", dir.Path()}).Status, 0);
    ASSERT_EQ(Run({"--defaults", "-r", "e", "g", dir.Path()}).Status, 0);
    test::CliProcess slowed(test::SlowedArgs(600000, 1, {"--undo"}), test::Traced(Env()), {}, "/usr/bin/strace");
    ASSERT_TRUE(untilRunning());
    const CliResult second = Run({"--undo"});
    EXPECT_EQ(slowed.Wait().Status, 0);
    EXPECT_EQ(second.Status, 0) << second.Out << second.Err;
    EXPECT_EQ(dir.Names(), (Lines{"e.MP4", "f.MP4"}));
  }
  {
    SCOPED_TRACE("a run that waited for a run that was killed repairs it before it lists the folder");
    TempFolder dir;
    for (const char* name : {"p.MP4", "q.MP4", "r.MP4"}) dir.File(name, name);
    // The first rename goes through, the second is held up until the kill.
    test::CliProcess killed(test::SlowedArgs(3000000, 2, {"--defaults", dir.Path()}), test::Traced(Env()), {},
                            "/usr/bin/strace");
    ASSERT_TRUE(untilRunning());
    for (int i = 0; i < 500 && dir.Names() == Lines{"p.MP4", "q.MP4", "r.MP4"}; ++i) usleep(10000);
    test::CliProcess waiting({"--defaults", "-o", "LowerExt=0", "-r", "p", "P2", dir.Path()}, Env());
    usleep(400000);
    const pid_t run = test::ChildOf(killed.Pid());
    ASSERT_GT(run, 0);
    kill(run, SIGKILL);
    (void)killed.Wait();
    const CliResult second = waiting.Wait();
    EXPECT_EQ(second.Status, 0) << second.Out << second.Err;
    EXPECT_NE(second.Err.find("repaired the interrupted run"), std::string::npos) << second.Err;
    EXPECT_EQ(Run({"--undo"}).Status, 0);
    EXPECT_EQ(Run({"--undo"}).Status, 0);
    EXPECT_EQ(dir.Names(), (Lines{"p.MP4", "q.MP4", "r.MP4"}));
    for (const char* name : {"p.MP4", "q.MP4", "r.MP4"}) EXPECT_EQ(dir.Read(name), name);
  }
}

// Runs, undos and kills in random order never lose a name (see
// tests/cli/RandomHistory.h).
TEST_F(Cli, RandomRunsUndosAndKillsLoseNoName) {
  TempFolder root("quor-random");
  test::RandomSequences(root.Path(), test::RandomSeed(), 6, 14);
}

// The safety net costs no system call of its own: on a local disk a run
// makes one per renamed entry (its rename, named within the folder) and an
// undo two (the look at the entry's identity, and the rename back), beyond
// what a run of a few entries makes. Counted by strace, not timed.
TEST_F(Cli, ARenameMakesOneSystemCallPerRenamedEntry) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  TempFolder counts("quor-strace");
  // The calls of a whole process, as strace -c counts them, but for the
  // memory allocator's own (a sanitized build's allocator makes many more
  // as the process grows).
  const auto calls = [&](const Lines& args) -> long {
    const std::string out = counts / "counts";
    Lines traced = {"-f", "-c", "-e", "trace=!mmap,munmap,mremap,madvise,mprotect,brk", "-o", out, test::TestedExe()};
    traced.insert(traced.end(), args.begin(), args.end());
    const CliResult r = test::RunCli(traced, test::Traced(Env()), {}, "/usr/bin/strace");
    EXPECT_EQ(r.Status, 0) << r.Err;
    std::smatch m;
    const std::string text = counts.Read("counts");
    static const std::regex total(R"(\n\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(\d+\s+)?total)");
    return std::regex_search(text, m, total) ? std::stol(m[1].str()) : -1;
  };
  const auto folderOf = [](TempFolder& dir, int entries) {
    for (int i = 0; i < entries; ++i) dir.File("星空探偵団 第" + std::to_string(1000 + i) + "話｢夜｣[字].MP4");
  };
  constexpr int kFew = 10;
  constexpr int kMany = 2000;
  constexpr long kSlack = 64;  // more listing and record writes for more entries
  TempFolder few, many;
  folderOf(few, kFew);
  folderOf(many, kMany);
  const long renameFew = calls({"--defaults", "-q", few.Path()});
  const long renameMany = calls({"--defaults", "-q", many.Path()});
  ASSERT_GT(renameFew, 0);
  EXPECT_LE(renameMany - renameFew, kMany - kFew + kSlack) << renameFew << " then " << renameMany;
  const long undoMany = calls({"--undo", "-q"});
  const long undoFew = calls({"--undo", "-q"});
  ASSERT_GT(undoFew, 0);
  EXPECT_LE(undoMany - undoFew, 2 * (kMany - kFew) + kSlack) << undoFew << " then " << undoMany;
  EXPECT_TRUE(many.Has("星空探偵団 第1000話｢夜｣[字].MP4"));
}

// The history keeps what can still be undone: undo records and undone runs
// do not count against the runs kept, and one call with more PATHs than
// that keeps them all.
TEST_F(Cli, PruningKeepsWhatCanStillBeUndone) {
  TempFolder dir;
  Lines args = {"--defaults", "-q"};
  for (int i = 0; i < 110; ++i) {
    dir.Folder("f" + std::to_string(i));
    dir.File("f" + std::to_string(i) + "/a.MP4");
    args.push_back(dir / ("f" + std::to_string(i)));
  }
  ASSERT_EQ(Run(args).Status, 0);
  EXPECT_EQ(ListRuns(History()).size(), 110u) << "a call's own first runs stay";
  for (int i = 0; i < 110; ++i) ASSERT_EQ(Run({"-q", "--undo"}).Status, 0) << i;
  for (int i = 0; i < 110; ++i) ASSERT_TRUE(dir.Has("f" + std::to_string(i) + "/a.MP4")) << i;
  EXPECT_EQ(Run({"--undo"}).Err, "quor-rename: nothing to undo\n");
  EXPECT_LE(ListRuns(History()).size(), 100u) << "what is undone goes once the history is full";
}

// A run that died is repaired by the next call, whatever it asks for.
TEST_F(Cli, RepairsAnInterruptedRunFirstAndSaysSo) {
  TempFolder dir;
  dir.File(".quor-rename-1-0-0.tmp", "moving");
  std::filesystem::create_directories(History());
  test::WriteFile(History() + "/20260101-000000-1.log",
                  "quor-renamer history 1\nbegin\trename\t1700000000\t1\t" + dir.Path() + "\nR\t0\t0\t" + dir / "a.MP4" +
                      "\t" + dir / "a.mp4" + "\nT\t0\t" + dir / ".quor-rename-1-0-0.tmp" + "\n");
  const CliResult r = Run({"--history"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Err.find("20260101-000000-1"), std::string::npos) << r.Err;
  EXPECT_EQ(dir.Names(), Lines{"a.mp4"});
  EXPECT_TRUE(r.Out.ends_with("\t1\t0\trecovered\n")) << r.Out;
}

// The file the window reads: beside a copy of the programs kept in a folder
// of the user's own, else in the configuration folder. Read, never written.
TEST_F(Cli, ReadsTheWindowsSettingsFile) {
  TempFolder bin, dir;
  const std::string exe = bin / "quor-rename";
  std::filesystem::copy_file(test::TestedExe(), exe);
  const std::string ini = "[Rename]\nLowerExt=0\nDir=/nowhere\n[ReplaceList]\n1=\"[字]\",\n";
  const struct {
    const char* what;
    std::string iniPath;
    Lines args;
    const char* line;
  } cases[] = {
      {"beside the program", bin / "quor-renamer.ini", {dir.Path()}, "Rename\t第1話「a」.MP4\t←\t第1話｢a｣[字].MP4"},
      {"--defaults reads no file", bin / "quor-renamer.ini", {"--defaults", dir.Path()},
       "Rename\t第1話「a」[字].mp4\t←\t第1話｢a｣[字].MP4"},
      {"an override wins", bin / "quor-renamer.ini", {"-o", "lowerext=1", dir.Path()},
       "Rename\t第1話「a」.mp4\t←\t第1話｢a｣[字].MP4"},
      {"in the configuration folder when the program's folder is not writable",
       home_ / "config/quor-renamer/quor-renamer.ini", {dir.Path()}, "Rename\t第1話「a」.MP4\t←\t第1話｢a｣[字].MP4"},
  };
  for (const auto& c : cases) {
    const bool readOnly = c.iniPath.starts_with(home_.Path());
    if (readOnly && geteuid() == 0) continue;  // root may write anywhere
    ::chmod(bin.Path().c_str(), readOnly ? 0555 : 0755);
    std::filesystem::create_directories(std::filesystem::path(c.iniPath).parent_path());
    test::WriteFile(c.iniPath, ini);
    dir.File("第1話｢a｣[字].MP4");
    const CliResult r = test::RunCli(c.args, Env(), {}, exe);
    EXPECT_EQ(r.Lines(), Lines{c.line}) << c.what << "\n" << r.Err;
    EXPECT_EQ(test::ReadFile(c.iniPath), ini) << c.what;
    std::filesystem::remove(c.iniPath);
    for (const std::string& name : dir.Names()) std::filesystem::remove(dir / name);
  }
  ::chmod(bin.Path().c_str(), 0755);
  // Only what a command needs is read: the history does without the settings.
  std::filesystem::create_directory(bin / "quor-renamer.ini");
  EXPECT_EQ(test::RunCli({dir.Path()}, Env(), {}, exe).Status, 2);
  EXPECT_EQ(test::RunCli({"--history"}, Env(), {}, exe).Status, 0);
}

// The file list as the clipboard copy holds it.
TEST_F(Cli, ListsAsTheClipboardCopy) {
  TempFolder dir;
  dir.File("a.MP4");
  dir.File("b\tc.ts");
  dir.Folder("s.d");
  const struct {
    Lines args;
    Lines lines;
  } cases[] = {
      {{"--list", "--defaults", "{d}"}, {"a", "b␉c", "s"}},
      {{"--list", "--defaults", "--with-ext", "{d}"}, {"a.MP4", "b␉c.ts", "s.d"}},
      {{"--list", "--defaults", "--with-dir", "{d}/*.mp4"}, {"{d}/a"}},
      {{"--list", "--defaults", "-o", "WithDir=1", "-o", "WithExt=1", "{d}/a.MP4"}, {"{d}/a.MP4"}},
  };
  for (const auto& c : cases) {
    const CliResult r = Run(WithFolder(c.args, dir.Path()));
    Lines lines = r.Lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, WithFolder(c.lines, dir.Path())) << c.args[2];
    EXPECT_EQ(r.Status, 0);
  }
  EXPECT_EQ(dir.Names(), (Lines{"a.MP4", "b\tc.ts", "s.d"}));
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// Sequences of calls as a user makes them, with what happens to the folder
// in between: the history holds whatever the folder went through.
TEST_F(Cli, HistoryHoldsUnderFaults) {
  struct Call {
    std::function<void(const TempFolder& d)> before = {};  // done to the folder first
    Lines args = {};            // "{d}": the case's folder; "{run:N}": the id of its Nth rename run
    int status = 0;
    std::string outHas = {};    // "" for any
    std::string errHas = {};
    std::string errHasNot = {};
    std::map<std::string, std::string> env = {};  // set over the usual environment
    std::string exists = {};    // a path that must be there after the call
    test::StdoutIs stdoutIs = test::StdoutIs::Pipe;
  };
  const auto write = [](const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::WriteFile(path, text);
  };
  const std::string killed = History() + "/20260101-000000-1.log";
  RecordFile held;  // a writer that is still at work
  const struct {
    const char* what;
    Lines files;  // "name" or "name=content", "folder/"
    std::vector<Call> calls;
    Lines after;  // the tree afterwards; "name=content" also checks the content
  } cases[] = {
      {"an undo walks on past a folder that is gone",
       {"F1/", "F1/a.MP4", "F2/", "F2/b.MP4"},
       {{{}, {"--defaults", "{d}/F1"}, 0},
        {{}, {"--defaults", "{d}/F2"}, 0},
        {[](const TempFolder& d) { std::filesystem::remove_all(d / "F2"); }, {"--undo"}, 1, "\t見つかりません"},
        {{}, {"--undo"}, 0, "Undo\t{d}/F1/a.MP4"},
        {{}, {"--undo"}, 0, "", "nothing to undo"}},
       {"F1", "F1/a.MP4"}},
      {"... and past a renamed file that was deleted",
       {"a.MP4", "b.MP4"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) { std::filesystem::remove(d / "a.mp4"); }, {"--undo"}, 1, "\t見つかりません"},
        {{}, {"--undo"}, 0, "", "nothing to undo"}},
       {"b.MP4"}},
      {"an undo leaves an entry the run never renamed where it is",
       {"c.MP4=c"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) {
           std::filesystem::rename(d / "c.mp4", d / "cc.mp4");
           d.File("c.mp4", "imposter");
         },
         {"--undo"}, 1, "別の項目がこの名前になっています"},
        {{}, {"--undo"}, 0, "", "nothing to undo"}},
       {"c.mp4=imposter", "cc.mp4=c"}},
      {"... also one that may have the deleted entry's inode number",
       {"c.MP4=c"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) {
           std::filesystem::remove(d / "c.mp4");
           d.File("c.mp4", "imposter");
         },
         {"--undo"}, 1, "別の項目がこの名前になっています"}},
       {"c.mp4=imposter"}},
      {"runs are ordered in UTC, whatever the time zone",
       {"z1/", "z1/a.MP4", "z2/", "z2/b.MP4"},
       {{{}, {"--defaults", "{d}/z1"}, 0, "", "", "", {{"TZ", "Asia/Tokyo"}}},
        {{}, {"--defaults", "{d}/z2"}, 0, "", "", "", {{"TZ", "UTC"}}},
        {{}, {"--undo"}, 0, "{d}/z2/b.MP4"}},
       {"z1", "z1/a.mp4", "z2", "z2/b.MP4"}},
      {"a dry run repairs nothing and says what a repair would do",
       {".quor-rename-1-0-0.tmp=moving"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d.Path(), {{d / "a.MP4", d / "a.mp4"}}, "T\t0\t" + d / ".quor-rename-1-0-0.tmp\n"));
         },
         {"-n", "--defaults", "{d}"}, 0, "",
         "quor-rename: it would move {d}/.quor-rename-1-0-0.tmp to {d}/a.mp4\n", "repaired the", {},
         "{d}/.quor-rename-1-0-0.tmp"},
        {{}, {"--defaults", "{d}"}, 0, "", "repaired"}},
       {"a.mp4=moving"}},
      {"a repaired run counts only what it tried",
       {"a.mp4", "b.MP4", "c.MP4"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d.Path(), {{d / "a.MP4", d / "a.mp4"}, {d / "b.MP4", d / "b.mp4"},
                                                 {d / "c.MP4", d / "c.mp4"}}));
         },
         {"--history"}, 0, "\t1\t0\trecovered"}},
       {"a.mp4", "b.MP4", "c.MP4"}},
      {"a repair finds refused what a later rename shows was tried and the disk shows not done",
       {"a.MP4=a", "b.mp4=other", "x.mp4=x"},
       {{[&](const TempFolder& d) {
           write(killed, Record2(d.Path(), Intent(0, d / "a.MP4", d / "b.mp4", d / "a.MP4") +
                                               Intent(1, d / "x.MP4", d / "x.mp4", d / "x.mp4")));
         },
         {"--history"}, 0, "\t1\t1\trecovered"}},
       {"a.MP4=a", "b.mp4=other", "x.mp4=x"}},
      {"a run killed while it wrote its end line is repaired",
       {"a.mp4"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d.Path(), {{d / "a.MP4", d / "a.mp4"}}, "C\t0\nend\tfini"));
         },
         {"--history"}, 0, "\t1\t0\trecovered"}},
       {"a.mp4"}},
      {"... and never tried what no later rename shows, its temporary name gone",
       {"a.MP4"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d.Path(), {{d / "a.MP4", d / "a.mp4"}}, "T\t0\t" + d / ".quor-rename-1-0-0.tmp\n"));
         },
         {"--history"}, 0, "\t0\t0\trecovered"}},
       {"a.MP4"}},
      {"a record whose identities are all unknown is undone by the names",
       {"a.mp4"},
       {{[&](const TempFolder& d) {
           write(killed, Record2(d.Path(), "R\t0\t? - - - - -\t" + d / "a.MP4" + "\t" + d / "a.mp4" +
                                               "\nC\t0\nend\tfinished\t1\t0\t0\n"));
         },
         {"--undo"}, 0, "Undo\t{d}/a.MP4\t←\t{d}/a.mp4\n"}},
       {"a.MP4"}},
      {"a partial undo says how to try again, a complete one says nothing more",
       {"a.MP4=a", "b.MP4=b"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) { d.File("a.MP4", "in the way"); }, {"--undo"}, 1, "",
         "quor-rename: 1 of run {run:1} could not go back yet; remove the cause and run quor-rename --undo {run:1} "
         "again\n"},
        {[](const TempFolder& d) { std::filesystem::remove(d / "a.MP4"); }, {"--undo"}, 0, "Undo\t{d}/a.MP4", "",
         "--undo"}},
       {"a.MP4=a", "b.MP4=b"}},
      {"a file written to after the run is still given back",
       {"a.MP4=a"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) {
           sleep(1);  // a later modification time at any resolution
           std::ofstream(d / "a.mp4", std::ios::app) << " and more";
         },
         {"--undo"}, 0, "Undo\t{d}/a.MP4"}},
       {"a.MP4=a and more"}},
      {"... and so is one whose modification time was set long before the run",
       {"a.MP4=a"},
       {{[](const TempFolder& d) {
           const timespec times[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
           ASSERT_EQ(utimensat(AT_FDCWD, (d / "a.MP4").c_str(), times, 0), 0);
         },
         {"--defaults", "{d}"}, 0},
        {{}, {"--undo"}, 0, "Undo\t{d}/a.MP4"}},
       {"a.MP4=a"}},
      {"a run still going on is neither repaired nor undone",
       {".quor-rename-1-0-0.tmp=moving"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d.Path(), {{d / "a.MP4", d / "a.mp4"}}, "T\t0\t" + d / ".quor-rename-1-0-0.tmp\n"));
           ASSERT_TRUE(held.OpenUnlocked(killed));
         },
         {"--history"}, 0, "\trunning", "", "repaired", {}, "{d}/.quor-rename-1-0-0.tmp"},
        {{}, {"--undo", "20260101-000000-1"}, 1, "", "still going on", "", {}, "{d}/.quor-rename-1-0-0.tmp"},
        {[&](const TempFolder&) { held.Close(); }, {"--history"}, 0, "\trecovered", "repaired"}},
       {"a.mp4=moving"}},
      {"the later run of a folder is told, however it named the folder",
       {"F/", "F/a.MP4", "F/b.MP4"},
       {{{}, {"--defaults", "{d}/F/a.MP4"}, 0},
        {{}, {"--defaults", "{d}/F/"}, 0},
        {{}, {"--undo", "{run:1}"}, 0, "", "a later run renamed in"}},
       {"F", "F/a.MP4", "F/b.mp4"}},
      {"... and not once it is undone",
       {"F/", "F/a.MP4", "F/b.MP4"},
       {{{}, {"--defaults", "-o", "LowerExt=0", "-r", "a", "x", "{d}/F"}, 0},
        {{}, {"--defaults", "-o", "LowerExt=0", "-r", "b", "y", "{d}/F"}, 0},
        {{}, {"--undo"}, 0, "{d}/F/b.MP4"},
        {{}, {"--undo", "{run:1}"}, 0, "{d}/F/a.MP4", "", "a later run"}},
       {"F", "F/a.MP4", "F/b.MP4"}},
      {"an undo finds the entries where a later run moved their folder, and takes them back there",
       {"F/", "F/Show.DIR/", "F/Show.DIR/ep1.MP4", "F/Show.DIR/ep2.MP4"},
       {{{}, {"--defaults", "{d}/F/Show.DIR"}, 0},
        {{}, {"--defaults", "{d}/F"}, 0, "Rename\tShow.dir\t←\tShow.DIR"},
        {{}, {"--undo", "{run:1}"}, 0, "Undo\t{d}/F/Show.dir/ep1.MP4\t←\t{d}/F/Show.dir/ep1.mp4", "a later run"},
        {{}, {"--undo"}, 0, "Undo\t{d}/F/Show.DIR\t←\t{d}/F/Show.dir"},
        {{}, {"--undo"}, 0, "", "nothing to undo"}},
       {"F", "F/Show.DIR", "F/Show.DIR/ep1.MP4", "F/Show.DIR/ep2.MP4"}},
      {"an entry that a later run renamed again waits for that run's undo, and is never given up",
       {"第1.MP4"},
       {{{}, {"--defaults", "{d}"}, 0},
        {{}, {"--defaults", "-r", "第", "Ep", "{d}"}, 0},
        {{}, {"--undo", "{run:1}"}, 1, "まだ戻せません: 後の実行 {run:2} を先に元に戻してください", "could not go back yet"},
        {{}, {"--undo"}, 0, "Undo\t{d}/第1.mp4\t←\t{d}/Ep1.mp4"},
        {{}, {"--undo"}, 0, "Undo\t{d}/第1.MP4\t←\t{d}/第1.mp4"}},
       {"第1.MP4"}},
      {"... also when a third run gave the entry that name again: it waits for the undos of both",
       {"a.MP4"},
       {{{}, {"--defaults", "-o", "LowerExt=0", "-r", "a", "b", "{d}"}, 0},
        {{}, {"--defaults", "{d}"}, 0, "Rename\tb.mp4"},
        {{}, {"--defaults", "-o", "LowerExt=0", "-r", ".mp4", ".MP4", "{d}"}, 0, "Rename\tb.MP4"},
        {{}, {"--undo", "{run:1}"}, 1, "まだ戻せません: 後の実行 {run:3}"},
        {{}, {"--undo"}, 0, "Undo\t{d}/b.mp4"},
        {{}, {"--undo"}, 0, "Undo\t{d}/b.MP4"},
        {{}, {"--undo"}, 0, "Undo\t{d}/a.MP4"}},
       {"a.MP4"}},
      {"a killed run whose folder a later run renamed is repaired where that run put it, and undone there",
       {"E/", "E/a.mp4", "E/b.MP4"},
       {{[&](const TempFolder& d) {
           write(killed, KilledRecord(d / "E", {{d / "E/a.MP4", d / "E/a.mp4"}, {d / "E/b.MP4", d / "E/b.mp4"}}));
           ASSERT_TRUE(held.OpenUnlocked(killed));
         },
         {"--defaults", "-r", "E", "X", "{d}"}, 0, "Rename\tX\t←\tE", "", "repaired"},
        {[&](const TempFolder&) { held.Close(); }, {"--history"}, 0, "\t1\t0\trecovered", "repaired"},
        {{}, {"--undo", "20260101-000000-1"}, 0, "Undo\t{d}/X/a.MP4\t←\t{d}/X/a.mp4"}},
       {"X", "X/a.MP4", "X/b.MP4"}},
      {"no run lists, renames or prints an entry on its way through a temporary name",
       {".quor-rename-99999-0-0.tmp=moving", "x-1.MP4"},
       {{{}, {"-n", "--defaults", "-r", "-", "_", "{d}"}, 0, "Rename\tx_1.mp4"},
        {{}, {"--defaults", "-r", "-", "_", "{d}"}, 0, "Rename\tx_1.mp4"}},
       {".quor-rename-99999-0-0.tmp=moving", "x_1.mp4"}},
      {"a name that starts with the escape marker goes back under its exact name",
       {"\\esc:foo.MP4"},
       {{{}, {"--defaults", "{d}"}, 0, "Rename\t\\esc:foo.mp4"}, {{}, {"--undo"}, 0, "Undo\t{d}/\\esc:foo.MP4"}},
       {"\\esc:foo.MP4"}},
      {"an undo takes back only what the run renamed, not what it refused before trying",
       {"｢」.MP4", "a.MP4"},
       {{{}, {"--defaults", "-o", "DeleteKakko=1", "{d}"}, 1, "拡張子だけの名前になります"}, {{}, {"--undo"}, 0}},
       {"a.MP4", "｢」.MP4"}},
      {"the history counts what an undo gave back and refused, and says what it found gone",
       {"a.MP4", "b.MP4"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) {
           std::filesystem::remove(d / "a.mp4");
           std::filesystem::remove(d / "b.mp4");
         },
         {"--undo"}, 1, "見つかりません"},
        {{}, {"--history"}, 0, "\t0\t0\tundo of {run:1}, 2 gone\n"},
        {{}, {"--history"}, 0, "\t2\t0\tnot undone, 2 gone\n"}},
       {}},
      {"... one gone and one refused",
       {"a.MP4", "b.MP4"},
       {{{}, {"--defaults", "{d}"}, 0},
        {[](const TempFolder& d) {
           std::filesystem::remove(d / "a.mp4");
           d.File("b.MP4", "in the way");
         },
         {"--undo"}, 1, "同じ名前が既にあります"},
        {{}, {"--history"}, 0, "\t0\t1\tundo of {run:1}, 1 gone\n"},
        {{}, {"--history"}, 0, "\t2\t0\tfinished, 1 gone\n"}},
       {"b.MP4=in the way", "b.mp4"}},
      {"a path from the environment is one entry, never a mask nor a folder to go through",
       {"a?.MP4", "ab.MP4", "S.DIR/", "S.DIR/c.MP4"},
       {{{}, {"--defaults", "--path-env", "REC"}, 0, "Rename\ta?.mp4", "", "", {{"REC", "{d}/a?.MP4"}}},
        {{}, {"--defaults", "--path-env", "REC"}, 0, "Rename\tS.dir\t", "", "", {{"REC", "{d}/S.DIR"}}},
        {{}, {"--watch", "--defaults", "--path-env", "REC"}, 2, "", "--watch takes folders", "", {{"REC", "{d}/S.dir"}}}},
       {"a?.mp4", "ab.MP4", "S.dir", "S.dir/c.MP4"}},
      {"a file PATH with a trailing slash names no folder",
       {"a.MP4"},
       {{{}, {"--defaults", "{d}/a.MP4/"}, 2, "", strerror(ENOTDIR)}},
       {"a.MP4"}},
      {"a history folder that is a file is an error",
       {},
       {{[&](const TempFolder&) { write(History(), "not a folder"); }, {"--history"}, 2, "", "cannot read the history folder"}},
       {}},
      {"closed standard output: renamed, and exit 1",
       {"a.MP4"},
       {{{}, {"--defaults", "{d}"}, 1, "", "", "", {}, "{d}/a.mp4", test::StdoutIs::Closed}},
       {"a.mp4"}},
      {"a reader that went away: every PATH renamed, and exit 1",
       {"p1/", "p2/", "p2/b.MP4"},
       {{[](const TempFolder& d) {
           for (int i = 0; i < 300; ++i) d.File("p1/ep" + std::to_string(i) + ".MP4");
         },
         {"--defaults", "{d}/p1", "{d}/p2"}, 1, "", "could not all be written", "", {}, "{d}/p2/b.mp4",
         test::StdoutIs::BrokenPipe}},
       {}},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    std::filesystem::remove_all(History());
    for (const std::string& f : c.files) {
      const std::size_t eq = f.find('=');
      f.ends_with('/') ? dir.Folder(f) : dir.File(f.substr(0, eq), eq == std::string::npos ? "" : f.substr(eq + 1));
    }
    std::vector<std::string> runs;  // rename runs, oldest first
    for (const Call& call : c.calls) {
      if (call.before) call.before(dir);
      const auto fill = [&](std::string text) {
        text = WithFolder({text}, dir.Path())[0];
        for (std::size_t n = 1; n <= runs.size(); ++n)
          for (std::size_t at; (at = text.find("{run:" + std::to_string(n) + "}")) != std::string::npos;)
            text.replace(at, 7, runs[n - 1]);
        return text;
      };
      std::map<std::string, std::string> env = Env();
      for (const auto& [k, v] : call.env) env[k] = fill(v);
      Lines args;
      for (const std::string& a : call.args) args.push_back(fill(a));
      const CliResult r = test::RunCli(args, env, {}, test::TestedExe(), call.stdoutIs);
      const std::string what = std::string(c.what) + ": " + call.args[0] + " " + call.args.back();
      EXPECT_EQ(r.Status, call.status) << what << "\n" << r.Out << r.Err;
      EXPECT_NE(r.Out.find(fill(call.outHas)), std::string::npos) << what << "\n" << r.Out;
      EXPECT_NE(r.Err.find(fill(call.errHas)), std::string::npos) << what << "\n" << r.Err;
      if (!call.errHasNot.empty()) {
        EXPECT_EQ(r.Err.find(fill(call.errHasNot)), std::string::npos) << what << "\n" << r.Err;
      }
      if (!call.exists.empty()) {
        EXPECT_TRUE(std::filesystem::exists(fill(call.exists))) << what << ": " << call.exists;
      }
      std::vector<std::string> ids;
      for (const RunSummary& run : ListRuns(History()))
        if (run.Record.Readable && run.Record.Kind == RunKind::Rename) ids.insert(ids.begin(), run.Record.Id);
      for (const std::string& id : ids)
        if (std::find(runs.begin(), runs.end(), id) == runs.end()) runs.push_back(id);
    }
    held.Close();
    if (c.after.empty()) continue;
    Lines after, expected;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
      after.push_back(e.path().string().substr(dir.Path().size() + 1));
    for (const std::string& f : c.after) {
      const std::size_t eq = f.find('=');
      expected.push_back(f.substr(0, eq));
      if (eq != std::string::npos) {
        EXPECT_EQ(dir.Read(f.substr(0, eq)), f.substr(eq + 1)) << c.what << ": " << f;
      }
    }
    std::sort(after.begin(), after.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(after, expected) << c.what;
  }
}

}  // namespace
}  // namespace quor
