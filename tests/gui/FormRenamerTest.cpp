#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "gui/window/Main.h"
#include "gui/controls/Application.h"
#include "gui/controls/Screen.h"
#include "tests/gui/ErrorBoxRecorder.h"

namespace quor {
namespace {

class FormRenamerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    iniPath_ = Path("quor-renamer.ini");
  }

  [[nodiscard]] std::string Path(const std::string& name) const {
    return QDir(dir_.path()).filePath(QString::fromStdString(name)).toStdString();
  }

  void WriteIni(const std::string& text) const {
    std::ofstream(iniPath_, std::ios::binary) << text;
  }

  [[nodiscard]] std::string ReadIni() const {
    std::ifstream in(iniPath_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  [[nodiscard]] std::unique_ptr<TFormRenamer> Open() const {
    return std::make_unique<TFormRenamer>(iniPath_);
  }

  // Data rows of the grid, "old|new" each, "old|new|re" with the regex box ticked.
  static std::vector<std::string> GridRows(const TFormRenamer& form) {
    std::vector<std::string> rows;
    const TStringGrid& grid = *form.StringGridReplace;
    for (int r = 1; r < grid.RowCount(); ++r)
      rows.push_back(grid.Cells(0, r) + "|" + grid.Cells(1, r) + (grid.Checked(kRegexColumn, r) ? "|re" : ""));
    return rows;
  }

  QTemporaryDir dir_;
  std::string iniPath_;
};

TEST_F(FormRenamerTest, FirstStartWithoutSettingsFile) {
  auto form = Open();
  EXPECT_EQ(form->windowTitle(), "Quor Renamer Ver.1.00.0");
  EXPECT_EQ(form->size(), QSize(640, 400));
  EXPECT_EQ(form->x(), (Screen.Width() - 640) / 2);
  EXPECT_EQ(form->y(), (Screen.Height() - 400) / 2);
  EXPECT_EQ(form->PageControl->currentWidget(), form->TabSheetRename);
  EXPECT_EQ(form->EditFolder->Text(), "");
  EXPECT_FALSE(form->BtnUndo->isEnabled());
  EXPECT_TRUE(form->BtnRename->isEnabled());
  EXPECT_TRUE(form->UndoOldPaths.empty());
  EXPECT_TRUE(form->UndoNewPaths.empty());
  EXPECT_EQ(form->StringGridReplace->RowCount(), 7);
  EXPECT_EQ(form->StringGridReplace->FixedRows(), 1);
  EXPECT_EQ(form->StringGridReplace->Cells(0, 0), "Old");
  EXPECT_EQ(form->StringGridReplace->Cells(1, 0), "New");
  EXPECT_EQ(form->StringGridReplace->Cells(2, 0), "正規表現");
  EXPECT_EQ(GridRows(*form), std::vector<std::string>(6, "|"));
  EXPECT_FALSE(form->CheckBoxAlnumZenToHan->isChecked());
  EXPECT_TRUE(form->CheckBoxCompanions->isChecked());
  EXPECT_TRUE(form->acceptDrops());
  EXPECT_FALSE(form->windowIcon().isNull());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(iniPath_))) << "loading never writes";

  // The first close makes the folders of the file, whatever bytes they hold.
  const std::string fresh = dir_.path().toStdString() + "/caf\xE9/quor-renamer/quor-renamer.ini";
  EXPECT_TRUE(TFormRenamer(fresh).close());
  EXPECT_TRUE(std::ifstream(fresh).good()) << "saved where it was read from";
}

TEST_F(FormRenamerTest, ControlsWithParentCaptionAccessibleNameAndDesignState) {
  auto form = Open();
  TFormRenamer& f = *form;
  struct Row {
    const char* member;
    QWidget* control;
    QWidget* parent;
    QString caption;
    QString accessibleName;
    int checked;  // -1: not a check box
  };
  const Row rows[] = {
      {"BitBtnFolder", f.BitBtnFolder, f.TabSheetRename, "", "フォルダー選択", -1},
      {"EditFolder", f.EditFolder, f.TabSheetRename, "", "フォルダー", -1},
      {"GroupBoxOption", f.GroupBoxOption, f.TabSheetRename, "オプション", "オプション", -1},
      {"GroupBoxFileList", f.GroupBoxFileList, f.TabSheetRename, "ファイルリスト", "ファイルリスト", -1},
      {"GroupBoxReplace", f.GroupBoxReplace, f.TabSheetRename, "置換", "置換", -1},
      {"CheckBoxZenkakuKakko", f.CheckBoxZenkakuKakko, f.GroupBoxOption, "半角｢｣→全角「」", "半角｢｣→全角「」", 1},
      {"CheckBoxWaSpKakko", f.CheckBoxWaSpKakko, f.GroupBoxOption, "\"話\"と\"「\"の間を空ける", "\"話\"と\"「\"の間を空ける", 0},
      {"CheckBoxWaKakko", f.CheckBoxWaKakko, f.GroupBoxOption, "\"話\"と\"「\"の間を空けない", "\"話\"と\"「\"の間を空けない", 0},
      {"CheckBoxLowerExt", f.CheckBoxLowerExt, f.GroupBoxOption, "拡張子を小文字にする", "拡張子を小文字にする", 1},
      {"CheckBoxDelAfterKakko", f.CheckBoxDelAfterKakko, f.GroupBoxOption, "\"」\"後拡張子までを削除", "\"」\"後拡張子までを削除", 0},
      {"CheckBoxDeleteKakko", f.CheckBoxDeleteKakko, f.GroupBoxOption, "「」を取る", "「」を取る", 0},
      {"CheckBoxWithDir", f.CheckBoxWithDir, f.GroupBoxFileList, "ディレクトリ", "ディレクトリ", 0},
      {"CheckBoxWithExt", f.CheckBoxWithExt, f.GroupBoxFileList, "拡張子", "拡張子", 0},
      {"BtnCopyFileList", f.BtnCopyFileList, f.GroupBoxFileList, "クリップボードにコピー", "クリップボードにコピー", -1},
      {"StringGridReplace", f.StringGridReplace, f.GroupBoxReplace, "", "置換リスト", -1},
      {"CheckBoxIgnoreCase", f.CheckBoxIgnoreCase, f.GroupBoxReplace, "大文字/小文字を区別しない", "大文字/小文字を区別しない", 1},
      {"CheckBoxAlnumZenToHan", f.CheckBoxAlnumZenToHan, f.GroupBoxReplace, "全角英数字を半角にする", "全角英数字を半角にする", 0},
      {"CheckBoxCompanions", f.CheckBoxCompanions, f.TabSheetRename, "付属ファイルも揃える", "付属ファイルも揃える", 1},
      {"BtnClearReplaceList", f.BtnClearReplaceList, f.GroupBoxReplace, "クリア", "クリア", -1},
      {"BtnAddLine", f.BtnAddLine, f.GroupBoxReplace, "追加", "追加", -1},
      {"Memo", f.Memo, f.TabSheetLog, "", "ログ", -1},
      {"BtnRename", f.BtnRename, f.Panel1, "リネーム", "リネーム", -1},
      {"BtnUndo", f.BtnUndo, f.Panel1, "元に戻す", "元に戻す", -1},
      {"BtnHelp", f.BtnHelp, f.Panel1, "ヘルプ", "ヘルプ", -1},
      {"BtnClose", f.BtnClose, f.Panel1, "閉じる", "閉じる", -1},
      {"BtnHistory", f.BtnHistory, f.Panel1, "履歴", "履歴", -1},
      {"StatusBar", f.StatusBar, &f, "", "状態", -1},
      {"Panel1", f.Panel1, &f, "", "", -1},
  };
  for (const Row& r : rows) {
    ASSERT_NE(r.control, nullptr) << r.member;
    EXPECT_EQ(r.control->parentWidget(), r.parent) << r.member;
    EXPECT_EQ(r.control->accessibleName(), r.accessibleName) << r.member;
    if (auto* button = qobject_cast<QAbstractButton*>(r.control)) {
      EXPECT_EQ(button->text(), r.caption) << r.member;
      if (r.checked >= 0) {
        EXPECT_EQ(button->isChecked(), r.checked == 1) << r.member;
      }
    } else if (auto* group = qobject_cast<QGroupBox*>(r.control)) {
      EXPECT_EQ(group->title(), r.caption) << r.member;
    }
  }
  EXPECT_EQ(f.BitBtnFolder->toolTip(), "フォルダー選択");
  EXPECT_FALSE(f.BitBtnFolder->icon().isNull());
  ASSERT_EQ(f.PageControl->count(), 2);
  EXPECT_EQ(f.PageControl->tabText(0), "Rename");
  EXPECT_EQ(f.PageControl->tabText(1), "Log");
  EXPECT_EQ(f.PageControl->widget(0), f.TabSheetRename);
  EXPECT_EQ(f.PageControl->widget(1), f.TabSheetLog);
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(f.Memo)->state().readOnly);
  // Columns line up: narrow, wide and digit advance alike, whatever the font claims.
  const QFontMetrics metrics(f.Memo->font());
  EXPECT_GT(metrics.horizontalAdvance(QLatin1Char('i')), 0);
  EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
  EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('0')), metrics.horizontalAdvance(QLatin1Char('W')));
}

TEST_F(FormRenamerTest, TabOrderFollowsTheLayout) {
  auto form = Open();
  TFormRenamer& f = *form;
  const std::vector<QWidget*> expected = {
      f.BitBtnFolder,       f.EditFolder,          f.CheckBoxCompanions,   f.CheckBoxZenkakuKakko, f.CheckBoxWaSpKakko,
      f.CheckBoxWaKakko,    f.CheckBoxLowerExt,    f.CheckBoxDelAfterKakko, f.CheckBoxDeleteKakko,
      f.CheckBoxWithDir,    f.CheckBoxWithExt,     f.BtnCopyFileList,      f.StringGridReplace,
      f.CheckBoxIgnoreCase, f.CheckBoxAlnumZenToHan, f.BtnClearReplaceList, f.BtnAddLine, f.Memo,
      f.BtnRename,          f.BtnUndo,             f.BtnHelp,              f.BtnClose};
  std::vector<QWidget*> chain;
  QWidget* w = f.BitBtnFolder;
  do {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  } while (w != f.BitBtnFolder && chain.size() < expected.size());
  EXPECT_EQ(chain, expected);
}

TEST_F(FormRenamerTest, ResizingKeepsControlsStretchedAndButtonsRight) {
  auto form = Open();
  form->show();
  QApplication::processEvents();
  auto rightGap = [&](QWidget* w) {
    return w->parentWidget()->width() - (w->x() + w->width());
  };
  auto bottomGap = [&](QWidget* w) {
    return w->parentWidget()->height() - (w->y() + w->height());
  };
  QWidget* rightAnchored[] = {form->EditFolder, form->GroupBoxFileList, form->GroupBoxReplace,
                              form->StringGridReplace, form->BtnClearReplaceList, form->BtnAddLine,
                              form->BtnRename, form->BtnUndo, form->BtnHelp, form->BtnClose};
  QWidget* bottomAnchored[] = {form->GroupBoxReplace, form->StringGridReplace, form->CheckBoxIgnoreCase,
                               form->BtnClearReplaceList, form->BtnAddLine};
  std::vector<int> right, bottom;
  for (QWidget* w : rightAnchored) right.push_back(rightGap(w));
  for (QWidget* w : bottomAnchored) bottom.push_back(bottomGap(w));
  const QSize grid = form->StringGridReplace->size();
  const QRect options = form->GroupBoxOption->geometry();
  const QRect folderButton = form->BitBtnFolder->geometry();

  form->resize(900, 600);
  QApplication::processEvents();
  for (std::size_t i = 0; i < std::size(rightAnchored); ++i)
    EXPECT_EQ(rightGap(rightAnchored[i]), right[i]) << rightAnchored[i]->accessibleName().toStdString();
  for (std::size_t i = 0; i < std::size(bottomAnchored); ++i)
    EXPECT_EQ(bottomGap(bottomAnchored[i]), bottom[i]) << bottomAnchored[i]->accessibleName().toStdString();
  EXPECT_EQ(form->StringGridReplace->width(), grid.width() + 260);
  EXPECT_EQ(form->StringGridReplace->height(), grid.height() + 200);
  EXPECT_EQ(form->GroupBoxOption->geometry(), options) << "the option frame keeps its place and size";
  EXPECT_EQ(form->BitBtnFolder->geometry(), folderButton);
  form->hide();
}

TEST_F(FormRenamerTest, SaveAndRestartRestoresEveryControl) {
  const std::string target = Path("videos");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(target)));
  {
    auto form = Open();
    form->resize(700, 450);
    form->move(20, 30);
    form->EditFolder->SetText(target + "/*.mp4");
    for (QCheckBox* box : {form->CheckBoxLowerExt, form->CheckBoxZenkakuKakko, form->CheckBoxWaSpKakko,
                           form->CheckBoxWaKakko, form->CheckBoxDelAfterKakko, form->CheckBoxDeleteKakko,
                           form->CheckBoxIgnoreCase, form->CheckBoxWithDir, form->CheckBoxWithExt,
                           form->CheckBoxAlnumZenToHan, form->CheckBoxCompanions})
      box->setChecked(!box->isChecked());
    form->StringGridReplace->SetRowCount(9);
    const std::vector<std::pair<std::string, std::string>> cells = {
        {"a,b", "c\"d"}, {"", "only new"}, {"  ", " "}, {" inner  space ", "x"},
        {"第", "だい"},  {"", ""},         {"　", " "}, {"last", "row"}};
    for (int r = 1; r <= 8; ++r) {
      form->StringGridReplace->SetCells(0, r, cells[r - 1].first);
      form->StringGridReplace->SetCells(1, r, cells[r - 1].second);
    }
    form->StringGridReplace->SetChecked(kRegexColumn, 5, true);
    form->StringGridReplace->SetChecked(kRegexColumn, 6, true);  // an empty row: nothing to keep
    form->UndoOldPaths = {"/a"};
    form->UndoNewPaths = {"/b"};
    form->BtnClose->click();
    EXPECT_TRUE(form->UndoOldPaths.empty());
  }
  auto form = Open();
  EXPECT_EQ(form->geometry().topLeft(), QPoint(20, 30));
  EXPECT_EQ(form->size(), QSize(700, 450));
  EXPECT_EQ(form->EditFolder->Text(), target + "/*.mp4");
  EXPECT_FALSE(form->CheckBoxLowerExt->isChecked());
  EXPECT_FALSE(form->CheckBoxZenkakuKakko->isChecked());
  EXPECT_TRUE(form->CheckBoxWaSpKakko->isChecked());
  EXPECT_TRUE(form->CheckBoxWaKakko->isChecked());
  EXPECT_TRUE(form->CheckBoxDelAfterKakko->isChecked());
  EXPECT_TRUE(form->CheckBoxDeleteKakko->isChecked());
  EXPECT_FALSE(form->CheckBoxIgnoreCase->isChecked());
  EXPECT_TRUE(form->CheckBoxWithDir->isChecked());
  EXPECT_TRUE(form->CheckBoxWithExt->isChecked());
  EXPECT_TRUE(form->CheckBoxAlnumZenToHan->isChecked());
  EXPECT_FALSE(form->CheckBoxCompanions->isChecked());
  // Empty rows are left out and the rest close up; spaces are part of a cell.
  EXPECT_EQ(GridRows(*form), (std::vector<std::string>{"a,b|c\"d", "|only new", "  | ", " inner  space |x",
                                                       "第|だい|re", "　| ", "last|row"}));
  EXPECT_EQ(form->StringGridReplace->Cells(0, 0), "Old");
  EXPECT_TRUE(form->UndoOldPaths.empty()) << "undo never survives a restart";
  EXPECT_FALSE(form->BtnUndo->isEnabled());
}

TEST_F(FormRenamerTest, ClosingFromTheTitleBarSavesToo) {
  auto form = Open();
  form->show();
  form->EditFolder->SetText("/typed but missing");
  EXPECT_TRUE(form->close());
  EXPECT_NE(ReadIni().find("Dir=/typed but missing"), std::string::npos) << ReadIni();
}

TEST_F(FormRenamerTest, PositionItemsMissingBadSmallOrNegative) {
  const int sw = Screen.Width(), sh = Screen.Height();
  const QRect area = Screen.AvailableAreas().front();
  const int maxInt = std::numeric_limits<int>::max();
  struct Case {
    const char* name;
    std::optional<std::string> position;  // none: no key at all
    QRect bounds;
  };
  const Case cases[] = {
      {"no key", std::nullopt, {(sw - 640) / 2, (sh - 400) / 2, 640, 400}},
      {"all four", "100,50,700,450", {100, 50, 700, 450}},
      {"only left and top", "100,50", {100, 50, 640, 400}},
      {"bad left and height", "x,50,700,y", {(sw - 700) / 2, 50, 700, 400}},
      {"smaller size ignored", "100,50,600,300", {100, 50, 640, 400}},
      {"negative left centres that axis only", "-1200,40,640,400", {(sw - 640) / 2, 40, 640, 400}},
      {"negative top", "10,-5,800,500", {10, (sh - 500) / 2, 800, 500}},
      // The only screen: moved back within it, the size cut to it.
      {"beyond the right edge", "5000,40,640,400", {area.right() + 1 - 640, 40, 640, 400}},
      {"far off and huge", "2147483647,2147483647,2147483647,2147483647", area},
      {"off the top and bottom", "10,-2147483648,700," + std::to_string(maxInt), {10, area.y(), 700, area.height()}},
  };
  for (const Case& c : cases) {
    WriteIni(c.position ? "[QuorRenamer]\nVersion=999999\nPosition=" + *c.position + "\n"
                        : std::string("[QuorRenamer]\nVersion=1\n"));
    auto form = Open();
    EXPECT_EQ(QRect(form->pos(), form->size()), c.bounds) << c.name;
  }
}

// An unplugged drive or an unmounted share: the folder comes back with it.
TEST_F(FormRenamerTest, DirRestoredAsSavedWhetherOrNotItsFolderExists) {
  const std::string existing = Path("存在 する");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(existing)));
  for (const std::string& stored : {existing, existing + "/*.mp4", existing + "/ep??.mkv", Path("gone"),
                                    Path("gone") + "/*.mp4"}) {
    WriteIni("[Rename]\nDir=" + stored + "\n");
    auto form = Open();
    EXPECT_EQ(form->EditFolder->Text(), stored);
    form->close();
    EXPECT_NE(ReadIni().find("Dir=" + stored + "\n"), std::string::npos) << ReadIni();
  }
  WriteIni("[Rename]\nDir=\n");
  // A field left empty stores the empty text at the next save.
  auto form = Open();
  form->close();
  EXPECT_NE(ReadIni().find("Dir=\n"), std::string::npos) << ReadIni();
}

TEST_F(FormRenamerTest, ReplaceListByNumberHandWrittenKeysAndGrowth) {
  WriteIni(
      "[ReplaceList]\n"
      "IgnoreCase=0\n"
      "5=e,E\n"
      "2=b,B\n"
      "x=skipped\n"
      "-1=skipped\n"
      "007=g,G\n"
      "9=\"  padded  \",\" \"\n"
      "10=j,J,extra\n"
      "+3=c,C\n"
      "11=k\n"
      "01=a,A\n"
      "13=m,M\n");
  auto form = Open();
  EXPECT_FALSE(form->CheckBoxIgnoreCase->isChecked());
  EXPECT_EQ(GridRows(*form), (std::vector<std::string>{"a|A", "b|B", "c|C", "e|E", "g|G", "  padded  | ", "j|J",
                                                       "k|", "m|M"}));
  EXPECT_EQ(form->StringGridReplace->Cells(0, 0), "Old") << "the header stays on row 0";
  // Written back in the program's own form, nothing lost, not even a mark
  // that this version does not understand.
  form->close();
  EXPECT_NE(ReadIni().find("IgnoreCase=0\n1=a,A\n2=b,B\n3=c,C\n4=e,E\n5=g,G\n6=\"  padded  \",\" \"\n7=j,J,extra\n"
                           "8=k,\n9=m,M\n\n"),
            std::string::npos)
      << ReadIni();
}

TEST_F(FormRenamerTest, AddLineAddsRowsAtTheBottom) {
  auto form = Open();
  form->StringGridReplace->SetCells(0, 6, "last");
  for (int i = 0; i < 3; ++i) form->BtnAddLine->click();
  EXPECT_EQ(form->StringGridReplace->RowCount(), 10);
  EXPECT_EQ(form->StringGridReplace->Cells(0, 6), "last");
  EXPECT_EQ(form->StringGridReplace->Cells(0, 9), "");
}

TEST_F(FormRenamerTest, ClearReplaceListGivesTheDesignShape) {
  auto form = Open();
  TStringGrid& grid = *form->StringGridReplace;
  grid.setColumnWidth(0, 150);  // as the user dragged it
  grid.SetRowCount(25);
  for (int r = 1; r < 25; ++r) grid.Rows(r).SetText("old" + std::to_string(r) + "\nnew");
  for (const int r : {1, 24}) grid.SetChecked(kRegexColumn, r, true);
  form->CheckBoxIgnoreCase->setChecked(false);
  form->BtnClearReplaceList->click();
  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(grid.FixedRows(), 1);
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_EQ(grid.Cells(0, 0), "Old");
  EXPECT_EQ(grid.Cells(1, 0), "New");
  EXPECT_EQ(grid.Cells(2, 0), "正規表現");
  EXPECT_EQ(GridRows(*form), std::vector<std::string>(6, "|"));
  EXPECT_EQ(grid.columnWidth(0), 150);
  EXPECT_FALSE(form->CheckBoxIgnoreCase->isChecked());
  // Again on the design shape: nothing changes.
  form->BtnClearReplaceList->click();
  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(GridRows(*form), std::vector<std::string>(6, "|"));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(iniPath_))) << "the file changes only at close";
}

TEST_F(FormRenamerTest, HelpOpensTheChmWithAViewerElseThePagesElseSaysWhere) {
  EXPECT_EQ(Open()->HelpFile, Application.ExeName() + ".chm") << "the help is named after the executable";
  struct Case {
    const char* name;
    bool chmThere, pageThere, viewer, chmOpens, pageOpens;
    std::vector<std::string> opened;  // "chm", "page"
    std::string message;              // how the error box starts; "" for none
    std::string named;                // "chm" or "page", what the message names
  };
  const std::string cannot = "ヘルプを開けませんでした。";
  const Case cases[] = {
      {"a CHM viewer: the .chm", true, true, true, true, true, {"chm"}, "", ""},
      {"no CHM viewer: the start page", true, true, false, true, true, {"page"}, "", ""},
      {"no .chm built: the start page", false, true, true, true, true, {"page"}, "", ""},
      {"the CHM viewer fails: the start page", true, true, true, false, true, {"chm", "page"}, "", ""},
      {"no browser either: says where the page is", true, true, false, true, false, {"page"}, cannot, "page"},
      {"only the .chm, no viewer: says where it is", true, false, false, true, true, {}, cannot, "chm"},
      {"nothing installed", false, false, true, true, true, {}, "ヘルプが見つかりません。", "page"},
  };
  ErrorBoxRecorder box;
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = Path("help" + std::to_string(row++));
    const std::map<std::string, std::string> paths = {{"chm", dir + "/quor-renamer.chm"},
                                                      {"page", dir + "/quor-renamer-help/index.html"}};
    std::filesystem::create_directories(dir + "/quor-renamer-help");
    if (c.chmThere) std::ofstream(paths.at("chm")) << "ITSF";
    if (c.pageThere) std::ofstream(paths.at("page")) << "<html></html>";
    auto form = Open();
    form->HelpFile = paths.at("chm");
    std::vector<std::string> asked, opened;
    form->HasViewerProc = [&](const std::string& path) {
      asked.push_back(path);
      return c.viewer;
    };
    form->OpenDocumentProc = [&](const std::string& path) {
      opened.push_back(path == paths.at("chm") ? "chm" : path == paths.at("page") ? "page" : path);
      return path == paths.at("chm") ? c.chmOpens : c.pageOpens;
    };
    box.messages.clear();
    form->BtnHelp->click();
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(asked, c.chmThere ? std::vector<std::string>{paths.at("chm")} : std::vector<std::string>{});
    if (c.message.empty()) {
      EXPECT_TRUE(box.messages.empty());
    } else {
      ASSERT_EQ(box.messages.size(), 1u);
      EXPECT_EQ(box.messages[0].rfind(c.message, 0), 0u) << box.messages[0];
      EXPECT_NE(box.messages[0].find(paths.at(c.named)), std::string::npos) << box.messages[0];
    }
  }
}

// The stand-ins themselves, with the desktop's tools replaced by scripts
// that note their arguments.
TEST_F(FormRenamerTest, HelpReachesTheDesktopsOpenerOrSaysWhereItIs) {
  const std::string chm = Path("quor-renamer.chm");
  const std::string page = Path("quor-renamer-help/index.html");
  std::filesystem::create_directories(Path("quor-renamer-help"));
  std::ofstream(chm) << "ITSF";
  std::ofstream(page) << "<html></html>";
  const auto tool = [&](const std::string& folder, const std::string& name) {
    std::filesystem::create_directories(Path(folder));
    const std::string script = Path(folder + "/" + name);
    // xdg-mime answers nothing: no program for the type.
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" >> '" << Path(name + ".args") << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  };
  const auto args = [&](const std::string& name) {
    std::ifstream in(Path(name + ".args"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  tool("mime-only", "xdg-mime");
  tool("both", "xdg-mime");
  tool("both", "xdg-open");
  const QByteArray path = qgetenv("PATH");
  struct RestorePath {
    QByteArray path;
    ~RestorePath() { qputenv("PATH", path); }
  } restore{path};
  ErrorBoxRecorder box;
  auto form = Open();
  form->HelpFile = chm;

  qputenv("PATH", QByteArray::fromStdString(Path("mime-only")));
  form->BtnHelp->click();
  EXPECT_EQ(args("xdg-mime"), "query default application/vnd.ms-htmlhelp\n");
  ASSERT_EQ(box.messages.size(), 1u) << "no xdg-open: the user is told";
  EXPECT_NE(box.messages[0].find(page), std::string::npos) << box.messages[0];

  qputenv("PATH", QByteArray::fromStdString(Path("both")) + ":" + path);
  form->BtnHelp->click();
  EXPECT_EQ(box.messages.size(), 1u) << "handed on: no message";
  // xdg-open runs detached; give it a moment.
  for (int i = 0; i < 100 && args("xdg-open").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // Qt's desktop services hand on a URL, the fallback the path itself.
  const std::string url = QUrl::fromLocalFile(QString::fromStdString(page)).toEncoded().toStdString();
  EXPECT_TRUE(args("xdg-open") == page + "\n" || args("xdg-open") == url + "\n") << args("xdg-open");
}

TEST_F(FormRenamerTest, FolderDialogWritesOnlyOnConfirmation) {
  auto form = Open();
  const std::string masked = "/old/photo*.jpg";
  form->EditFolder->SetText(masked);
  std::vector<std::string> seen;
  form->SelectDirectoryProc = [&](const std::string& caption, const std::string& root, std::string& dir) {
    seen = {caption, root, dir};
    dir = "/scribbled";  // a cancelled dialog may leave anything here
    return false;
  };
  form->BitBtnFolder->click();
  EXPECT_EQ(seen, (std::vector<std::string>{"Select Folder", "", masked}));
  EXPECT_EQ(form->EditFolder->Text(), masked);

  form->SelectDirectoryProc = [](const std::string&, const std::string&, std::string& dir) {
    dir = "/home/u/動画";
    return true;
  };
  form->BitBtnFolder->click();
  EXPECT_EQ(form->EditFolder->Text(), "/home/u/動画");
}

// What the window gets from a file manager: the drag enters, then drops.
// Returns whether the window accepted the drag.
bool Drop(QWidget& target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  QDragMoveEvent move(QPoint(30, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &move);
  EXPECT_EQ(move.isAccepted(), enter.isAccepted()) << "moving keeps the answer of entering";
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &drop);
  return true;
}

TEST_F(FormRenamerTest, DropWritesTheFirstLocalPathAndStartsNothing) {
  auto form = Open();
  form->EditFolder->SetText("/old/photo*.jpg");
  form->PageControl->setCurrentWidget(form->TabSheetLog);
  EXPECT_TRUE(Drop(*form, {QUrl::fromLocalFile("/work/a.txt"), QUrl::fromLocalFile("/work/b.txt"),
                          QUrl::fromLocalFile("/work/c.txt")}));
  EXPECT_EQ(form->EditFolder->Text(), "/work/a.txt");
  EXPECT_EQ(form->PageControl->currentWidget(), form->TabSheetLog);
  EXPECT_EQ(form->Memo->Lines().Count(), 0u);

  Drop(*form, {QUrl("https://example.org/a.txt"), QUrl::fromLocalFile("/work/dir")});
  EXPECT_EQ(form->EditFolder->Text(), "/work/dir") << "a URL that is not a local file is skipped";
  EXPECT_FALSE(Drop(*form, {QUrl("https://example.org/a.txt")})) << "nothing local: the drag is refused";
  EXPECT_EQ(form->EditFolder->Text(), "/work/dir");
  EXPECT_FALSE(Drop(*form, {}));
  EXPECT_EQ(form->EditFolder->Text(), "/work/dir");
}

// quor-renamer FOLDER, as a file manager's "open with" starts it.
TEST_F(FormRenamerTest, TheFolderOfTheCommandLineFillsTheField) {
  const std::string tv = Path("tv");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tv)));
  std::ofstream(tv + "/第1話.ts") << "x";
  const std::string cwd = std::filesystem::current_path().string();
  const struct {
    const char* what;
    std::string given;
    std::string field;
  } cases[] = {
      {"a folder", tv, tv},
      {"a folder with a mask", tv + "/*.ts", tv + "/*.ts"},
      {"a file stands for its folder", tv + "/第1話.ts", tv},
      {"a missing path, as typed", Path("unplugged/tv"), Path("unplugged/tv")},
      {"a relative path, from the current folder", "./rec/../tv", cwd + "/rec/../tv"},
      {"the current folder", ".", cwd},
  };
  for (const auto& c : cases) {
    auto form = Open();
    form->OpenPath(c.given);
    EXPECT_EQ(form->EditFolder->Text(), c.field) << c.what;
    form->close();
    EXPECT_NE(ReadIni().find("Dir=" + c.field + "\n"), std::string::npos) << c.what << "\n" << ReadIni();
  }
}

TEST_F(FormRenamerTest, TypedTextIsKeptAsTyped) {
  auto form = Open();
  form->EditFolder->setText("  /tmp/x\\ ");
  EXPECT_EQ(form->EditFolder->Text(), "  /tmp/x\\ ");
  form->close();
  EXPECT_NE(ReadIni().find("Dir=  /tmp/x\\ \n"), std::string::npos) << ReadIni();
}

TEST_F(FormRenamerTest, SaveFailureIsShownAndTheWindowStillCloses) {
  // A plain file where the settings folder should be: nothing can be written.
  const std::string blocker = Path("not-a-folder");
  std::ofstream(blocker) << "x";
  TFormRenamer form(blocker + "/quor-renamer.ini");
  form.show();
  ErrorBoxRecorder box;
  form.BtnClose->click();
  EXPECT_EQ(box.messages.size(), 1u);
  if (!box.messages.empty()) {
    EXPECT_FALSE(box.messages[0].empty());
  }
  EXPECT_FALSE(form.isVisible());
}

TEST_F(FormRenamerTest, UnreadableSettingsFileStartsWithDefaultsAndIsNotReplaced) {
  // Something under the settings file's name that cannot be read as a file.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(iniPath_)));
  ErrorBoxRecorder box;
  auto form = Open();
  EXPECT_EQ(form->size(), QSize(640, 400));
  EXPECT_EQ(form->pos(), QPoint((Screen.Width() - 640) / 2, (Screen.Height() - 400) / 2)) << "as without a file";
  EXPECT_TRUE(form->CheckBoxZenkakuKakko->isChecked());
  QApplication::processEvents();
  ASSERT_EQ(box.messages.size(), 1u) << "said once, after the start";
  EXPECT_NE(box.messages[0].find(iniPath_), std::string::npos) << box.messages[0];
  EXPECT_NE(box.messages[0].find("Is a directory"), std::string::npos) << box.messages[0];
  QApplication::processEvents();
  EXPECT_EQ(box.messages.size(), 1u);

  EXPECT_TRUE(form->close());
  EXPECT_TRUE(QFileInfo(QString::fromStdString(iniPath_)).isDir()) << "never replaced";
  ASSERT_EQ(box.messages.size(), 2u) << "the close says that nothing was saved";
  EXPECT_NE(box.messages[1].find(iniPath_), std::string::npos) << box.messages[1];
}

// A cell holds any length: a long pattern from the settings file survives
// its editor being opened and closed with Return, no key typed.
TEST_F(FormRenamerTest, TheCellEditorKeepsALongCellWhole) {
  const std::string pattern = "[" + std::string(35008, 'a') + "]";  // cut short, it would not compile
  WriteIni("[ReplaceList]\n1=" + pattern + ",x,re\n");
  auto form = Open();
  form->show();
  QApplication::processEvents();
  TStringGrid& grid = *form->StringGridReplace;
  grid.setFocus();
  grid.setCurrentCell(0, 0);
  auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(grid.currentIndex()));
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text().size(), static_cast<qsizetype>(pattern.size()));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(editor, &enter);
  QApplication::processEvents();
  EXPECT_EQ(grid.Cells(0, 1), pattern);
  EXPECT_EQ(form->StatusBar->Text(), "");
  form->close();
  EXPECT_NE(ReadIni().find("1=" + pattern + ",x,re\n"), std::string::npos);
}

TEST_F(FormRenamerTest, ACellBeingEditedIsStoredHoweverTheWindowCloses) {
  const struct {
    const char* how;
    std::function<void(TFormRenamer&)> close;
  } ways[] = {
      {"title bar or Alt+F4", [](TFormRenamer& f) { EXPECT_TRUE(f.close()); }},
      {"close button pressed without focus", [](TFormRenamer& f) { f.BtnClose->click(); }},
      {"session ending", [](TFormRenamer& f) { f.SessionEnding(); }},
  };
  for (const auto& way : ways) {
    QFile::remove(QString::fromStdString(iniPath_));
    auto form = Open();
    form->show();
    QApplication::processEvents();
    TStringGrid& grid = *form->StringGridReplace;
    grid.setFocus();
    grid.setCurrentCell(1, 1);  // the editor opens as the cell becomes current
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(grid.currentIndex()));
    ASSERT_NE(editor, nullptr) << way.how;
    editor->setText(QStringLiteral(" 　typed"));
    way.close(*form);
    EXPECT_NE(ReadIni().find("1=,\" 　typed\"\n"), std::string::npos) << way.how << "\n" << ReadIni();
  }
}

}  // namespace
}  // namespace quor
