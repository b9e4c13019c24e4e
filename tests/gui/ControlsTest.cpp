#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
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

// A column of check boxes: every data row has one, rows added later too,
// and a row cut off and added again comes back unticked.
TEST(StringGridTest, ACheckColumnHasABoxInEveryDataRow) {
  TStringGrid grid(3, 4, 1, 280, 18);
  grid.SetCheckColumn(2);
  grid.Rows(0).SetText("Old\nNew\nre");
  grid.SetChecked(2, 1, true);
  grid.SetChecked(2, 0, true);  // the header has none
  grid.SetChecked(1, 2, true);  // nor has a text column
  EXPECT_TRUE(grid.Checked(2, 1));
  EXPECT_FALSE(grid.Checked(2, 0));
  EXPECT_FALSE(grid.Checked(1, 2));
  EXPECT_EQ(grid.Cells(2, 0), "re");
  EXPECT_FALSE(grid.item(0, 2)->flags() & Qt::ItemIsEditable) << "ticked, never typed into";
  grid.SetRowCount(6);
  ASSERT_NE(grid.item(4, 2), nullptr);
  EXPECT_TRUE(grid.item(4, 2)->flags() & Qt::ItemIsUserCheckable);
  EXPECT_EQ(grid.item(4, 2)->checkState(), Qt::Unchecked);
  grid.SetRowCount(1);
  grid.SetRowCount(4);
  grid.SetFixedRows(1);
  EXPECT_EQ(grid.Cells(2, 0), "re");
  EXPECT_FALSE(grid.Checked(2, 1));
  EXPECT_TRUE(grid.item(0, 2)->flags() & Qt::ItemIsUserCheckable);

  // A mark and its tooltip, taken away again.
  grid.MarkCell(0, 2, "missing )");
  EXPECT_EQ(grid.item(1, 0)->toolTip(), "missing )");
  EXPECT_TRUE(grid.item(1, 0)->data(Qt::BackgroundRole).isValid());
  grid.MarkCell(0, 2, "");
  EXPECT_EQ(grid.item(1, 0)->toolTip(), "");
  EXPECT_FALSE(grid.item(1, 0)->data(Qt::BackgroundRole).isValid());
  grid.MarkCell(0, 9, "out of range");
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

void Key(QWidget& widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(&widget, &press);
}

// Where a line is on the memo's viewport, as a screen reader finds it.
QPoint LinePoint(TMemo& memo, int offset) {
  QAccessibleInterface* memoAccess = QAccessible::queryAccessibleInterface(&memo);
  const QRect rect = memoAccess->textInterface()->characterRect(offset);
  return memo.viewport()->mapFromGlobal(rect.center());
}

void Mouse(TMemo& memo, QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, memo.viewport()->mapToGlobal(at), button, held, modifiers);
  QApplication::sendEvent(memo.viewport(), &event);
}

std::unique_ptr<TMemo> ShownMemo(const std::vector<std::string>& lines, QSize size = {500, 300}) {
  auto memo = std::make_unique<TMemo>();
  memo->resize(size);
  for (const std::string& line : lines) memo->Lines().Add(line);
  memo->show();
  QApplication::processEvents();
  return memo;
}

TEST(MemoTest, LinesReadBackAndShowWhenAdded) {
  TMemo memo;
  memo.resize(400, 200);
  memo.Lines().Add("first");
  memo.Lines().Add("second\tline");
  EXPECT_EQ(memo.Lines().Count(), 2u);
  EXPECT_EQ(memo.Lines()[1], "second\tline");
  EXPECT_EQ(memo.Lines().Text(), "first\nsecond\tline\n");
  memo.show();  // as when the Log page is opened
  EXPECT_EQ(memo.VisibleLines(), (QStringList{"first", "second\tline"}));
  memo.Lines().Add("shown");
  QApplication::processEvents();
  EXPECT_EQ(memo.VisibleLines().size(), 3);
  memo.Clear();
  EXPECT_EQ(memo.Lines().Count(), 0u);
  EXPECT_TRUE(memo.VisibleLines().isEmpty());
}

TEST(MemoTest, KeysAndMouseSelectWholeLinesForTheClipboard) {
  const std::vector<std::string> lines = {"Rename\t新.mp4\t←\t旧.MP4", "Error\tb.ts\t←\tB.TS\t既にあります", "Undo\tc",
                                          "", "last"};
  const auto joined = [&](std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i <= to; ++i) text += lines[i] + (i < to ? "\n" : "");
    return QString::fromStdString(text);
  };
  const QString untouched = "left alone";
  const auto at = [&](TMemo& m, std::size_t line) {
    return LinePoint(m, static_cast<int>(joined(0, line).size() - QString::fromStdString(lines[line]).size()));
  };
  struct Case {
    const char* name;
    std::function<void(TMemo&)> act;
    QString copied;
  };
  const Case cases[] = {
      {"Ctrl+A: every line, no break after the last", [](TMemo& m) { Key(m, Qt::Key_A, Qt::ControlModifier); },
       joined(0, 4)},
      {"Down twice from the top", [](TMemo& m) { Key(m, Qt::Key_Down), Key(m, Qt::Key_Down); }, joined(2, 2)},
      {"Up at the top stays there", [](TMemo& m) { Key(m, Qt::Key_Down), Key(m, Qt::Key_Up), Key(m, Qt::Key_Up); },
       joined(0, 0)},
      {"Shift+Down twice from the first line",
       [](TMemo& m) {
         Key(m, Qt::Key_Home), Key(m, Qt::Key_Down, Qt::ShiftModifier), Key(m, Qt::Key_Down, Qt::ShiftModifier);
       },
       joined(0, 2)},
      {"Ctrl+End, then Shift+Up",
       [](TMemo& m) { Key(m, Qt::Key_End, Qt::ControlModifier), Key(m, Qt::Key_Up, Qt::ShiftModifier); }, joined(3, 4)},
      {"Shift+Page Up from the end of a short log",
       [](TMemo& m) { Key(m, Qt::Key_End), Key(m, Qt::Key_PageUp, Qt::ShiftModifier); }, joined(0, 4)},
      {"Page Down ends on the last line", [](TMemo& m) { Key(m, Qt::Key_PageDown); }, joined(4, 4)},
      {"the empty line alone", [](TMemo& m) { Key(m, Qt::Key_End), Key(m, Qt::Key_Up); }, joined(3, 3)},
      {"click, then Shift+click",
       [&](TMemo& m) {
         Mouse(m, QEvent::MouseButtonPress, at(m, 1));
         Mouse(m, QEvent::MouseButtonRelease, at(m, 1));
         Mouse(m, QEvent::MouseButtonPress, at(m, 3), Qt::ShiftModifier);
       },
       joined(1, 3)},
      {"drag from a line upwards",
       [&](TMemo& m) {
         Mouse(m, QEvent::MouseButtonPress, at(m, 2));
         Mouse(m, QEvent::MouseMove, at(m, 0));
         Mouse(m, QEvent::MouseButtonRelease, at(m, 0));
       },
       joined(0, 2)},
      {"nothing selected: Ctrl+C leaves the clipboard", [](TMemo&) {}, untouched},
      {"Select All, then a selection of length 0",
       [](TMemo& m) {
         m.SelectAll();
         m.SetSelLength(0);
         EXPECT_FALSE(m.HasSelection());
         EXPECT_EQ(m.CurrentLine(), 0u);
       },
       untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto memo = ShownMemo(lines);
    QApplication::clipboard()->setText(untouched);
    c.act(*memo);
    Key(*memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), c.copied);
  }
}

TEST(MemoTest, LinesKeepBytesThatAreNotUtf8) {
  auto memo = ShownMemo({"Rename\t" + kCp932Name});
  EXPECT_EQ(memo->Lines()[0], "Rename\t" + kCp932Name);
  EXPECT_EQ(memo->VisibleLines(), QStringList{QString::fromUtf8("Rename\t" + kCp932Name)});
  EXPECT_TRUE(memo->VisibleLines()[0].contains(QChar::ReplacementCharacter));
}

// Showing and scrolling must cost what they cost for ten lines: a text
// widget that lays out every line takes seconds here.
TEST(MemoTest, AMillionLinesScrollToTheEndAndBack) {
  auto memo = ShownMemo({}, {300, 200});
  const auto line = [](int i) {
    return "Rename\tepisode " + std::to_string(i) + ".mp4\t←\tepisode " + std::to_string(i) + ".MP4";
  };
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000000; ++i) memo->Lines().Add(line(i));
  const auto added = std::chrono::steady_clock::now();
  QApplication::processEvents();
  memo->viewport()->repaint();
  const auto painted = std::chrono::steady_clock::now();
  // Adding stays linear even in a sanitizer build; a cost that grew with
  // the lines already there would take hours.
  EXPECT_LT(std::chrono::duration<double>(added - start).count(), 30.0);
  EXPECT_LT(std::chrono::duration<double>(painted - added).count(), 0.25);
  ASSERT_FALSE(memo->VisibleLines().isEmpty());
  EXPECT_EQ(memo->VisibleLines().back().toStdString(), line(999999)) << "a long run is followed to its end";

  Key(*memo, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(memo->VisibleLines().front().toStdString(), line(0));
  // Scrolled away from the end, the view stays put as lines come in...
  memo->verticalScrollBar()->setValue(500000);
  memo->Lines().Add("more");
  QApplication::processEvents();
  EXPECT_EQ(memo->VisibleLines().front().toStdString(), line(500000));
  // ... and follows them again once back at the end.
  Key(*memo, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(memo->VisibleLines().back(), "more");
  memo->Lines().Add("and more");
  QApplication::processEvents();
  EXPECT_EQ(memo->VisibleLines().back(), "and more");
  EXPECT_GT(memo->horizontalScrollBar()->maximum(), 0) << "the long lines scroll sideways";
}

TEST(MemoTest, AScreenReaderReadsTheLinesJoined) {
  const std::vector<std::string> lines = {"Rename\t新.mp4\t←\t旧.MP4",
                                          "Rename\t" + kCp932Name,
                                          "\xF0\x9D\x84\x9E clef",
                                          "",
                                          "\xEF\xBB\xBF"
                                          "bom",
                                          "overlong \xC0\xAF",
                                          "surrogate \xED\xA0\x80",
                                          "cut \xE6\x96",
                                          "end"};
  QStringList shown;
  for (const std::string& line : lines) shown.push_back(QString::fromStdString(line));
  const QString expected = shown.join('\n');
  auto memo = ShownMemo(lines);
  memo->setAccessibleName("ログ");
  QAccessibleInterface* access = QAccessible::queryAccessibleInterface(memo.get());
  ASSERT_NE(access, nullptr);
  QAccessibleTextInterface* text = access->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(access->text(QAccessible::Name), "ログ");
  EXPECT_EQ(access->role(), QAccessible::EditableText);
  EXPECT_TRUE(access->state().readOnly);
  EXPECT_TRUE(access->state().multiLine);

  ASSERT_EQ(text->characterCount(), expected.size());
  EXPECT_EQ(text->text(0, text->characterCount()), expected);
  EXPECT_EQ(text->text(5, 40), expected.mid(5, 35));

  const int clef = static_cast<int>(expected.indexOf(QString::fromUtf8("\xF0\x9D\x84\x9E")));
  int from = 0, to = 0;
  EXPECT_EQ(text->textAtOffset(clef + 3, QAccessible::LineBoundary, &from, &to),
            QString::fromUtf8("\xF0\x9D\x84\x9E clef\n"));
  EXPECT_EQ(from, clef);
  EXPECT_EQ(text->textAtOffset(clef, QAccessible::CharBoundary, &from, &to).size(), 2)
      << "a surrogate pair is one character";
  EXPECT_EQ(text->textAfterOffset(clef, QAccessible::LineBoundary, &from, &to), "\n") << "the empty line";
  EXPECT_EQ(text->textBeforeOffset(0, QAccessible::LineBoundary, &from, &to), "");
  EXPECT_EQ(text->textAtOffset(expected.size(), QAccessible::LineBoundary, &from, &to), "end");
  EXPECT_EQ(text->textAtOffset(2, QAccessible::WordBoundary, &from, &to), "Rename");

  Key(*memo, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(text->cursorPosition(), expected.size() - 3);
  memo->SelectAll();
  text->selection(0, &from, &to);
  EXPECT_EQ(std::pair(from, to), std::pair(0, static_cast<int>(expected.size())));
  // A screen reader's selection takes the lines it touches.
  text->setSelection(0, clef + 1, clef + 9);
  EXPECT_EQ(memo->SelectedText(), lines[2] + "\n" + lines[3]);
}

TEST(MemoTest, ErrorLinesStandOutInRed) {
  auto memo = ShownMemo(
      {"Rename\tnew_name_here.mp4\t←\tOLD_NAME_HERE.MP4", "Error\tnew_name_here.mp4\t←\tOLD_NAME_HERE.MP4\tclash"});
  const QImage image = memo->viewport()->grab().toImage();
  const auto reddish = [&](const QPoint& at) {
    int red = 0;
    for (int y = at.y() - 3; y <= at.y() + 3; ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.red() - std::max(c.green(), c.blue()) > 80) ++red;
      }
    return red;
  };
  const int rename = reddish(LinePoint(*memo, 0));
  const int error = reddish(LinePoint(*memo, static_cast<int>(QString::fromStdString(memo->Lines()[0]).size()) + 1));
  EXPECT_EQ(rename, 0);
  EXPECT_GT(error, 20);
}

TEST(MemoTest, FindMovesToTheNextLineThatHoldsTheText) {
  std::vector<std::string> lines = {"Rename\ta.mp4\t←\ta.MP4", "Rename\tb.ts\t←\tb.TS",
                                    "Error\tc.MP4\t←\tc.mp4\texists"};
  for (int i = 0; i < 200; ++i) lines.push_back("Rename\tfiller " + std::to_string(i));
  lines.push_back("Rename\t新しい.mp4\t←\t古い.MP4");
  const std::size_t none = std::numeric_limits<std::size_t>::max();
  struct Case {
    const char* text;
    std::size_t from;  // the line the user is on; none: not moved yet
    std::size_t found;
  };
  const Case cases[] = {
      {"b.ts", none, 1},     {"MP4", none, 0},  // a fresh log is searched from its first line
      {"mp4", 0, 2},                            // letters in either case, after the current line
      {"新しい", none, 203},                    // scrolled into view far down
      {"a.mp4", 203, 0},                        // round from the end
      {"b.ts", 1, 1},                           // the only one: found again
      {"missing", 2, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto memo = ShownMemo(lines);
    if (c.from != none) {
      ASSERT_TRUE(memo->FindNext(lines[c.from]));
    }
    EXPECT_EQ(memo->FindNext(c.text), c.found != none);
    if (c.found == none) continue;
    EXPECT_EQ(memo->CurrentLine(), c.found);
    EXPECT_EQ(memo->SelectedText(), lines[c.found]);
    EXPECT_TRUE(memo->VisibleLines().contains(QString::fromStdString(lines[c.found])));
  }

  // Ctrl+F opens a field; Enter finds, Escape closes it.
  auto memo = ShownMemo(lines);
  Key(*memo, Qt::Key_F, Qt::ControlModifier);
  auto* field = memo->findChild<QLineEdit*>();
  ASSERT_NE(field, nullptr);
  EXPECT_TRUE(field->isVisible());
  field->setText("古い");
  Key(*field, Qt::Key_Return);
  EXPECT_EQ(memo->CurrentLine(), 203u);
  Key(*field, Qt::Key_Escape);
  EXPECT_FALSE(field->isVisible());
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
