// The main job driven through the window: fields filled, buttons clicked,
// the memo, the clipboard and the undo button read back.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProgressDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "gui/window/HistoryDialog.h"
#include "gui/window/Main.h"
#include "system/Exception.h"
#include "system/FolderLock.h"
#include "gui/controls/Progress.h"
#include "gui/controls/Screen.h"
#include "tests/TempFolder.h"
#include "tests/cli/RunCli.h"
#include "tests/gui/ErrorBoxRecorder.h"
#include "tests/gui/WindowOnFolder.h"

namespace quor {
namespace {

class Commands : public WindowOnFolder {};

TEST_F(Commands, RenameThenUndoFromTheButtons) {
  File("第1話｢A｣[字].MP4", "video");
  File("keep.txt");
  form_->CheckBoxWaSpKakko->setChecked(true);
  form_->StringGridReplace->SetCells(0, 1, "[字]");  // an empty New deletes
  form_->StringGridReplace->SetCells(0, 3, "a」");   // rows further down count too
  form_->StringGridReplace->SetCells(1, 3, "B」");
  form_->BtnRename->click();

  EXPECT_EQ(Log(), std::vector<std::string>{"Rename\t第1話 「B」.mp4\t←\t第1話｢A｣[字].MP4"});
  EXPECT_TRUE(Has("第1話 「B」.mp4"));
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  EXPECT_EQ(form_->UndoNewPaths, std::vector<std::string>{folder_ + "/第1話 「B」.mp4"});
  EXPECT_EQ(form_->PageControl->currentWidget(), form_->TabSheetRename) << "the run does not switch pages";

  form_->BtnUndo->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Undo\t" + folder_ + "/第1話｢A｣[字].MP4\t←\t" + folder_ +
                                            "/第1話 「B」.mp4"});
  EXPECT_TRUE(Has("第1話｢A｣[字].MP4"));
  EXPECT_FALSE(form_->BtnUndo->isEnabled());
  EXPECT_TRUE(form_->UndoOldPaths.empty());
}

TEST_F(Commands, ARunThatRenamesNothingKeepsUndoEnabled) {
  File("a.MP4");
  form_->BtnRename->click();
  ASSERT_TRUE(form_->BtnUndo->isEnabled());
  form_->BtnRename->click();
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  EXPECT_TRUE(form_->UndoOldPaths.empty());
  form_->BtnUndo->click();
  EXPECT_FALSE(form_->BtnUndo->isEnabled());
}

TEST_F(Commands, FileListGoesToTheClipboardAndUndoStillWorks) {
  File("ep.MP4");
  form_->BtnRename->click();
  form_->CheckBoxWithDir->setChecked(true);
  form_->BtnCopyFileList->click();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), folder_ + "/ep");
  EXPECT_FALSE(form_->Memo->HasSelection());
  form_->BtnUndo->click();
  EXPECT_TRUE(Has("ep.MP4"));
}

TEST_F(Commands, ANameWithATabStaysOneLine) {
  File("a\tb.TS");
  form_->BtnRename->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Rename\ta␉b.ts\t←\ta␉b.TS"});
  EXPECT_EQ(form_->Memo->VisibleLines(), QStringList{"Rename\ta␉b.ts\t←\ta␉b.TS"});
  EXPECT_TRUE(Has("a\tb.ts"));
}

TEST_F(Commands, ARunThatThrewKeepsItsRecordAndTheCursor) {
  for (int i = 0; i < 3; ++i) File("f" + std::to_string(i) + ".MP4");
  ErrorBoxRecorder box;
  form_->ProgressHook = [](std::size_t done, std::size_t) -> bool {
    EXPECT_EQ(Screen.Cursor(), crHourGlass) << "busy while the run goes on";
    if (done == 2) throw Exception("disk on fire");
    return true;
  };
  form_->BtnRename->click();
  EXPECT_EQ(box.messages, std::vector<std::string>{"disk on fire"});
  EXPECT_EQ(Screen.Cursor(), crDefault);
  // The two renames done before the error have their lines and can be undone.
  EXPECT_EQ(Log().size(), 2u);
  EXPECT_EQ(form_->UndoOldPaths.size(), 2u);
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  EXPECT_EQ(form_->StatusBar->Text(), "リネーム 2 件、エラー 0 件（中断）");
  form_->ProgressHook = nullptr;
  form_->BtnUndo->click();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Has("f" + std::to_string(i) + ".MP4")) << i;
}

// One line at the foot of the window after each command, which a screen
// reader reads as the label's name.
TEST_F(Commands, TheStatusLineSaysWhatHappened) {
  File("a.MP4");
  File("b.MP4");
  File("b.Mp4");
  const auto status = [&] {
    const std::string text = form_->StatusBar->Text();
    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(form_->StatusBar->Label());
    EXPECT_EQ(label->text(QAccessible::Name).toStdString(), text);
    return text;
  };
  form_->BtnRename->click();
  EXPECT_EQ(status(), "リネーム 2 件、エラー 1 件");

  // Undo refused for one entry: the button stays, and says why it stays.
  std::ofstream(folder_ + "/a.MP4") << "in the way";
  form_->BtnUndo->click();
  EXPECT_EQ(status(), "元に戻す 1 件、エラー 1 件。残りの 1 件は、原因を取り除いてからもう一度「元に戻す」で戻せます");
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  std::filesystem::remove(folder_ + "/a.MP4");
  form_->BtnUndo->click();
  EXPECT_EQ(status(), "元に戻す 1 件、エラー 0 件");
  EXPECT_FALSE(form_->BtnUndo->isEnabled());

  form_->BtnCopyFileList->click();
  EXPECT_EQ(status(), "クリップボードにコピー 3 件");

  // Nothing in the log for a folder that is not there, but the user is told.
  form_->EditFolder->SetText(folder_ + "/gone");
  form_->BtnRename->click();
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(status(), "フォルダーがありません: " + folder_ + "/gone");
  form_->BtnCopyFileList->click();
  EXPECT_EQ(status(), "フォルダーがありません: " + folder_ + "/gone");
  form_->EditFolder->SetText("rec/*.MP4");
  form_->BtnRename->click();
  EXPECT_EQ(status(), "フォルダーを「/」で始まるパスで指定してください。何もリネームしていません");
  EXPECT_TRUE(Has("a.MP4"));

  // However long the text, the window keeps its width: the line is cut short
  // on screen, and its tooltip and screen readers have all of it.
  form_->show();
  QApplication::processEvents();
  const int width = form_->width();
  const std::string missing = folder_ + "/" + std::string(460, 'x');
  form_->EditFolder->SetText(missing);
  form_->BtnRename->click();
  QApplication::processEvents();
  EXPECT_EQ(status(), "フォルダーがありません: " + missing);
  EXPECT_EQ(form_->width(), width);
  EXPECT_LE(form_->minimumSizeHint().width(), width);
  EXPECT_LT(form_->StatusBar->Label()->text().size(), static_cast<qsizetype>(missing.size()));
  EXPECT_EQ(form_->StatusBar->Label()->toolTip().toStdString(), status());
  form_->hide();
}

TEST_F(Commands, CancelInTheMiddleThenUndoReversesThatPart) {
  for (int i = 0; i < 8; ++i) File("f" + std::to_string(i) + ".MP4");
  form_->ProgressHook = [](std::size_t done, std::size_t) { return done < 3; };
  form_->BtnRename->click();
  EXPECT_EQ(Log().size(), 3u);
  EXPECT_EQ(form_->UndoOldPaths.size(), 3u);
  form_->ProgressHook = nullptr;
  form_->BtnUndo->click();
  EXPECT_EQ(Log().size(), 3u);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(Has("f" + std::to_string(i) + ".MP4")) << i;
}

// One run at a time per folder: while another holds it, the progress
// dialog says that the run waits, and キャンセル gives up the wait.
TEST_F(Commands, ARunWaitsForAnotherRunOnItsFolderAndSaysSo) {
  File("a.MP4");
  // Another run: a lock that another thread took, as this thread's own
  // lock would be taken again at once.
  FolderLock other;
  const auto lockElsewhere = [&] { std::thread([&] { EXPECT_TRUE(other.TryLock(folder_)); }).join(); };
  lockElsewhere();
  int waits = 0;
  QString shown;
  form_->WaitHook = [&](const std::string& folder) {
    EXPECT_EQ(folder, folder_);
    if (auto* dialog = form_->findChild<QProgressDialog*>()) shown = dialog->labelText();
    if (++waits == 3) other.Unlock();
    return true;
  };
  form_->BtnRename->click();
  EXPECT_EQ(waits, 3);
  EXPECT_TRUE(shown.contains(QStringLiteral("別の実行が終わるのを待っています"))) << shown.toStdString();
  EXPECT_TRUE(Has("a.mp4"));

  // A run given up while it waits never started: the last run's log, undo
  // list and button stay as they were, and only the status line speaks.
  File("b.MP4");
  const std::vector<std::string> log = Log();
  const std::vector<std::string> undo = form_->UndoNewPaths;
  lockElsewhere();
  ASSERT_TRUE(other.Held());
  form_->WaitHook = [](const std::string&) { return false; };
  form_->BtnRename->click();
  EXPECT_TRUE(Has("b.MP4")) << "given up: nothing renamed";
  EXPECT_EQ(form_->StatusBar->Text(), "別の実行が終わるのを待つのをやめました。何もリネームしていません");
  EXPECT_EQ(Log(), log);
  EXPECT_EQ(form_->UndoNewPaths, undo);
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  // The same for an undo that waits.
  form_->BtnUndo->click();
  EXPECT_EQ(form_->StatusBar->Text(), "別の実行が終わるのを待つのをやめました。何も元に戻していません");
  EXPECT_EQ(Log(), log);
  EXPECT_TRUE(Has("a.mp4"));
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  other.Unlock();
  form_->WaitHook = nullptr;
  form_->BtnUndo->click();
  EXPECT_TRUE(Has("a.MP4")) << "the run before the wait is still the one to undo";
  EXPECT_FALSE(form_->BtnUndo->isEnabled());
}

// Undo renames back only the entry the run renamed: another one that has
// taken its new name stays, and says why.
TEST_F(Commands, UndoLeavesAnotherEntryUnderTheNewNameAlone) {
  File("c.MP4", "mine");
  form_->BtnRename->click();
  std::filesystem::rename(folder_ + "/c.mp4", folder_ + "/moved.mp4");
  File("c.mp4", "imposter");
  form_->BtnUndo->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Error\t" + folder_ + "/c.MP4\t←\t" + folder_ +
                                            "/c.mp4\t別の項目がこの名前になっています"});
  EXPECT_FALSE(Has("c.MP4"));
  EXPECT_FALSE(form_->BtnUndo->isEnabled()) << "not the run's to take back: it leaves the list";
}

// A pattern that does not compile, typed or read from the settings file:
// its cell says why, the status line which row, and neither command runs.
TEST_F(Commands, ABrokenPatternIsMarkedAndNothingRuns) {
  File("a[字].MP4");
  TStringGrid& grid = *form_->StringGridReplace;
  const auto tip = [&](int col, int row) { return grid.item(row - 1, col)->toolTip().toStdString(); };
  grid.SetCells(0, 1, "[字]");
  grid.SetCells(0, 2, "(字|再");
  EXPECT_EQ(form_->StatusBar->Text(), "") << "a plain row: its ( is a character";
  grid.SetChecked(kRegexColumn, 2, true);
  const std::string why = "置換リスト 2 行目の正規表現が正しくありません（位置 4）: missing closing parenthesis";
  EXPECT_EQ(form_->StatusBar->Text(), why);
  EXPECT_EQ(tip(0, 2), "missing closing parenthesis（位置 4）");
  EXPECT_EQ(tip(0, 1), "");
  form_->BtnPreview->click();
  EXPECT_EQ(form_->Preview, nullptr) << "no preview while a row is broken";
  form_->BtnRename->click();
  EXPECT_EQ(form_->StatusBar->Text(), why);
  EXPECT_TRUE(Has("a[字].MP4"));
  EXPECT_TRUE(Log().empty());
  EXPECT_FALSE(form_->BtnUndo->isEnabled());

  grid.SetCells(0, 2, "(字|再)");
  EXPECT_EQ(tip(0, 2), "") << "the mark goes with the fault";
  EXPECT_EQ(form_->StatusBar->Text(), "");
  form_->BtnRename->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Rename\ta.mp4\t←\ta[字].MP4"});

  // From the settings file: marked as the window opens.
  std::ofstream(root_ + "/broken.ini") << "[ReplaceList]\n1=(a),$2,re\n";
  TFormRenamer fromFile(root_ + "/broken.ini");
  EXPECT_EQ(fromFile.StatusBar->Text(),
            "置換リスト 1 行目の置換文字列が正しくありません（位置 0）: the pattern has no group 2");
  EXPECT_EQ(fromFile.StringGridReplace->item(0, 1)->toolTip().toStdString(), "the pattern has no group 2（位置 0）");

  // A mark of the file that the window does not understand: shown beside
  // the row's box, which is marked, and kept by a save until the box is
  // switched; nothing runs meanwhile.
  const std::string marked = root_ + "/marked.ini";
  std::ofstream(marked) << "[ReplaceList]\n1=字,,RE2\n";
  const std::string unknown = "置換リスト 1 行目の 3 つ目の項目「RE2」が分かりません"
                              "（正規表現の列のチェックを切り替えると、チェックのとおりに読みます）";
  for (const bool regex : {false, true}) {
    TFormRenamer window(marked);
    TStringGrid& rows = *window.StringGridReplace;
    EXPECT_EQ(window.StatusBar->Text(), unknown);
    EXPECT_EQ(rows.Cells(kRegexColumn, 1), "RE2");
    EXPECT_EQ(rows.item(0, kRegexColumn)->toolTip().toStdString(), unknown);
    window.EditFolder->SetText(folder_);
    File("b[字].MP4");
    window.BtnRename->click();
    EXPECT_TRUE(Has("b[字].MP4"));
    window.BtnClose->click();
    EXPECT_NE(test::ReadFile(marked).find("1=字,,RE2\n"), std::string::npos) << test::ReadFile(marked);
    TFormRenamer again(marked);
    again.StringGridReplace->SetChecked(kRegexColumn, 1, true);
    if (!regex) again.StringGridReplace->SetChecked(kRegexColumn, 1, false);
    EXPECT_EQ(again.StringGridReplace->Cells(kRegexColumn, 1), "") << "decided";
    EXPECT_EQ(again.StatusBar->Text(), "");
    again.EditFolder->SetText(folder_);
    again.BtnRename->click();
    EXPECT_TRUE(Has("b[].mp4")) << "as a plain row and as a pattern alike";
    std::filesystem::remove(folder_ + "/b[].mp4");
    again.BtnClose->click();
    EXPECT_NE(test::ReadFile(marked).find(regex ? "1=字,,re\n" : "1=字,\n"), std::string::npos)
        << test::ReadFile(marked);
    std::ofstream(marked) << "[ReplaceList]\n1=字,,RE2\n";
  }
}

// The state of a run says what undos did to it, gone entries included,
// which the two counts leave out.
TEST(HistoryDialog, StatesSayWhatTheUndosFoundGone) {
  using State = RunSummary::State;
  const struct {
    RunKind kind;
    State now;
    std::size_t gone;  // of an undo: its own; of a rename run: what its undos gave up
    const char* text;
  } cases[] = {
      {RunKind::Rename, State::Undone, 0, "元に戻した"},
      {RunKind::Rename, State::PartlyUndone, 1, "一部を元に戻した（見つからない 1 件）"},
      {RunKind::Rename, State::NotUndone, 2, "元に戻せなかった（見つからない 2 件）"},
      {RunKind::Undo, State::Finished, 2, "完了（見つからない 2 件）"},
  };
  for (const auto& c : cases) {
    RunSummary run;
    run.Record.Readable = true;
    run.Record.Kind = c.kind;
    run.Now = c.now;
    (c.kind == RunKind::Undo ? run.Record.Gone : run.GivenUp) = c.gone;
    EXPECT_EQ(RunStateText(run), c.text);
  }
}

TEST(ProgressDisplay, ShowsOnlyForLongWorkAndCancels) {
  TProgress quick(nullptr, "x");
  EXPECT_TRUE(quick.Step(1, 10));
  EXPECT_EQ(quick.Dialog(), nullptr) << "short work shows nothing";

  TProgress slow(nullptr, "x", 0, 0);
  EXPECT_TRUE(slow.Step(1, 10));
  ASSERT_NE(slow.Dialog(), nullptr);
  EXPECT_EQ(slow.Dialog()->value(), 1);
  EXPECT_EQ(slow.Dialog()->maximum(), 10);
  EXPECT_EQ(slow.Dialog()->findChild<QProgressBar*>()->text(), "1 / 10") << "the count on the bar";
  EXPECT_EQ(slow.Dialog()->findChild<QPushButton*>()->text(), "キャンセル");
  slow.Dialog()->cancel();
  EXPECT_FALSE(slow.Step(2, 10));
  EXPECT_FALSE(slow.Step(3, 10));
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

TEST_F(Commands, TheLogPageShowsTheLinesWhenOpened) {
  File("a.MP4");
  form_->show();
  form_->BtnRename->click();
  QApplication::processEvents();
  form_->PageControl->setCurrentWidget(form_->TabSheetLog);
  QApplication::processEvents();
  EXPECT_EQ(form_->Memo->VisibleLines(), QStringList{"Rename\ta.mp4\t←\ta.MP4"});
  // With the page open, the next run's lines reach the widget at once.
  File("b.MP4");
  form_->BtnRename->click();
  QApplication::processEvents();
  EXPECT_EQ(form_->Memo->VisibleLines(), QStringList{"Rename\tb.mp4\t←\tb.MP4"});
}

// The window closed, the program started again: the last run is still in
// the history, and undoing it there gives back every name, a chain and a
// folder included.
TEST_F(Commands, UndoFromTheHistoryAfterARestart) {
  File("A", "was A");
  File("C", "was C");
  std::filesystem::create_directory(folder_ + "/Season.ONE");
  form_->CheckBoxIgnoreCase->setChecked(false);
  form_->StringGridReplace->SetCells(0, 1, "A");  // A -> B, then C -> A
  form_->StringGridReplace->SetCells(1, 1, "B");
  form_->StringGridReplace->SetCells(0, 2, "C");
  form_->StringGridReplace->SetCells(1, 2, "A");
  form_->BtnRename->click();
  ASSERT_EQ(Log().size(), 3u);
  ASSERT_TRUE(Has("B") && Has("Season.one"));
  form_->close();
  form_ = std::make_unique<TFormRenamer>(root_ + "/quor-renamer.ini");  // a restart
  EXPECT_FALSE(form_->BtnUndo->isEnabled());

  bool shown = false;
  form_->ShowHistoryProc = [&](THistoryDialog& dialog) {
    shown = true;
    auto* model = dialog.Table->model();
    ASSERT_GE(model->rowCount(), 1);
    ASSERT_EQ(model->columnCount(), 6);
    EXPECT_EQ(model->headerData(5, Qt::Horizontal).toString(), "状態");
    EXPECT_EQ(model->index(0, 2).data().toString().toStdString(), folder_) << "the newest first";
    EXPECT_EQ(model->index(0, 3).data().toString(), "3");
    EXPECT_EQ(model->index(0, 5).data().toString(), "完了");
    ASSERT_TRUE(dialog.BtnUndo->isEnabled());
    dialog.BtnUndo->click();
    EXPECT_EQ(model->index(1, 5).data().toString(), "元に戻した");
    EXPECT_EQ(model->index(0, 1).data().toString(), "元に戻す") << "the undo is recorded too";
    EXPECT_FALSE(dialog.BtnUndo->isEnabled()) << "an undo is not undone";
  };
  form_->BtnHistory->click();
  EXPECT_TRUE(shown);
  std::ifstream a(folder_ + "/A"), c(folder_ + "/C");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), "was A");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(c), {}), "was C");
  EXPECT_TRUE(Has("Season.ONE"));
  EXPECT_EQ(Log().size(), 3u);
  EXPECT_EQ(form_->StatusBar->Text(), "元に戻す 3 件、エラー 0 件");
}

TEST_F(Commands, AnOlderRunOfTheFolderIsUndoneOnlyWhenConfirmed) {
  File("a.MP4");
  form_->BtnRename->click();
  sleep(1);  // a run is told apart by the second it started in
  File("b.MP4");
  form_->BtnRename->click();
  for (const bool yes : {false, true}) {
    QString asked;
    form_->ShowHistoryProc = [&](THistoryDialog& dialog) {
      dialog.ConfirmProc = [&](const QString& question) {
        asked = question;
        return yes;
      };
      dialog.Table->selectRow(1);  // the older run
      dialog.BtnUndo->click();
    };
    form_->BtnHistory->click();
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_EQ(Has("a.MP4"), yes);
    EXPECT_TRUE(Has("b.mp4"));
  }
}

// Started after a kill that left an entry under its temporary name: the
// window finishes that rename and says what it repaired.
TEST_F(Commands, TheStartRepairsWhatAKillLeft) {
  File(".quor-rename-99999-0-0.tmp", "moving");
  const std::string history = qEnvironmentVariable("XDG_STATE_HOME").toStdString() + "/quor-renamer/history";
  std::filesystem::create_directories(history);
  std::ofstream(history + "/20200101-000000-99999.log")
      << "quor-renamer history 1\nbegin\trename\t1577836800\t99999\t" << folder_ << "\nR\t0\t0\t" << folder_
      << "/x.MP4\t" << folder_ << "/x.mp4\nT\t0\t" << folder_ << "/.quor-rename-99999-0-0.tmp\n";
  form_ = std::make_unique<TFormRenamer>(root_ + "/quor-renamer.ini");
  EXPECT_TRUE(Has("x.mp4"));
  EXPECT_FALSE(Has(".quor-rename-99999-0-0.tmp"));
  EXPECT_EQ(Log(), std::vector<std::string>{"Recover\t" + folder_ + "/x.mp4\t←\t" + folder_ + "/.quor-rename-99999-0-0.tmp"});
  EXPECT_EQ(form_->StatusBar->Text(), "中断されたリネームを 1 件修復しました（一時的な名前から戻したもの 1 件）。履歴から元に戻せます");
}

// No history can be written: the rename goes on, and says once that it has none.
TEST_F(Commands, ARunWithoutHistorySaysSo) {
  File("a.MP4");
  const QByteArray state = qgetenv("XDG_STATE_HOME");
  std::ofstream(root_ + "/not-a-folder") << "x";
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(root_ + "/not-a-folder"));
  form_->BtnRename->click();
  qputenv("XDG_STATE_HOME", state);
  EXPECT_TRUE(Has("a.mp4"));
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_TRUE(Log()[1].starts_with("履歴を記録できませんでした: ")) << Log()[1];
  EXPECT_EQ(form_->StatusBar->Text(), "リネーム 1 件、エラー 0 件。履歴は記録できませんでした");
  EXPECT_TRUE(form_->BtnUndo->isEnabled()) << "the window's own undo still works";
}

// Another program undid the window's last run (quor-rename --undo, or a
// second window): the button follows the history as soon as the window is
// back in use, and a click never tries what is no longer there.
TEST_F(Commands, UndoFollowsWhatTheCommandLineUndid) {
  std::map<std::string, std::string> env;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
    if (const char* value = std::getenv(name)) env[name] = value;
  const auto undoElsewhere = [&] {
    const test::CliResult cli = test::RunCli({"--undo"}, env);
    ASSERT_EQ(cli.Status, 0) << cli.Err;
  };
  for (int i = 0; i < 4; ++i) File("f" + std::to_string(i) + ".MP4");
  form_->show();
  form_->BtnRename->click();
  const std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 4u);
  undoElsewhere();
  ASSERT_TRUE(Has("f0.MP4"));
  QEvent activated(QEvent::ActivationChange);
  form_->activateWindow();
  QApplication::processEvents();
  QApplication::sendEvent(form_.get(), &activated);
  EXPECT_FALSE(form_->BtnUndo->isEnabled()) << "followed on coming back to the window";
  EXPECT_TRUE(form_->UndoOldPaths.empty());

  // Undone elsewhere while the window stayed in use: the click finds out.
  form_->BtnRename->click();
  ASSERT_TRUE(form_->BtnUndo->isEnabled());
  undoElsewhere();
  form_->BtnUndo->click();
  EXPECT_EQ(Log(), log) << "no line for entries that are already back";
  EXPECT_EQ(form_->StatusBar->Text(), "前回のリネームは、別のウィンドウまたは quor-rename で既に元に戻されています");
  EXPECT_FALSE(form_->BtnUndo->isEnabled());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Has("f" + std::to_string(i) + ".MP4")) << i;

  // Undone in part (a new file in the way of one): the rest is the window's.
  form_->BtnRename->click();
  File("f2.MP4", "in the way");
  const test::CliResult partly = test::RunCli({"--undo"}, env);
  ASSERT_EQ(partly.Status, 1) << partly.Err;
  QApplication::sendEvent(form_.get(), &activated);
  EXPECT_EQ(form_->UndoNewPaths, std::vector<std::string>{folder_ + "/f2.mp4"});
  EXPECT_TRUE(form_->BtnUndo->isEnabled());
  std::filesystem::remove(folder_ + "/f2.MP4");
  form_->BtnUndo->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Undo\t" + folder_ + "/f2.MP4\t←\t" + folder_ + "/f2.mp4"});
  EXPECT_FALSE(form_->BtnUndo->isEnabled());
  form_->hide();
}

// The window undoes its own last run from the lists it holds; what it
// records as given back must be those renames, by their number in the run,
// where a refusal left a gap in the numbers; after a later run, the lists
// give way to the history.
TEST_F(Commands, TheWindowsOwnUndoRecordsWhatItGaveBackAndFollowsALaterRun) {
  for (const char* name : {"a.MP4", "b.MP4", "c.MP4", "d.MP4"}) File(name);
  File("b.mp4", "in the way");
  form_->BtnRename->click();
  ASSERT_EQ(Log().size(), 4u);
  ASSERT_TRUE(Has("a.mp4") && Has("c.mp4") && Has("d.mp4"));
  File("d.MP4", "in the way");
  form_->BtnUndo->click();
  EXPECT_EQ(form_->StatusBar->Text().rfind("元に戻す 2 件、エラー 1 件", 0), 0u) << form_->StatusBar->Text();
  const std::string history = HistoryFolder();
  const UndoPlan plan = PlanUndo(history, NewestUndoableRun(history));
  EXPECT_EQ(plan.NewPaths, std::vector<std::string>{folder_ + "/d.mp4"});
  EXPECT_EQ(form_->UndoNewPaths, plan.NewPaths);

  // A later run renamed the folder: the window's lists no longer say where
  // the entries are, the history does.
  std::map<std::string, std::string> env;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
    if (const char* value = std::getenv(name)) env[name] = value;
  const std::string parent = root_ + "/tv";
  std::filesystem::create_directories(parent + "/Show.DIR");
  File("e.MP4", "x", parent + "/Show.DIR");
  form_->EditFolder->SetText(parent + "/Show.DIR");
  form_->BtnRename->click();
  ASSERT_TRUE(std::filesystem::exists(parent + "/Show.DIR/e.mp4"));
  const test::CliResult later = test::RunCli({"--defaults", "-r", "Show", "Series", parent}, env);
  ASSERT_EQ(later.Status, 0) << later.Err;
  ASSERT_TRUE(std::filesystem::exists(parent + "/Series.dir/e.mp4"));
  form_->BtnUndo->click();
  EXPECT_TRUE(std::filesystem::exists(parent + "/Series.dir/e.MP4")) << form_->StatusBar->Text();
}

// The command line and the Rename button, on two copies of one folder with
// one settings file: the same lines in the same order, and the folders end
// alike, collisions and odd names included.
TEST_F(Commands, TheCommandLineRenamesAsTheButton) {
  const std::string ini = root_ + "/shared.ini";
  std::ofstream(ini, std::ios::binary) << "[Rename]\nWaSpaceKakko=1\nDeleteAfterKakko=1\nAlnumZenToHan=1\n"
                                          "[ReplaceList]\n1=\"[字]\",\n2=題,\"だい \"\n"
                                          "3=(\\d+)話,#$1,re\n4=^番組(\\d),${1}番組,re\n5=(a+)+$,,re\n";
  form_ = std::make_unique<TFormRenamer>(ini);
  const std::string copy = root_ + "/copy";
  std::filesystem::create_directory(copy);
  // QTemporaryDir cannot remove names that are not UTF-8.
  struct RemoveAtEnd {
    std::vector<std::string> folders;
    ~RemoveAtEnd() {
      std::error_code ec;
      for (const auto& f : folders) std::filesystem::remove_all(f, ec);
    }
  } cleanup{{folder_, copy}};
  // Same names made in the same order list in the same order: the runs then
  // meet the collisions in the same order too.
  std::vector<std::string> names;
  for (int show = 0; show < 3; ++show)
    for (int ep = 0; ep < 40; ++ep) {
      const std::string stem = "番組" + std::to_string(show) + " 第" + std::to_string(ep) + "話";
      names.push_back(stem + "｢題" + std::to_string(ep % 7) + "｣[字].MP4");
      names.push_back(stem + " ｢題" + std::to_string(ep % 7) + "｣.mp4");
      names.push_back(stem + "「題" + std::to_string(ep % 7) + "」[再].Mp4");
    }
  for (const char* odd : {"tab\there.TS", "bad\xFF.MP4", "\x91\xE6\x31\x98\x62\xA2\x83\x5E\xA3.MP4", "dir｢x｣",
                          "｢」.MP4", "番組ＳＰ 第１２話.MP4", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})
    names.push_back(odd);
  for (const std::string& folder : {folder_, copy}) {
    for (const std::string& name : names) {
      if (name == "dir｢x｣") std::filesystem::create_directory(folder + "/" + name);
      else std::ofstream(folder + "/" + name, std::ios::binary) << name;
    }
  }
  const auto listing = [](const std::string& folder) {
    std::vector<std::string> order;
    DIR* d = opendir(folder.c_str());
    while (const dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") order.emplace_back(e->d_name);
    closedir(d);
    return order;
  };
  ASSERT_EQ(listing(folder_), listing(copy)) << "the file system lists the copies in another order";

  form_->EditFolder->SetText(folder_);
  form_->BtnRename->click();
  std::map<std::string, std::string> env;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
    if (const char* value = std::getenv(name)) env[name] = value;
  const test::CliResult cli = test::RunCli({"--settings", ini, copy}, env);

  const std::vector<std::string> lines = Log();
  EXPECT_GT(lines.size(), 300u);
  EXPECT_GT(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Error"); }), 100);
  EXPECT_EQ(cli.Lines(), lines) << cli.Err;
  EXPECT_EQ(cli.Status, 1);
  std::vector<std::string> window = listing(folder_), command = listing(copy);
  std::sort(window.begin(), window.end());
  std::sort(command.begin(), command.end());
  ASSERT_EQ(command, window);
  for (const std::string& name : window) {
    if (name == "dir「x」") continue;
    EXPECT_EQ(test::ReadFile(copy + "/" + name), test::ReadFile(folder_ + "/" + name)) << name;
  }
}

}  // namespace
}  // namespace quor
