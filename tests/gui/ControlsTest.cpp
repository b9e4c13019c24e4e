#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

#include "system/Exception.h"
#include "gui/controls/Controls.h"
#include "gui/controls/DropFiles.h"
#include "gui/controls/Memo.h"
#include "gui/controls/StringGrid.h"

namespace quor {
namespace {

// Not valid UTF-8: a CP932 name ("テスト") as a Linux file name can hold it.
const std::string kCp932Name = "\x83\x65\x83\x58\x83\x67.txt";

TEST(StringGridTest, DesignShapeHeaderIsTheFixedRow) {
  TStringGrid grid(2, 7, 1, 280, 18);
  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(grid.FixedRows(), 1);
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.rowCount(), 6);  // the table holds the data rows only
  EXPECT_EQ(grid.columnWidth(0), 280);
  grid.Rows(0).SetText("Old\r\nNew");
  EXPECT_EQ(grid.Cells(0, 0), "Old");
  EXPECT_EQ(grid.Cells(1, 0), "New");
  EXPECT_EQ(grid.horizontalHeaderItem(1)->text(), "New");
  EXPECT_FALSE(grid.horizontalHeader()->isHidden());
  // The header is not a table item, so the user cannot edit it; data cells are editable.
  grid.SetCells(0, 1, "a");
  EXPECT_TRUE(grid.item(0, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
  EXPECT_EQ(grid.selectionMode(), QAbstractItemView::ContiguousSelection);
}

TEST(StringGridTest, RowCountAddsAndRemovesAtTheBottom) {
  TStringGrid grid(2, 7, 1, 280, 18);
  for (int r = 1; r < 7; ++r) grid.SetCells(0, r, "row" + std::to_string(r));
  grid.SetRowCount(10);
  EXPECT_EQ(grid.RowCount(), 10);
  EXPECT_EQ(grid.Cells(0, 6), "row6");
  EXPECT_EQ(grid.Cells(0, 9), "");
  grid.SetRowCount(3);
  EXPECT_EQ(grid.Cells(0, 2), "row2");
  grid.SetRowCount(5);
  EXPECT_EQ(grid.Cells(0, 3), "") << "removed rows lose their text";
  EXPECT_EQ(grid.FixedRows(), 1);
}

TEST(StringGridTest, CuttingToOneRowUnfixesTheHeaderKeepingItsText) {
  TStringGrid grid(2, 7, 1, 280, 18);
  grid.Rows(0).SetText("Old\nNew");
  grid.SetRowCount(1);
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.FixedRows(), 0);
  EXPECT_EQ(grid.Cells(0, 0), "Old");
  EXPECT_TRUE(grid.horizontalHeader()->isHidden());
  grid.SetRowCount(7);
  grid.SetFixedRows(1);
  EXPECT_EQ(grid.Cells(1, 0), "New");
  EXPECT_EQ(grid.rowCount(), 6);
  grid.SetRowCount(0);
  EXPECT_EQ(grid.RowCount(), 1) << "a grid keeps at least one row";
}

TEST(StringGridTest, FixedRowsMustStayBelowRowCount) {
  TStringGrid grid(2, 1, 0, 280, 18);
  EXPECT_THROW(grid.SetFixedRows(1), Exception);
  EXPECT_THROW(grid.SetFixedRows(-1), Exception);
  grid.SetRowCount(3);
  EXPECT_THROW(grid.SetFixedRows(2), Exception);
}

TEST(StringGridTest, RowTextFillsCellsFromColumnZero) {
  struct Case {
    const char* name;
    std::string text;
    std::string col0, col1;
  };
  const Case cases[] = {
      {"CRLF lines", "a\r\nb", "a", "b"},
      {"LF lines", "a\nb\n", "a", "b"},
      {"CR lines", "a\rb", "a", "b"},
      {"one line empties the rest", "only", "only", ""},
      {"empty text empties the row", "", "", ""},
      {"empty first line", "\nb", "", "b"},
      {"extra lines dropped", "a\nb\nc", "a", "b"},
  };
  for (const Case& c : cases) {
    TStringGrid grid(2, 3, 1, 280, 18);
    grid.SetCells(0, 1, "x");
    grid.SetCells(1, 1, "y");
    grid.Rows(1).SetText(c.text);
    EXPECT_EQ(grid.Cells(0, 1), c.col0) << c.name;
    EXPECT_EQ(grid.Cells(1, 1), c.col1) << c.name;
    EXPECT_EQ(grid.Rows(1).Text(), c.col0 + "\n" + c.col1 + "\n") << c.name;
  }
}

TEST(StringGridTest, CellsKeepBytesThatAreNotUtf8UntilEdited) {
  TStringGrid grid(2, 3, 1, 280, 18);
  grid.SetCells(0, 1, kCp932Name);
  EXPECT_EQ(grid.Cells(0, 1), kCp932Name);
  grid.item(0, 0)->setText("typed");  // what an edit by the user does
  EXPECT_EQ(grid.Cells(0, 1), "typed");
  EXPECT_EQ(grid.Cells(5, 1), "");
  EXPECT_EQ(grid.Cells(0, 9), "");
  grid.SetCells(0, 9, "ignored");
  EXPECT_EQ(grid.RowCount(), 3);
}

TEST(EditTest, TextKeepsBytesThatAreNotUtf8UntilEdited) {
  TEdit edit;
  edit.SetText(kCp932Name);
  EXPECT_EQ(edit.Text(), kCp932Name);
  edit.SetText("/tmp/話 「x」");
  EXPECT_EQ(edit.Text(), "/tmp/話 「x」");
  edit.SetText(kCp932Name);
  edit.setText("typed");
  EXPECT_EQ(edit.Text(), "typed");
}

TEST(MemoTest, LinesAreBufferedAndShownInOneGo) {
  TMemo memo;
  memo.Lines().Add("first");
  memo.Lines().Add("second\tline");
  EXPECT_EQ(memo.Lines().Count(), 2u);
  EXPECT_EQ(memo.Lines()[1], "second\tline");
  EXPECT_EQ(memo.Lines().Text(), "first\nsecond\tline\n");
  QApplication::processEvents();
  EXPECT_EQ(memo.toPlainText(), "") << "a hidden memo lays out nothing";
  memo.show();  // as when the Log page is opened
  EXPECT_EQ(memo.toPlainText(), "first\nsecond\tline");
  memo.Lines().Add("shown");
  QApplication::processEvents();  // a shown memo gets new lines before the next paint
  EXPECT_EQ(memo.toPlainText(), "first\nsecond\tline\nshown");
  memo.Lines().Add("third");
  memo.Flush();
  EXPECT_EQ(memo.toPlainText(), "first\nsecond\tline\nshown\nthird");
  memo.Clear();
  EXPECT_EQ(memo.Lines().Count(), 0u);
  EXPECT_EQ(memo.toPlainText(), "");
  EXPECT_TRUE(memo.isReadOnly());
}

TEST(MemoTest, SelectAllCopyThenEmptySelectionAtStart) {
  TMemo memo;
  memo.Lines().Add("a.txt");
  memo.Lines().Add("b.txt");
  memo.SelectAll();
  memo.CopyToClipboard();
  EXPECT_EQ(QApplication::clipboard()->text(), "a.txt\nb.txt");
  memo.SetSelLength(0);
  EXPECT_FALSE(memo.textCursor().hasSelection());
  EXPECT_EQ(memo.textCursor().position(), 0);
}

TEST(MemoTest, LinesKeepBytesThatAreNotUtf8) {
  TMemo memo;
  memo.Lines().Add("Rename\t" + kCp932Name);
  EXPECT_EQ(memo.Lines()[0], "Rename\t" + kCp932Name);
}

TEST(MemoTest, HundredThousandLinesStayCheap) {
  TMemo memo;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) memo.Lines().Add("Rename\tepisode " + std::to_string(i) + ".mp4");
  const auto added = std::chrono::steady_clock::now();
  memo.Flush();
  EXPECT_EQ(memo.blockCount(), 100000);
  // Line by line the widget would take about 20 s; generous bound for a slow machine.
  EXPECT_LT(std::chrono::duration<double>(added - start).count(), 1.0);
}

QMimeData* UriList(const QByteArray& list) {
  auto* data = new QMimeData();
  data->setData("text/uri-list", list);
  return data;
}

TEST(DropFilesTest, LocalPathsInOrderAsBytes) {
  struct Case {
    const char* name;
    QByteArray list;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"three files", "file:///w/a.txt\r\nfile:///w/b.txt\r\nfile:///w/c.txt\r\n",
       {"/w/a.txt", "/w/b.txt", "/w/c.txt"}},
      {"percent-encoded space and Japanese", "file:///w/%E8%A9%B1%20x", {"/w/話 x"}},
      {"bytes that are not UTF-8", "file:///w/%83%65%83%58%83%67.txt", {"/w/" + kCp932Name}},
      {"localhost", "file://localhost/w/a", {"/w/a"}},
      {"remote host and http left out", "file://server/w/a\r\nhttp://x/y\r\nfile:///w/b", {"/w/b"}},
      {"comment lines", "# from a file manager\r\nfile:///w/a", {"/w/a"}},
      {"encoded hash and question mark", "file:///w/a%23b%3F", {"/w/a#b?"}},
      {"fragment is not part of the path", "file:///w/a#frag", {"/w/a"}},
      {"folder with trailing slash", "file:///w/dir/", {"/w/dir/"}},
      {"nothing", "", {}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<QMimeData> data(UriList(c.list));
    EXPECT_EQ(DroppedLocalPaths(*data), c.paths) << c.name;
  }
}

TEST(DropFilesTest, ReadsWhatQtWritesForUrls) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/ä b#c.mp4"), QUrl("https://example.org/x")});
  EXPECT_EQ(DroppedLocalPaths(data), std::vector<std::string>{"/tmp/ä b#c.mp4"});
}

}  // namespace
}  // namespace quor
